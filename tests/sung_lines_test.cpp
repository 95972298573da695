// The words as a karaoke player shows them: the tempo map, lines and
// paragraphs from karaoke text and from lyrics, and their text form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lyrics/sung_lines.h"
#include "tests/lyrics_fixtures.h"

namespace verselane {
namespace {

using test::EndOfTrack;
using test::Lyric;
using test::Name;
using test::SongOf;
using test::Tempo;
using test::Text;

TEST(TempoMap, FollowsEveryTempoChangeOfTheSong) {
    // Division 480. 120 bpm until tick 960 (1 s), then 60 bpm: a quarter note
    // lasts 1 s. A change in another track counts as well (sorted by tick).
    MidiFile song = SongOf({{Tempo(960, 1000000), EndOfTrack(960)},
                            {Name("Words"), Tempo(2880, 250000), EndOfTrack(3000)}});
    const TempoMap map(song);
    struct Point {
        int32_t tick;
        double seconds;
    };
    for (Point p : {Point{0, 0}, Point{480, 0.5}, Point{960, 1.0}, Point{1440, 2.0},
                    Point{2880, 5.0}, Point{3360, 5.25}}) {
        EXPECT_NEAR(map.Seconds(p.tick), p.seconds, 1e-9) << p.tick;
    }
}

TEST(TempoMap, OddDivisionsAndTempos) {
    MidiFile song = SongOf({{Tempo(0, 600000), Tempo(0, 1000000), EndOfTrack(0)}});
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

struct Expected {
    int32_t tick;
    std::string text;
    bool paragraph;
};

void ExpectLines(const std::vector<SungLine>& lines, const std::vector<Expected>& expected) {
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].Tick, expected[i].tick) << i;
        EXPECT_EQ(lines[i].Text, expected[i].text) << i;
        EXPECT_EQ(lines[i].NewParagraph, expected[i].paragraph) << i;
    }
}

TEST(SungLines, FromKaraokeTextAndFromLyrics) {
    const struct {
        LineSource from;
        std::vector<MidiEvent> events;
        std::vector<Expected> lines;
    } cases[] = {
        {LineSource::Karaoke,
         {Name("Words"), Text(0, "@LENGL"), Text(0, "@TTitle"), Text(480, "\\Ma"), Text(600, "ry "),
          Text(720, "had"), Text(960, "/a "), Text(1080, "lit"), Text(1200, "tle"), Text(1300, "/"),
          Text(1440, "/Its "), Text(1500, "fleece"), Text(1600, "/@home"), Text(1700, " a\rb"),
          Lyric(1800, "ignored\r")},
         {{480, "Mary had", true},
          {960, "a little", false},
          {1440, "Its fleece", true},    // behind an empty line
          {1600, "@home a b", false}}},  // a tag only without a mark; CR is a space
        {LineSource::Lyrics,
         {Name("Vocal"), Lyric(0, "Title\r"), Lyric(480, "Hel"), Lyric(600, "lo\r"),
          Lyric(720, "world "), Lyric(800, "again\r"), Lyric(800, "\r"), Lyric(960, "Next "),
          Lyric(1000, "verse\n"), Lyric(1100, "/Line "), Lyric(1200, "\\Para "),
          Lyric(1300, "one\rtwo"), Lyric(1400, "@info\r"), Lyric(1500, "x"), Text(1600, "no")},
         {{0, "Title", true},
          {480, "Hello", false},
          {720, "world again", false},
          {960, "Next verse", true},  // behind an empty line
          {1100, "Line", true},       // the LF before it asks for a paragraph already
          {1200, "Para one", true},
          {1300, "two@info", false},  // lyrics have no tags: joined as they stand
          {1500, "x", false}}},
    };
    for (const auto& c : cases) ExpectLines(SungLines(SongOf({c.events}), 0, c.from), c.lines);
    MidiFile song = SongOf({cases[0].events});
    EXPECT_NEAR(SungLines(song, 0, LineSource::Karaoke)[1].Seconds, 1.0, 1e-9);
}

TEST(SungLines, PreferredSource) {
    EXPECT_EQ(PreferredLineSource(SongOf({{Lyric(0, "a")}, {Text(0, "@KMIDI"), Text(1, "b")}})),
              LineSource::Karaoke);
    EXPECT_EQ(PreferredLineSource(SongOf({{Lyric(0, "a")}, {Text(0, "a note")}})),
              LineSource::Lyrics);
    EXPECT_EQ(PreferredLineSource(SongOf({{Text(0, "words")}})), LineSource::Karaoke);
    EXPECT_EQ(PreferredLineSource(SongOf({{Name("Piano")}})), std::nullopt);
}

TEST(SungLines, TextForm) {
    EXPECT_EQ(FormatTimestamp(0), "0:00.00");
    EXPECT_EQ(FormatTimestamp(1.0), "0:01.00");
    EXPECT_EQ(FormatTimestamp(61.239), "1:01.23");
    EXPECT_EQ(FormatTimestamp(0.29), "0:00.29");
    EXPECT_EQ(FormatTimestamp(3599.999), "59:59.99");
    EXPECT_EQ(FormatTimestamp(6000), "100:00.00");
    EXPECT_EQ(FormatTimestamp(-1), "0:00.00");

    const std::vector<SungLine> lines = {{0, 0.5, "One", true},
                                         {10, 1.25, "two", false},
                                         {20, 2.5, "", false},
                                         {30, 75.5, "Three", true}};
    EXPECT_EQ(FormatSungLines(lines), "0:00.50  One\n0:01.25  two\n0:02.50\n\n1:15.50  Three\n");
    EXPECT_EQ(FormatSungLines(lines, [](std::string_view s) { return "<" + std::string(s) + ">"; }),
              "0:00.50  <One>\n0:01.25  <two>\n0:02.50\n\n1:15.50  <Three>\n");
}

}  // namespace
}  // namespace verselane
