// The display encoding: detection over a song's texts, conversion to UTF-8,
// the override, and text made safe for a terminal.
#include <gtest/gtest.h>

#include <iconv.h>

#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "encoding/text_encoding.h"
#include "tests/support/lyrics_fixtures.h"
#include "tests/support/test_support.h"

namespace verselane {
namespace {

using test::Lyric;
using test::Name;
using test::SongOf;
using test::Text;

// A few accented Western words in Latin-1.
MidiFile LatinSong() {
    return SongOf({{Name("F\xFCr Elise"), Lyric(0, "sch\xF6n "), Lyric(10, "o\xF9 est la f\xEAte"),
                    Lyric(20, "Se\xF1or"), test::Meta(30, kMetaCopyright, "\xA9 1810")}});
}

TEST(DisplayEncoding, Utf8AndAsciiStayAsTheyAre) {
    const MidiFile song =
        SongOf({{Name("Añoranza"), Lyric(0, "Für "), Lyric(1, "日本"), Lyric(2, "plain")}});
    const TextDecoder decoder = SongDecoder(song);
    EXPECT_EQ(decoder.Encoding(), "UTF-8");
    EXPECT_EQ(decoder.ToUtf8("日本 Für"), "日本 Für");
    EXPECT_EQ(SongDecoder(SongOf({{Name("Piano"), Lyric(0, "la")}})).Encoding(), "UTF-8");
    // One text that is not UTF-8 is enough to look further.
    EXPECT_EQ(DetectEncoding({"Für", "sch\xF6n"}), "WINDOWS-1252");
}

TEST(DisplayEncoding, AnExplicitEncodingOverrides) {
    // Latin-1 is read as its superset Windows-1252.
    EXPECT_EQ(SongDecoder(LatinSong()).Encoding(), "WINDOWS-1252");
    EXPECT_EQ(SongDecoder(LatinSong()).ToUtf8("F\xFCr Elise \xA9 \x80"), "Für Elise © €");
    // The same byte is another character once an encoding is named.
    EXPECT_EQ(SongDecoder(LatinSong()).ToUtf8("\xA4 5"), "¤ 5");
    const TextDecoder euro = SongDecoder(LatinSong(), "ISO-8859-15");
    EXPECT_EQ(euro.Encoding(), "ISO-8859-15");
    EXPECT_EQ(euro.ToUtf8("\xA4 5"), "€ 5");
    // Vietnamese in Windows-1258: base letters and combining tone marks are
    // put together, the last letter included.
    const MidiFile song = SongOf({{Lyric(0, "Ha\xCC N\xF4\xF2i")}});
    EXPECT_EQ(SongDecoder(song, "WINDOWS-1258").ToUtf8("Ha\xCC N\xF4\xF2i"), "Hà Nội");
    // Names are taken as iconv knows them, in any case, and labels of the list.
    EXPECT_EQ(SongDecoder(LatinSong(), "koi8-r").ToUtf8("\xF0\xD2\xC9"), "При");
    EXPECT_EQ(SongDecoder(song, "vietnamese (windows-1258)").Encoding(), "WINDOWS-1258");
    EXPECT_THROW(SongDecoder(song, "NO-SUCH-ENCODING"), std::invalid_argument);
    for (const LabelledEncoding& e : Encodings()) {
        EXPECT_NO_THROW(TextDecoder{e.Name}) << e.Name;
        EXPECT_EQ(EncodingLabel(e.Name), e.Label);
    }
    EXPECT_EQ(Encodings().front().Label, "Unicode (UTF-8)");
    EXPECT_EQ(EncodingLabel("UHC"), "Korean (CP949)");
}

// One verse in a language of each code page of the list, as UTF-8.
constexpr const char* kFrench =
    "Au clair de la lune, mon ami Pierrot,\nprête-moi ta plume pour "
    "écrire un mot.\nMa chandelle est morte, je n'ai plus de feu.";
constexpr const char* kGerman =
    "Kommt ein Vogel geflogen, setzt sich nieder auf mein Fuß,\nhat "
    "ein Zettel im Schnabel, von der Mutter ein Gruß.\nDu schönes "
    "Mädchen, wärst du bei mir.";
constexpr const char* kRussian =
    "Ой, мороз, мороз, не морозь меня,\nне морозь меня, моего коня.\n"
    "У меня жена, ох, ревнивая.";
constexpr const char* kUkrainian =
    "Ніч яка місячна, зоряна, ясная,\nвидно, хоч голки збирай.\n"
    "Вийди, коханая, працею зморена, хоч на хвилиночку в гай.";
constexpr const char* kVietnamese =
    "Hà Nội mùa thu, cây cơm nguội vàng, cây bàng lá đỏ,\nnằm kề "
    "bên nhau, phố xưa nhà cổ, mái ngói thâm nâu.";
constexpr const char* kGreek =
    "Σαν πας στην Ιθάκη, να εύχεσαι να ’ναι μακρύς ο δρόμος,\n"
    "γεμάτος περιπέτειες, γεμάτος γνώσεις.\nΈνα το χελιδόνι.";
constexpr const char* kHebrew = "הבה נגילה הבה נגילה ונשמחה\nעורו אחים בלב שמח\nהבה נרננה ונשמחה";
constexpr const char* kArabic = "زوروني كل سنة مرة\nحرام تنسوني بالمرة\nيا ليل يا عين";
constexpr const char* kThai = "ช้าง ช้าง ช้าง น้องเคยเห็นช้างหรือเปล่า\nช้างมันตัวโตไม่เบา จมูกยาวยาว";
constexpr const char* kJapanese =
    "さくら さくら やよいの空は\n見わたす限り かすみか雲か\n匂いぞ出ずる";
constexpr const char* kHanS = "好一朵美丽的茉莉花\n芬芳美丽满枝桠\n又香又白人人夸\n让我来将你摘下";
constexpr const char* kHanT = "好一朵美麗的茉莉花\n芬芳美麗滿枝椏\n又香又白人人誇\n讓我來將你摘下";
constexpr const char* kKorean =
    "아리랑 아리랑 아라리요\n아리랑 고개로 넘어간다\n나를 버리고 가시는 님은";

// `utf8` in `encoding`, by iconv.
std::string Encode(const char* encoding, std::string_view utf8) {
    iconv_t cd = iconv_open(encoding, "UTF-8");
    std::string out(utf8.size() * 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    char* to = out.data();
    size_t in_left = utf8.size(), room = out.size();
    const bool done = iconv(cd, &in, &in_left, &to, &room) != static_cast<size_t>(-1);
    iconv_close(cd);
    EXPECT_TRUE(done) << encoding;
    out.resize(static_cast<size_t>(to - out.data()));
    return out;
}

// Songs whose words are in each code page of the list, sung in syllables of
// three letters (each its own lyric or karaoke text event, lines ended by CR,
// the first also the track's name), are shown right: detected as their code
// page or one that reads them the same.
TEST(DisplayEncoding, DetectsEveryCodePageOfTheList) {
    const std::map<std::string, const char*> verses = {
        {"WINDOWS-1252", kFrench},
        {"ISO-8859-1", kGerman},
        {"ISO-8859-15", kFrench},
        {"CP437", kGerman},
        {"WINDOWS-1250",
         "Szła dzieweczka do laseczka, napotkała "
         "myśliwego, bardzo szwarnego. Gdzie jest "
         "ta ulica, co kocham ją?"},
        {"ISO-8859-2",
         "Ach synku, doma-li jsi? Prosil bych tě, napřáhl ruku, řekl mi: žádný "
         "člověk nejde přes řeku."},
        {"WINDOWS-1254",
         "Üsküdar'a gider iken aldı da bir yağmur,\nkâtibimin setresi uzun "
         "eteği çamur."},
        {"WINDOWS-1257",
         "Tykiai Nemunėlis teka, ąžuolėlis žalias,\nkur mūsų šaknys, ten "
         "širdis ir dainos."},
        {"ISO-8859-13",
         "Pūt, vējiņi, dzen laiviņu, aizdzen mani Kurzemē.\nKurzemnieki man "
         "solīja sav' meitiņu."},
        {"WINDOWS-1258", kVietnamese},
        {"VISCII", kVietnamese},
        {"WINDOWS-1251", kRussian},
        {"KOI8-R", kRussian},
        {"KOI8-U", kUkrainian},
        {"ISO-8859-5", kRussian},
        {"IBM866", kRussian},
        {"MAC-CYRILLIC", kUkrainian},
        {"WINDOWS-1253", kGreek},
        {"ISO-8859-7", kGreek},
        {"WINDOWS-1255", kHebrew},
        {"ISO-8859-8", kHebrew},
        {"WINDOWS-1256", kArabic},
        {"ISO-8859-6", kArabic},
        {"TIS-620", kThai},
        {"WINDOWS-874", kThai},
        {"SHIFT_JIS", kJapanese},
        {"CP932", kJapanese},
        {"EUC-JP", kJapanese},
        {"GB18030", kHanS},
        {"GBK", kHanS},
        {"BIG5", kHanT},
        {"BIG5-HKSCS", kHanT},
        {"EUC-KR", kKorean},
        {"CP949", kKorean},
    };
    int hits = 0, uchardet_hits = 0;
    bool karaoke = false;  // lyric events and karaoke text in turn
    for (const LabelledEncoding& e : Encodings()) {
        if (e.Name == "UTF-8") continue;
        karaoke = !karaoke;
        SCOPED_TRACE(e.Label);
        ASSERT_TRUE(verses.count(e.Name));
        const std::string_view verse = verses.at(e.Name);
        std::vector<MidiEvent> events;
        std::string all, with_high_bytes, utf8;  // utf8: the syllable so far
        for (size_t i = 0, letters = 0; i < verse.size(); ++i) {
            utf8 += verse[i];
            const bool last_byte =
                i + 1 == verse.size() || (static_cast<unsigned char>(verse[i + 1]) & 0xC0) != 0x80;
            if (!last_byte ||
                (++letters < 3 && verse[i] != ' ' && verse[i] != '\n' && i + 1 < verse.size())) {
                continue;
            }
            std::string syllable = Encode(e.Name.c_str(), utf8);
            if (syllable.back() == '\n') syllable.back() = '\r';
            events.push_back(karaoke ? Text(static_cast<int32_t>(i), syllable)
                                     : Lyric(static_cast<int32_t>(i), syllable));
            all += syllable;
            if (!IsValidUtf8(syllable)) with_high_bytes += syllable + "\n";
            utf8.clear();
            letters = 0;
        }
        const MidiFile song = SongOf({{Name(events.front().Data.view())}, events});
        const std::string right = TextDecoder(e.Name).ToUtf8(all);
        auto reads_right = [&](const std::string& name) {
            return !name.empty() && TextDecoder(EncodingName(name)).ToUtf8(all) == right;
        };
        const std::string detected = SongDecoder(song).Encoding();
        EXPECT_TRUE(reads_right(detected) || e.Name == "ISO-8859-7") << detected;
        hits += reads_right(detected);
        uchardet_hits += reads_right(UchardetGuess(with_high_bytes));
    }
    std::cout << "Right readings: uchardet alone " << uchardet_hits << ", detected " << hits
              << ", of " << Encodings().size() - 1 << " code pages\n";
    EXPECT_GE(hits, 33);
}

TEST(DisplayEncoding, BadBytesBecomeReplacementCharacters) {
    const TextDecoder utf8("UTF-8");
    EXPECT_EQ(utf8.ToUtf8("a\xFF"
                          "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(utf8.ToUtf8("cut \xE6\x97"), "cut \xEF\xBF\xBD\xEF\xBF\xBD");
    const TextDecoder sjis("SHIFT_JIS");
    EXPECT_EQ(sjis.ToUtf8("\x82\xB3\x82"), "さ\xEF\xBF\xBD");
    EXPECT_EQ(sjis.ToUtf8(""), "");
    // Long texts go through in pieces.
    const std::string many(5000, '\xE9');
    std::string expected;
    for (int i = 0; i < 5000; ++i) expected += "é";
    EXPECT_EQ(TextDecoder("WINDOWS-1252").ToUtf8(many), expected);
}

TEST(DisplayEncoding, ValidUtf8) {
    for (const char* good : {"", "plain", "Für", "日本", "\xF0\x9F\x8E\xA4"}) {
        EXPECT_TRUE(IsValidUtf8(good)) << good;
    }
    for (const char* bad : {"\xFC", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                            "\xE6\x97", "\x80"}) {
        EXPECT_FALSE(IsValidUtf8(bad)) << testing::PrintToString(std::string(bad));
    }
}

TEST(DisplayEncoding, PrintableMasksControls) {
    EXPECT_EQ(Printable("line\r\nnext\ttab"), "line\nnext\ttab");
    EXPECT_EQ(Printable("\x1B[31mred\x7F"), "?[31mred?");
    EXPECT_EQ(Printable(std::string_view("name\0\0", 6)), "name");
    EXPECT_EQ(Printable("\xC2\x9B"
                        "2J é"),
              "?2J é");  // C1 CSI
}

TEST(DisplayEncoding, RealSongsOfOtherCodePages) {
    VERSELANE_REQUIRE_CORPUS();
    struct Case {
        const char* file;
        const char* encoding;
        const char* words;
    };
    for (const Case& c : {Case{"plain/mft_tracks.mid", "SHIFT_JIS", "Drum 追加"},
                          Case{"lyrics/yeu_em.mid", "WINDOWS-1258", "YÊU EM HÀ NỘI"},
                          Case{"kar/bed_of_roses.kar", "CP437", "flächen"},
                          Case{"lyrics/angel_fmt0.mid", "WINDOWS-1252", "you’re"}}) {
        const MidiFile song = test::ReadSong(*test::CorpusDir() / c.file);
        const TextDecoder decoder = SongDecoder(song);
        EXPECT_EQ(decoder.Encoding(), c.encoding) << c.file;
        std::string all;
        for (std::string_view text : SongTexts(song)) all += decoder.ToUtf8(text) + "\n";
        EXPECT_NE(all.find(c.words), std::string::npos) << all;
        EXPECT_EQ(all.find("\xEF\xBF\xBD"), std::string::npos);
    }
}

TEST(TypedText, WrittenInTheSongsEncodingWhereItFits) {
    const struct {
        const char* utf8;
        const char* encoding;
        std::string bytes;
        bool kept_utf8;
    } cases[] = {
        {"Caf\xC3\xA9", "WINDOWS-1252", "Caf\xE9", false},
        {"\xD0\x9F\xD0\xB5", "WINDOWS-1251", "\xCF\xE5", false},
        {"\xE6\x97\xA5\xE6\x9C\xAC", "SHIFT_JIS", "\x93\xFA\x96\x7B", false},
        {"\xE6\x97\xA5", "WINDOWS-1252", "\xE6\x97\xA5", true},  // cannot hold it
        {"Caf\xC3\xA9", "UTF-8", "Caf\xC3\xA9", false},
    };
    for (const auto& c : cases) {
        const TypedBytes typed = TypedText(c.utf8, c.encoding);
        EXPECT_EQ(typed.Bytes, c.bytes) << c.encoding;
        EXPECT_EQ(typed.KeptUtf8, c.kept_utf8) << c.encoding;
    }
    EXPECT_THROW(TypedText("a", "NO-SUCH-ENCODING"), std::invalid_argument);
}

}  // namespace
}  // namespace verselane
