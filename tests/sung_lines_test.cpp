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
std::vector<std::string> Lines(const MidiFile& song, LineSource from) {
    std::vector<std::string> out;
    for (const SungLine& l : SungLines(song, 0, from))
        out.push_back((l.NewParagraph ? "¶" : "") + std::to_string(l.Tick) + " " + l.Text);
    return out;
}

TEST(SungLines, LinesAndParagraphsFromKaraokeTextAndFromLyrics) {
    const MidiFile karaoke =
        SongOf({{Name("Words"), Text(0, "@LENGL"), Text(0, "@TTitle"), Text(480, "\\Ma"),
                 Text(600, "ry "), Text(720, "had"), Text(960, "/a "), Text(1080, "lit"),
                 Text(1200, "tle"), Text(1300, "/"), Text(1440, "/Its "), Text(1500, "fleece"),
                 Text(1600, "/@home"), Text(1700, " a\rb"), Lyric(1800, "ignored\r")}});
    // Behind an empty line a paragraph; a tag only without a mark; CR is a space.
    EXPECT_EQ(Lines(karaoke, LineSource::Karaoke),
              (std::vector<std::string>{"¶480 Mary had", "960 a little", "¶1440 Its fleece",
                                        "1600 @home a b"}));
    EXPECT_NEAR(SungLines(karaoke, 0, LineSource::Karaoke)[1].Seconds, 1.0, 1e-9);
    const MidiFile lyrics = SongOf(
        {{Name("Vocal"), Lyric(0, "Title\r"), Lyric(480, "Hel"), Lyric(600, "lo\r"),
          Lyric(720, "world "), Lyric(800, "again\r"), Lyric(800, "\r"), Lyric(960, "Next "),
          Lyric(1000, "verse\n"), Lyric(1100, "/Line "), Lyric(1200, "\\Para "),
          Lyric(1300, "one\rtwo"), Lyric(1400, "@info\r"), Lyric(1500, "x"), Text(1600, "no")}});
    // An LF asks for a paragraph, so does an empty line; lyrics have no tags.
    EXPECT_EQ(
        Lines(lyrics, LineSource::Lyrics),
        (std::vector<std::string>{"¶0 Title", "480 Hello", "720 world again", "¶960 Next verse",
                                  "¶1100 Line", "¶1200 Para one", "1300 two@info", "1500 x"}));
}

TEST(SungLines, PreferredSourceIsKaraokeTextWithATagElseLyrics) {
    EXPECT_EQ(PreferredLineSource(SongOf({{Lyric(0, "a")}, {Text(0, "@KMIDI"), Text(1, "b")}})),
              LineSource::Karaoke);
    EXPECT_EQ(PreferredLineSource(SongOf({{Lyric(0, "a")}, {Text(0, "a note")}})),
              LineSource::Lyrics);
    EXPECT_EQ(PreferredLineSource(SongOf({{Text(0, "words")}})), LineSource::Karaoke);
    EXPECT_EQ(PreferredLineSource(SongOf({{Name("Piano")}})), std::nullopt);
}

TEST(SungLines, TextFormWithTimestamps) {
    for (auto [seconds, shown] : {std::pair{0.0, "0:00.00"},
                                  {1.0, "0:01.00"},
                                  {61.239, "1:01.23"},
                                  {0.29, "0:00.29"},
                                  {3599.999, "59:59.99"},
                                  {6000.0, "100:00.00"},
                                  {-1.0, "0:00.00"}})
        EXPECT_EQ(FormatTimestamp(seconds), shown);
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
