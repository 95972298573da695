// Soft Karaoke text to lyric events, in replace mode and in keep mode.
#include <gtest/gtest.h>

#include <vector>

#include "lyrics/converters.h"
#include "tests/support/lyrics_fixtures.h"

namespace verselane {
namespace {

using namespace test;
using Events = std::vector<MidiEvent>;

MidiFile WordsSong(const Events& words) {
    return SongOf({{Name("Conductor"), EndOfTrack(0)}, words, {Name("Piano"), EndOfTrack(0)}});
}

bool IsSungText(const MidiEvent& e) {
    return e.Kind == kKindMeta && e.Channel == kMetaText && !e.Data.view().starts_with('@');
}

struct TextCase {
    const char* what;
    Events before;
    Events replaced;  // replace mode; keep mode puts each lyric behind its text event
};

TEST(KaraokeToLyrics, TextRulesInBothModes) {
    const std::vector<TextCase> cases = {
        {"tags stay text; marks become line ends on the lyric before",
         {Name("Words"), Text(0, "@LENGL"), Text(100, "\\Ma"), Text(200, "ry"), Text(300, "/had")},
         {Name("Words"), Text(0, "@LENGL"), Lyric(100, "Ma"), Lyric(200, "ry\r"),
          Lyric(300, "had")}},
        {"a gap opening a syllable moves to the end of the lyric before",
         {Text(0, "\\Twin"), Text(10, "kle, "), Text(20, "/Twin"), Text(30, " kle"),
          Text(40, " lit"), Text(50, "tle")},
         {Lyric(0, "Twin"), Lyric(10, "kle, \r"), Lyric(20, "Twin "), Lyric(30, "kle "),
          Lyric(40, "lit"), Lyric(50, "tle")}},
        {"behind a mark the gap goes ahead of the line end",
         {Text(0, "a"), Text(10, "\\ b")},
         {Lyric(0, "a \n\r"), Lyric(10, "b")}},
        {"empty and mark-only events stay as empty lyrics",
         {Text(0, "a"), Text(5, ""), Text(10, "/"), Text(20, "\\c")},
         {Lyric(0, "a"), Lyric(5, "\r"), Lyric(10, "\n\r"), Lyric(20, "c")}},
        {"the first sung syllable's mark adds no break, tags are not lyrics",
         {Text(0, "@KMIDI KARAOKE FILE"), Text(0, "@TTitle"), Text(10, "\\Hel"), Text(20, " lo")},
         {Text(0, "@KMIDI KARAOKE FILE"), Text(0, "@TTitle"), Lyric(10, "Hel "), Lyric(20, "lo")}},
        {"existing lyrics are neither converted nor the lyric before",
         {Text(0, "a"), Lyric(5, "x"), Text(10, "/b")},
         {Lyric(0, "a\r"), Lyric(5, "x"), Lyric(10, "b")}},
        {"a line end inside a syllable is a space",
         {Text(0, "\\do,"), Text(5, " \r"), Text(10, "y\nz")},
         {Lyric(0, "do,  "), Lyric(5, ""), Lyric(10, "y z")}},
        {"a syllable opening with \"@\" behind a mark is sung",
         {Text(0, "a"), Text(10, "/@home")},
         {Lyric(0, "a\r"), Lyric(10, "@home")}},
        {"other events pass through unchanged",
         {NoteOn(0, 60), Text(1, "a"), Meta(2, kMetaCopyright, "(c)"), EndOfTrack(9)},
         {NoteOn(0, 60), Lyric(1, "a"), Meta(2, kMetaCopyright, "(c)"), EndOfTrack(9)}},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.what);
        MidiFile replaced = WordsSong(c.before);
        replaced.InstrumentName[1] = "Voice";
        KaraokeToLyrics(replaced, 1, 0, false);
        EXPECT_EQ(EventsOf(replaced, 1), c.replaced);
        EXPECT_EQ(replaced.InstrumentName[1], "Voice");

        // Keep mode: every event in its place, each sung text event followed
        // by the lyric that replace mode made of it; the slot's names empty.
        Events kept;
        for (size_t i = 0; i < c.before.size(); ++i) {
            kept.push_back(c.before[i]);
            if (IsSungText(c.before[i])) kept.push_back(c.replaced[i]);
        }
        MidiFile keep = WordsSong(c.before);
        const MidiFile before = keep;
        KaraokeToLyrics(keep, 1, 0, true);
        EXPECT_EQ(EventsOf(keep, 1), kept);
        EXPECT_EQ(keep.TrackName[1], "");
        EXPECT_EQ(keep.InstrumentName[1], "");
        EXPECT_EQ(EventsOf(keep, 2), EventsOf(before, 2));
        EXPECT_EQ(keep.Header, before.Header);
    }
}

TEST(KaraokeToLyrics, EmptySlotsAndCapacity) {
    MidiFile spare = WordsSong({Name("Piano"), EndOfTrack(10)});
    KaraokeToLyrics(spare, 5, 0, false);  // the top spare slot
    EXPECT_EQ(spare.EventCount[5], 0);
    KaraokeToLyrics(spare, 5, 0, true);
    EXPECT_EQ(spare.EventCount[5], 0);

    // Four events and three sung text events: seven events, room for six.
    MidiFile song =
        SongOf({{Name("W"), Text(0, "a"), Text(1, "b"), Text(2, "c")}}, 1, /*event_slots=*/5);
    const MidiFile before = song;
    ExpectError(ErrorKind::SubscriptOutOfRange, [&] { KaraokeToLyrics(song, 0, 0, true); });
    EXPECT_EQ(song.Tracks, before.Tracks);
    EXPECT_EQ(song.TrackName, before.TrackName);
    for (bool keep : {false, true}) {
        for (int16_t bad : {-1, 6})
            ExpectError(ErrorKind::SubscriptOutOfRange,
                        [&] { KaraokeToLyrics(spare, bad, 0, keep); });
    }
}

}  // namespace
}  // namespace verselane
