// The display encoding: detection over a song's texts, conversion to UTF-8,
// the override, and text made safe for a terminal.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "encoding/song_recoding.h"
#include "encoding/text_encoding.h"
#include "model/utf8.h"
#include "tests/support/lyrics_fixtures.h"
#include "tests/support/test_support.h"

namespace verselane {
namespace {

using namespace test;
using namespace std::string_literals;

// Bytes of a song shown as UTF-8: by the encoding found in the song (a few
// accented Western words in Latin-1, or UTF-8 words), or by the one named.
TEST(DisplayEncoding, BytesShownByTheFoundOrNamedEncoding) {
    const Song latin =
        BuildSong({{Name("F\xFCr Elise"), Lyric(0, "sch\xF6n "), Lyric(10, "o\xF9 est la f\xEAte"),
                    Lyric(20, "Se\xF1or"), Meta(30, kMetaCopyright, "\xA9 1810")}});
    const Song utf8 = BuildSong({{Name("Añoranza"), Lyric(0, "Für "), Lyric(1, "日本")}});
    const Song ascii = BuildSong({{Name("Piano"), Lyric(0, "la")}});
    std::string long_e;
    for (int i = 0; i < 3000; ++i) long_e += "é";
    const struct {
        const Song& song;
        // named: by iconv's name in any case, or a label of the list
        const char *named, *encoding;
        std::string bytes, shown;
        bool typed_back = true;  // typing what is shown gives the bytes back
    } cases[] = {
        {utf8, "", "UTF-8", "日本 Für", "日本 Für"},
        {ascii, "", "UTF-8", "a\xFF-", "a\uFFFD-", false},
        {ascii, "", "UTF-8", "cut \xE6\x97", "cut \uFFFD\uFFFD", false},
        // Latin-1 is read as its superset Windows-1252.
        {latin, "", "WINDOWS-1252", "F\xFCr Elise \xA9 \x80", "Für Elise © €"},
        {latin, "koi8-r", "koi8-r", "\xF0\xD2\xC9", "При"},
        // Base letters and combining tone marks put together, the last included.
        {latin, "vietnamese (windows-1258)", "WINDOWS-1258", "Ha\xCC N\xF4\xF2i", "Hà Nội", false},
        {latin, "SHIFT_JIS", "SHIFT_JIS", "\x82\xB3\x82", "さ\uFFFD", false},
        // Long texts go through in pieces.
        {latin, "WINDOWS-1252", "WINDOWS-1252", std::string(3000, '\xE9'), long_e},
    };
    for (const auto& c : cases) {
        const TextDecoder decoder = SongDecoder(c.song, c.named);
        EXPECT_EQ(decoder.Encoding(), c.encoding) << c.named;
        EXPECT_EQ(decoder.ToUtf8(c.bytes), c.shown) << c.encoding;
        if (!c.typed_back) continue;
        EXPECT_EQ(TypedText(c.shown, decoder.Encoding()).Bytes, c.bytes) << c.encoding;
    }
    // Typed text is cleaned first: each byte of no valid UTF-8 sequence (a
    // lead byte beyond F4 included) becomes U+FFFD.
    const TypedBytes typed = TypedText("a\xF8\x88\x80\x80", "UTF-8");
    EXPECT_EQ(std::pair(typed.Replaced, typed.Bytes), std::pair(4, "a\uFFFD\uFFFD\uFFFD\uFFFD"s));
    // One text that is not UTF-8 is enough to look further.
    EXPECT_EQ(DetectEncoding({"Für", "sch\xF6n"}), "WINDOWS-1252");
    // A few words after the track's name: typographic signs where writers
    // set them, and Polish capitals, read in their code page, not as the
    // letters that CP437 or VISCII make of their bytes ("DonỖt", "ôHey").
    for (const auto& [words, page] : std::vector<std::pair<std::string, std::string>>{
             {"Rock |’n’ |roll", "WINDOWS-1252"},
             {"“Hey |Jude”|don’t", "WINDOWS-1252"},
             {"«Non, |je |ne |re|grette |rien»", "WINDOWS-1252"},
             {"Oh |– |yeah |…", "WINDOWS-1252"},
             {"„Hal|lo“ |sag|te |er", "WINDOWS-1252"},
             {"¡Ay, |ay, |ay!", "WINDOWS-1252"},
             {"© 1999 Sony", "WINDOWS-1252"},
             {"Hot |20° ", "WINDOWS-1252"},
             {"ŚPIEWAJ |ĆMO", "WINDOWS-1250"},
             // Chinese read in a Thai code page makes obsolete and rare letters.
             {"我爱你，|亲爱的", "GB18030"},
             {"老鼠爱大米", "GB18030"},
             // Japanese read in a Chinese or Korean code page makes rare
             // ideographs or Hangul ("偦偆", "궩궎" for "そう").
             {"涙そうそう", "SHIFT_JIS"},
             {"春よ、来い", "SHIFT_JIS"},
         }) {
        std::vector<std::string> texts = {"Song"};
        std::istringstream list(words);
        for (std::string word; std::getline(list, word, '|');)
            texts.push_back(TypedText(word, page).Bytes);
        EXPECT_EQ(DetectEncoding({texts.begin(), texts.end()}), page) << words;
    }
    // A legacy text beside Japanese words in UTF-8 that reads just
    // plausibly (a kanji and a full-width colon) is read in Shift-JIS.
    EXPECT_EQ(DetectEncoding({"さくら", TypedText("詞：Aoi", "SHIFT_JIS").Bytes}), "SHIFT_JIS");
    // A stray control byte is a control in every code page but VISCII,
    // which reads it as a letter: the words are read as before, not given up
    // for Windows-1252 nor taken for VISCII. Texts full of them are no text
    // (a lyric that swallowed the events after it): Windows-1252.
    const std::string hanoi =
        "Hà Nội mùa thu, cây cơm nguội vàng, cây bàng lá đỏ, nằm kề bên nhau, phố xưa nhà cổ.";
    std::vector<std::string> words;
    std::istringstream verse(TypedText(hanoi, "WINDOWS-1258").Bytes);
    for (std::string word; verse >> word;) words.push_back(word + " ");
    for (const char* stray : {"", "\x14", "\x19"}) {
        words.back().back() = *stray ? *stray : ' ';
        EXPECT_EQ(DetectEncoding({words.begin(), words.end()}), "WINDOWS-1258") << int(*stray);
    }
    for (std::string& word : words) word.back() = '\x14';
    EXPECT_EQ(DetectEncoding({words.begin(), words.end()}), "WINDOWS-1252");
}

// Songs whose words are in each code page of the list, sung word by word
// (each its own lyric or karaoke text event, lines ended by CR, the first
// also the track's name), are shown right: detected as their code
// page or one that reads them the same. The verses are in tests/data, a line
// each: the code pages that can hold it, a tab, the verse ("\n" a line break).
TEST(DisplayEncoding, DetectsEveryCodePageOfTheList) {
    std::set<std::string> pages;
    int hits = 0;
    bool karaoke = false;  // lyric events and karaoke text in turn
    std::ifstream verses(VERSELANE_SOURCE_DIR "/tests/data/code_page_verses.txt");
    for (std::string names, verse;
         std::getline(verses, names, '\t') && std::getline(verses, verse);) {
        for (size_t at; (at = verse.find("\\n")) != std::string::npos;) verse.replace(at, 2, "\n");
        std::istringstream list(names);
        for (std::string page; list >> page;) {
            SCOPED_TRACE(page);
            EXPECT_NE(EncodingLabel(page), page);  // a code page of the list
            pages.insert(page);
            karaoke = !karaoke;
            TrackEvents events;
            std::string all;
            for (size_t at = 0, end = 0; end < verse.size(); at = end + 1) {
                end = std::min(verse.find_first_of(" \n", at), verse.size());
                std::string word = TypedText(verse.substr(at, end - at + 1), page).Bytes;
                if (word.back() == '\n') word.back() = '\r';
                const int32_t time = static_cast<int32_t>(at);
                events.push_back(karaoke ? Text(time, word) : Lyric(time, word));
                all += word;
            }
            const Song song = BuildSong({{Name(events.front().Body)}, events});
            const std::string detected = SongDecoder(song).Encoding();
            const bool right = TextDecoder(detected).ToUtf8(all) == TextDecoder(page).ToUtf8(all);
            EXPECT_TRUE(right || page == "ISO-8859-7") << detected;
            hits += right;
        }
    }
    EXPECT_EQ(pages.size() + 1, Encodings().size());  // all but UTF-8
    EXPECT_GE(hits, 36);
}

// A short song's syllables, a dozen or so, in a Cyrillic code page: read as
// Hebrew (Windows-1255) they would open words with a point and put final
// letters inside words, which Hebrew never does; read as Mac Cyrillic their
// capitals would be other letters.
TEST(DisplayEncoding, AShortCyrillicSongIsReadInItsCodePage) {
    const std::pair<const char*, const char*> rows[] = {
        {"WINDOWS-1251", "При|вет |как |де|ла |мой |друг\r|хо|ро|шо |спа|си|бо"},
        {"KOI8-R", "При|вет |как |де|ла |мой |друг\r|хо|ро|шо |спа|си|бо"},
        {"WINDOWS-1255", "שלום |עליכם |מלאכי |השרת\r"},
        // Mac Cyrillic reads the lower-case letters alike and "О" as "ќ".
        {"WINDOWS-1251", "Ой |то |не |ве|чер\r|не |ве|чер\r"},
    };
    for (const auto& [page, words] : rows) {
        TrackEvents events;
        int32_t time = 0;
        std::string all;
        std::istringstream list(words);
        for (std::string syllable; std::getline(list, syllable, '|');) {
            events.push_back(Lyric(time += 240, TypedText(syllable, page).Bytes));
            all += events.back().Body;
        }
        const Song song = BuildSong({{Name("Song")}, events});
        // Read as written (a code page that reads these bytes alike will do).
        EXPECT_EQ(SongDecoder(song).ToUtf8(all), TextDecoder(page).ToUtf8(all))
            << SongDecoder(song).Encoding();
    }
}

// Text with a UTF-16 byte order mark, either way round, comes out as UTF-8
// without the mark; a character beyond the first plane takes its two halves;
// a byte left over becomes U+FFFD; text without the mark is not taken. Whole
// UTF-8 only is valid, Latin-1 reads as UTF-8, and terminal text goes without
// controls.
TEST(DisplayEncoding, Utf16AndLatin1ReadAsUtf8AndOnlyValidPrintableTextPasses) {
    const struct {
        std::string Bytes;
        std::optional<std::string> Utf8;
    } rows[] = {
        {"\xFF\xFEl\0\xE0\0 \0\n\0"s, "l\xC3\xA0 \n"},
        {"\xFE\xFF\0l\0\xE0\0 \0\n"s, "l\xC3\xA0 \n"},
        {"\xFF\xFE\x3C\xD8\xA4\xDF"s, "\xF0\x9F\x8E\xA4"},  // U+1F3A4
        {"\xFF\xFEl\0a"s, "l\xEF\xBF\xBD"},
        {"\xFF\xFE"s, ""},
        {"l\0a\0"s, std::nullopt},
        {"\xEF\xBB\xBFla"s, std::nullopt},  // UTF-8's mark: read as UTF-8
        {"\xFF"s, std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Utf16TextAsUtf8(row.Bytes), row.Utf8) << testing::PrintToString(row.Bytes);
    for (const char* good :
         {"", "plain", "Für", "日本", "\xF0\x9F\x8E\xA4", "\xE0\xA0\x80", "\xF0\x90\x80\x80"})
        EXPECT_TRUE(IsValidUtf8(good)) << good;
    for (const char* bad : {"\xFC", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                            "\xE6\x97", "\x80"})
        EXPECT_FALSE(IsValidUtf8(bad)) << testing::PrintToString(std::string(bad));
    EXPECT_EQ(Latin1AsUtf8("\xe9t\xe9 \x7f\xff"), "\u00e9t\u00e9 \x7f\u00ff");
    for (const auto& [text, shown] : std::vector<std::pair<std::string, std::string>>{
             {"line\r\nnext\ttab", "line\nnext\ttab"},
             {"\x1B[31mred\x7F", "?[31mred?"},
             {std::string("name\0\0", 6), "name"},
             {"\xC2\x9B-2J é", "?-2J é"},        // C1 CSI
             {"\xC2\x9F\xC2\xA0", "?\xC2\xA0"},  // no-break space kept
             {"cut\xC2", "cut\xC2"}})            // nothing read past the end
        EXPECT_EQ(Printable(text), shown);
}

// The song's texts as they are shown: each decoded in the song's own
// encoding (or the one named), in composed form.
std::vector<std::string> ShownTexts(const Song& song, const std::string& encoding = {}) {
    const TextDecoder decoder = SongDecoder(song, encoding);
    std::vector<std::string> shown;
    for (std::string_view text : SongTexts(song))
        shown.push_back(ComposedUtf8(IsValidUtf8(text) ? std::string(text) : decoder.ToUtf8(text)));
    return shown;
}

// A song's texts and their marks are ASCII in every encoding they may be in.
TEST(DisplayEncoding, OnlyEncodingsThatKeepAsciiHoldASongsTexts) {
    for (const char* name : {"UTF-8", "WINDOWS-1252", "GBK", "CP932", "WINDOWS-1258"})
        EXPECT_TRUE(KeepsAscii(name)) << name;
    for (const char* name : {"UTF-16", "UTF-16LE", "UTF-32", "UTF-7", "NO-SUCH-ENCODING"})
        EXPECT_FALSE(KeepsAscii(name)) << name;
}

// Every song of the corpus whose words are in a code page goes into UTF-8
// and back into that code page, and shows the same words at each step. Songs
// of four code pages are read in theirs, words of them shown right and none
// lost.
TEST(SongRecoding, CorpusSongsShowTheirWordsAndKeepThemThroughUtf8AndBack) {
    VERSELANE_REQUIRE_CORPUS();
    std::map<std::string, std::pair<std::string, std::string>> known = {
        {"plain/mft_tracks.mid", {"SHIFT_JIS", "Drum 追加"}},
        {"lyrics/yeu_em.mid", {"WINDOWS-1258", "YÊU EM HÀ NỘI"}},
        {"kar/bed_of_roses.kar", {"CP437", "flächen"}},
        {"lyrics/angel_fmt0.mid", {"WINDOWS-1252", "you’re"}}};
    int recoded = 0;
    for (const auto& path : CorpusFiles()) {
        Song song = LoadSong(path);
        const std::string page = DetectEncoding(SongTexts(song));
        if (const auto it = known.find(path.lexically_relative(*CorpusDir())); it != known.end()) {
            const TextDecoder decoder = SongDecoder(song);
            std::string all;
            for (std::string_view text : SongTexts(song)) all += decoder.ToUtf8(text) + "\n";
            EXPECT_EQ(decoder.Encoding(), it->second.first) << path;
            EXPECT_NE(all.find(it->second.second), std::string::npos) << all;
            EXPECT_EQ(all.find("\xEF\xBF\xBD"), std::string::npos) << all;
            known.erase(it);
        }
        if (page == "UTF-8") continue;
        SCOPED_TRACE(path.string() + " in " + page);
        const std::vector<std::string> shown = ShownTexts(song);
        const RecodeOutcome to_utf8 = RecodeSongTexts(song, "UTF-8");
        EXPECT_GT(to_utf8.Changed, 0);
        EXPECT_EQ(ShownTexts(song, page), shown);
        const RecodeOutcome back = RecodeSongTexts(song, page);
        EXPECT_EQ(to_utf8.Refused + back.Refused, "");
        EXPECT_EQ(back.Changed, to_utf8.Changed);
        EXPECT_EQ(DetectEncoding(SongTexts(song)), page);
        EXPECT_EQ(ShownTexts(song), shown);
        ++recoded;
    }
    EXPECT_GE(recoded, 13);  // the songs of the corpus in code pages (7 December 2026)
    EXPECT_TRUE(known.empty()) << known.begin()->first << " not found";
}

// Recoding reads a song's words in the encoding they are shown in, and
// refuses, leaving the song untouched, what would not read back the same.
TEST(SongRecoding, ReadsAsShownAndRefusesWhatChangesTheWords) {
    // Vietnamese in Windows-1258 with tone marks as combining characters,
    // each syllable its own lyric, most of them plain ASCII: read as 1258,
    // not as the Central European code page that the accented syllables
    // alone suggest.
    const std::vector<std::string> in_1258 = {"Yeu em",   "Y\xEAu ",    "em ",
                                              "y\xEAu ",  "Ha\xCC ",    "N\xF4\xF2i\r",
                                              "qua\xEC ", "c\xF4\xD2 ", "ki\xECnh "};
    TrackEvents events = {Name(in_1258[0])};
    for (int32_t i = 1; i < 9; ++i) events.push_back(Lyric(i - 1, in_1258[i]));
    const Song vietnamese = BuildSong({events});
    const Song utf8 = BuildSong({{Name("Ha Noi"), Lyric(0, "Hà "), Lyric(1, "Nội")}});
    // A copyright in a legacy code page beside lyrics in UTF-8 is read in a
    // code page of the lyrics' language: four kanji in Shift-JIS read as
    // well in GB18030 ("擔杮屆梬"), but kana say the song is Japanese; so
    // with Hangul and EUC-KR.
    const Song russian =
        BuildSong({{Name("Song"), Meta(0, kMetaCopyright, "Café"), Lyric(0, "При ")}});
    const Song russian_cafe = BuildSong({{Name("Song"), Lyric(0, "При "), Lyric(1, "Café")}});
    const Song japanese = BuildSong(
        {{Name("Song"), Meta(0, kMetaCopyright, TypedText("日本古謡", "SHIFT_JIS").Bytes)},
         {Name("Vocal"), Lyric(0, "さ"), Lyric(1, "く"), Lyric(2, "ら ")}});
    const Song korean = BuildSong(
        {{Name("Song"), Meta(0, kMetaCopyright, TypedText("민요 아리랑", "EUC-KR").Bytes)},
         {Name("Vocal"), Lyric(0, "아"), Lyric(1, "리"), Lyric(2, "랑 ")}});
    const struct {
        const Song& song;
        const char* target;
        std::vector<std::string> texts;  // the song's texts after the recoding
        bool refused = false;
        int kept = 0;
    } cases[] = {
        {vietnamese,
         "UTF-8",
         {"Yeu em", "Yêu ", "em ", "yêu ", "Hà ", "Nội\r", "quá ", "cổ ", "kính "}},
        // Already in the target: nothing to do, nothing left behind.
        {vietnamese, "WINDOWS-1258", in_1258},
        // Composed letters the code page lacks become letter and tone mark.
        {utf8, "WINDOWS-1258", {"Ha Noi", "H\xE0 ", "N\xF4\xF2i"}},
        {japanese, "UTF-8", {"Song", "日本古謡", "Vocal", "さ", "く", "ら "}},
        {korean, "UTF-8", {"Song", "민요 아리랑", "Vocal", "아", "리", "랑 "}},
        // What the target cannot hold stays: a copyright may, but a word
        // beside words in the target would leave them in two encodings.
        {russian, "WINDOWS-1251", {"Song", "Café", "\xCF\xF0\xE8 "}, false, 1},
        {russian_cafe, "WINDOWS-1251", {"Song", "При ", "Café"}, true},
        // A transliteration loses the tone marks: refused.
        {utf8, "WINDOWS-1252//TRANSLIT", {"Ha Noi", "Hà ", "Nội"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        Song song = c.song;
        const RecodeOutcome outcome = RecodeSongTexts(song, c.target);
        EXPECT_EQ(!outcome.Refused.empty(), c.refused) << outcome.Refused;
        EXPECT_EQ(outcome.Kept, c.kept);
        const std::vector<std::string_view> texts = SongTexts(song);
        EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.end()), c.texts);
        EXPECT_EQ(song.Tracks[0].Name, c.texts[0]);  // the name follows its event
    }
}

}  // namespace
}  // namespace verselane
