// The words as a karaoke player shows them: the tempo map, lines and
// paragraphs from karaoke text and from lyrics, and their text form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lyrics/sung_lines.h"
#include "tests/support/lyrics_fixtures.h"

namespace verselane {
namespace {

using namespace test;

TEST(TempoMap, FollowsEveryTempoChangeDivisionAndTrack) {
    // Division 480. 120 bpm until tick 960 (1 s), then 60 bpm: a quarter note
    // lasts 1 s. A change in another track counts as well (sorted by tick).
    MidiFile song = SongOf({{Tempo(960, 1000000), EndOfTrack(960)},
                            {Name("Words"), Tempo(2880, 250000), EndOfTrack(3000)}});
    for (auto [tick, seconds] :
         {std::pair{0, 0.0}, {480, 0.5}, {960, 1.0}, {1440, 2.0}, {2880, 5.0}, {3360, 5.25}})
        EXPECT_NEAR(TempoMap(song).Seconds(tick), seconds, 1e-9) << tick;

    song = SongOf({{Tempo(0, 600000), Tempo(0, 1000000), EndOfTrack(0)}});
    EXPECT_NEAR(TempoMap(song).Seconds(480), 1.0, 1e-9);  // the last change at a tick holds
    song.Header.Division = 0;
    EXPECT_EQ(TempoMap(song).Seconds(480), 0);
    // SMPTE: 25 frames a second, 40 ticks a frame: 1000 ticks a second.
    song.Header.Division = static_cast<int16_t>(0xE728);
    EXPECT_NEAR(TempoMap(song).Seconds(2500), 2.5, 1e-9);
    // A format 2 song: the tempo of the track itself.
    MidiFile f2 = SongOf({{Tempo(0, 1000000)}, {Tempo(0, 250000)}}, 2);
    EXPECT_NEAR(TempoMap(f2, 0).Seconds(480), 1.0, 1e-9);
    EXPECT_NEAR(TempoMap(f2, 1).Seconds(480), 0.25, 1e-9);
}

// Each line as "tick text", "¶" in front of a paragraph's first line.
std::string Lines(const MidiFile& song, LineSource from) {
    std::string out;
    for (const SungLine& l : SungLines(song, 0, from))
        out += (l.NewParagraph ? "\n¶" : "\n") + std::to_string(l.Tick) + " " + l.Text;
    return out;
}

// Behind an empty line a paragraph; a line starts at its first word; from
// karaoke text a tag only without a mark, and CR is a space; from lyrics an
// LF asks for a paragraph, a CR for a line, NUL bytes are nothing and there
// are no tags.
TEST(SungLines, LinesAndParagraphsFromKaraokeTextAndFromLyrics) {
    const MidiFile karaoke =
        SongOf({{Name("Words"), Text(0, "@LENGL"), Text(0, "@TTitle"), Text(480, "\\Ma"),
                 Text(600, "ry "), Text(720, "had"), Text(960, "/a "), Text(1080, "lit"),
                 Text(1200, "tle"), Text(1300, "/"), Text(1440, "/Its "), Text(1500, "fleece"),
                 Text(1600, "/@home"), Text(1700, " a\rb"), Lyric(1800, "ignored\r")}});
    EXPECT_EQ(Lines(karaoke, LineSource::Karaoke),
              "\n¶480 Mary had\n960 a little\n¶1440 Its fleece\n1600 @home a b");
    EXPECT_NEAR(SungLines(karaoke, 0, LineSource::Karaoke)[1].Seconds, 1.0, 1e-9);
    const MidiFile lyrics = SongOf(
        {{Name("Vocal"), Lyric(0, "Title\r"), Lyric(480, "Hel"), Lyric(600, "lo\r"),
          Lyric(720, "world "), Lyric(800, "again\r"), Lyric(800, "\r"), Lyric(960, "Next "),
          Lyric(1000, "verse\n"), Lyric(1100, std::string("\0/Line ", 7)), Lyric(1200, "\\Para "),
          Lyric(1300, "one\rtwo"), Lyric(1400, "@info\r"), Lyric(1500, "x"), Text(1600, "no")}});
    EXPECT_EQ(Lines(lyrics, LineSource::Lyrics),
              "\n¶0 Title\n480 Hello\n720 world again\n¶960 Next verse\n¶1100 Line\n¶1200 Para "
              "one\n1300 two@info\n1500 x");
}

TEST(SungLines, PreferredSourceIsKaraokeTextWithATagElseLyrics) {
    EXPECT_EQ(PreferredLineSource(SongOf({{Lyric(0, "a")}, {Text(0, "@KMIDI"), Text(1, "b")}})),
              LineSource::Karaoke);
    EXPECT_EQ(PreferredLineSource(SongOf({{Lyric(0, "a")}, {Text(0, "a note")}})),
              LineSource::Lyrics);
    EXPECT_EQ(PreferredLineSource(SongOf({{Text(0, "words")}})), LineSource::Karaoke);
    EXPECT_EQ(PreferredLineSource(SongOf({{Name("Piano")}})), std::nullopt);
}

// "m:ss.hh", rounded down, never below 0; an empty line shows its time alone.
TEST(SungLines, TextFormWithTimestamps) {
    std::string shown;
    for (double s : {0.0, 1.0, 61.239, 0.29, 3599.999, 6000.0, -1.0})
        shown += FormatTimestamp(s) + " ";
    EXPECT_EQ(shown, "0:00.00 0:01.00 1:01.23 0:00.29 59:59.99 100:00.00 0:00.00 ");
    const std::vector<SungLine> lines = {{0, 0.5, "One", true, {}},
                                         {10, 1.25, "two", false, {}},
                                         {20, 2.5, "", false, {}},
                                         {30, 75.5, "Three", true, {}}};
    EXPECT_EQ(FormatSungLines(lines), "0:00.50  One\n0:01.25  two\n0:02.50\n\n1:15.50  Three\n");
    EXPECT_EQ(FormatSungLines(lines, [](std::string_view s) { return "<" + std::string(s) + ">"; }),
              "0:00.50  <One>\n0:01.25  <two>\n0:02.50\n\n1:15.50  <Three>\n");
}

}  // namespace
}  // namespace verselane
