// The display encoding: detection over a song's texts, conversion to UTF-8,
// the override, and text made safe for a terminal.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "encoding/text_encoding.h"
#include "tests/lyrics_fixtures.h"
#include "tests/support/test_support.h"

namespace verselane {
namespace {

using test::Lyric;
using test::Name;
using test::SongOf;
using test::Text;

// "Sakura" in Shift-JIS, as lyric events.
MidiFile ShiftJisSong() {
    return SongOf({{Name("Melody")},
                   {Name("\x82\xB3\x82\xAD\x82\xE7"),  // さくら
                    Lyric(0, "\x82\xB3\x82\xAD\x82\xE7\x20\x82\xB3\x82\xAD\x82\xE7\r"),
                    Lyric(10, "\x82\xE2\x82\xE6\x82\xA2\x82\xCC\x8B\xF3\x82\xCD\r"),
                    Lyric(20, "\x8C\xA9\x82\xED\x82\xBD\x82\xB7\x8C\xC0\x82\xE8\r"),
                    Lyric(30, "\x82\xA9\x82\xB7\x82\xDD\x82\xA9\x89\x5F\x82\xA9\r"),
                    Lyric(40, "\x93\xF5\x82\xA2\x82\xBC\x8F\x6F\x82\xB8\x82\xE9")}});
}

// A Russian folk song in Windows-1251, as karaoke text.
MidiFile CyrillicSong() {
    return SongOf(
        {{Text(0, "@KMIDI KARAOKE FILE")},
         {Name("Words"),
          Text(0, "\\\xCE\xE9\x2C\x20\xEC\xEE\xF0\xEE\xE7\x2C\x20\xEC\xEE\xF0\xEE\xE7\x2C"),
          Text(10, "/\xED\xE5\x20\xEC\xEE\xF0\xEE\xE7\xFC\x20\xEC\xE5\xED\xFF\x2C"),
          Text(20, "/\xED\xE5\x20\xEC\xEE\xF0\xEE\xE7\xFC\x20\xEC\xE5\xED\xFF\x2C"),
          Text(30, "/\xEC\xEE\xE5\xE3\xEE\x20\xEA\xEE\xED\xFF\x2E"),
          Text(40,
               "\\\xD3\x20\xEC\xE5\xED\xFF\x20\xE6\xE5\xED\xE0\x2C\x20\xEE\xF5\x2C\x20"
               "\xF0\xE5\xE2\xED\xE8\xE2\xE0\xFF")}});
}

// A few accented Western words in Latin-1.
MidiFile LatinSong() {
    return SongOf({{Name("F\xFCr Elise"), Lyric(0, "sch\xF6n "), Lyric(10, "o\xF9 est la f\xEAte"),
                    Lyric(20, "Se\xF1or"), test::Meta(30, kMetaCopyright, "\xA9 1810")}});
}

TEST(DisplayEncoding, DetectsAndConvertsRealScripts) {
    struct Case {
        const char* what;
        MidiFile song;
        std::string encoding;
        int track;
        int event;
        std::string utf8;
    };
    const std::vector<Case> cases = {
        {"Shift-JIS", ShiftJisSong(), "SHIFT_JIS", 1, 2, "やよいの空は\r"},
        {"Windows-1251", CyrillicSong(), "WINDOWS-1251", 1, 5, "\\У меня жена, ох, ревнивая"},
        {"Latin-1, read as its superset Windows-1252", LatinSong(), "WINDOWS-1252", 0, 2,
         "où est la fête"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TextDecoder decoder = SongDecoder(c.song);
        EXPECT_EQ(decoder.Encoding(), c.encoding);
        EXPECT_EQ(decoder.ToUtf8(c.song.Tracks[c.track].Event(c.event).Data.view()), c.utf8);
        EXPECT_TRUE(IsValidUtf8(decoder.ToUtf8(c.song.TrackName[c.track])));
    }
    EXPECT_EQ(SongDecoder(LatinSong()).ToUtf8("F\xFCr Elise \xA9 \x80"), "Für Elise © €");
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
    // The same byte is another character once an encoding is named.
    EXPECT_EQ(SongDecoder(LatinSong()).ToUtf8("\xA4 5"), "¤ 5");
    const TextDecoder euro = SongDecoder(LatinSong(), "ISO-8859-15");
    EXPECT_EQ(euro.Encoding(), "ISO-8859-15");
    EXPECT_EQ(euro.ToUtf8("\xA4 5"), "€ 5");
    // Vietnamese in Windows-1258: base letters and combining tone marks are
    // put together, the last letter included.
    const MidiFile song = SongOf({{Lyric(0, "Ha\xCC N\xF4\xF2i")}});
    EXPECT_EQ(SongDecoder(song, "WINDOWS-1258").ToUtf8("Ha\xCC N\xF4\xF2i"), "Hà Nội");
    // Names are taken as iconv knows them, in any case.
    EXPECT_EQ(SongDecoder(CyrillicSong(), "koi8-r").ToUtf8("\xF0\xD2\xC9"), "При");
    EXPECT_THROW(SongDecoder(song, "NO-SUCH-ENCODING"), std::invalid_argument);
    for (const std::string& name : DisplayEncodings()) {
        EXPECT_NO_THROW(TextDecoder{name}) << name;
    }
    EXPECT_EQ(DisplayEncodings().front(), "UTF-8");
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

TEST(DisplayEncoding, RealShiftJisSong) {
    VERSELANE_REQUIRE_CORPUS();
    const MidiFile song = test::ReadSong(*test::CorpusDir() / "plain/mft_tracks.mid");
    const TextDecoder decoder = SongDecoder(song);
    EXPECT_EQ(decoder.Encoding(), "SHIFT_JIS");
    std::string all;
    for (std::string_view text : SongTexts(song)) all += decoder.ToUtf8(text) + "\n";
    EXPECT_NE(all.find("Drum 追加"), std::string::npos) << all;
    EXPECT_EQ(all.find("\xEF\xBF\xBD"), std::string::npos);
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
