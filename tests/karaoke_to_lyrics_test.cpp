// Soft Karaoke text to lyric events, in replace mode and in keep mode.
#include <gtest/gtest.h>

#include <vector>

#include "lyrics/converters.h"
#include "tests/lyrics_fixtures.h"
#include "tests/support/test_support.h"

namespace verselane {
namespace {

using test::EndOfTrack;
using test::EventsOf;
using test::Lyric;
using test::Name;
using test::SongOf;
using test::Text;

using Events = std::vector<MidiEvent>;

MidiFile WordsSong(const Events& words) {
    return SongOf({{Name("Conductor"), EndOfTrack(0)}, words, {Name("Piano"), EndOfTrack(0)}});
}

const Events kExample = {Name("Words"), Text(0, "@LENGL"), Text(100, "\\Ma"), Text(200, "ry"),
                         Text(300, "/had")};

TEST(KaraokeToLyrics, WorkedExampleReplaceMode) {
    MidiFile song = WordsSong(kExample);
    song.InstrumentName[1] = "Voice";
    KaraokeToLyrics(song, 1, 0, false);
    EXPECT_EQ(EventsOf(song, 1),
              (Events{Name("Words"), Lyric(0, "@LENGL \r\n\r"), Lyric(100, "Ma "),
                      Lyric(200, "ry \r"), Lyric(300, "had ")}));
    EXPECT_EQ(song.EventCount[1], 5);
    EXPECT_EQ(song.TrackName[1], "Words");
    EXPECT_EQ(song.InstrumentName[1], "Voice");
}

TEST(KaraokeToLyrics, WorkedExampleKeepMode) {
    MidiFile song = WordsSong(kExample);
    song.InstrumentName[1] = "Voice";
    const MidiFile before = song;
    KaraokeToLyrics(song, 1, 0, true);
    EXPECT_EQ(EventsOf(song, 1),
              (Events{Name("Words"), Text(0, "@LENGL"), Lyric(0, "@LENGL \r\n\r"),
                      Text(100, "\\Ma"), Lyric(100, "Ma "), Text(200, "ry"), Lyric(200, "ry \r"),
                      Text(300, "/had"), Lyric(300, "had ")}));
    EXPECT_EQ(song.EventCount[1], 9);
    // The slot's stored names come from the scratch track: empty.
    EXPECT_EQ(song.TrackName[1], "");
    EXPECT_EQ(song.InstrumentName[1], "");
    // Nothing else of the song moves.
    EXPECT_EQ(song.Header, before.Header);
    EXPECT_EQ(EventsOf(song, 0), EventsOf(before, 0));
    EXPECT_EQ(EventsOf(song, 2), EventsOf(before, 2));
    EXPECT_EQ(song.KaraokeText, before.KaraokeText);
}

struct TextCase {
    const char* what;
    Events before;
    Events replaced;  // replace mode; keep mode puts each lyric behind its text event
};

TEST(KaraokeToLyrics, TextRules) {
    const std::vector<TextCase> cases = {
        {"an empty text becomes a single space",
         {Name("W"), Text(5, "")},
         {Name("W"), Lyric(5, " ")}},
        {"a mark on the first text event adds no break anywhere",
         {Name("W"), Text(0, "/Hello"), Text(10, "you")},
         {Name("W"), Lyric(0, "Hello "), Lyric(10, "you ")}},
        {"existing lyrics are neither converted nor the previous lyric",
         {Name("W"), Text(0, "a"), Lyric(5, "x"), Text(10, "/b")},
         {Name("W"), Lyric(0, "a \r"), Lyric(5, "x"), Lyric(10, "b ")}},
        {"a slash alone is a space and a line end before it",
         {Name("W"), Text(0, "a"), Text(10, "/"), Text(20, "\\c")},
         {Name("W"), Lyric(0, "a \r"), Lyric(10, " \n\r"), Lyric(20, "c ")}},
        {"a mark after an information line adds its break after the CR",
         {Text(0, "@KMIDI"), Text(10, "/x")},
         {Lyric(0, "@KMIDI \r\r"), Lyric(10, "x ")}},
        {"other events pass through unchanged",
         {test::NoteOn(0, 60), Text(1, "a"), test::Meta(2, kMetaCopyright, "(c)"), EndOfTrack(9)},
         {test::NoteOn(0, 60), Lyric(1, "a "), test::Meta(2, kMetaCopyright, "(c)"),
          EndOfTrack(9)}},
        // The lyric at index 0 is a lyric like any other: it receives the
        // break of the mark that follows it.
        {"a text event at index 0 still receives the break of the next mark",
         {Text(0, "first"), Text(10, "/second"), Text(20, "\\third")},
         {Lyric(0, "first \r"), Lyric(10, "second \n\r"), Lyric(20, "third ")}},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.what);
        MidiFile replaced = WordsSong(c.before);
        KaraokeToLyrics(replaced, 1, 0, false);
        EXPECT_EQ(EventsOf(replaced, 1), c.replaced);

        // Keep mode: every event in its place, each text event followed by
        // the lyric that replace mode made of it.
        Events kept;
        for (size_t i = 0; i < c.before.size(); ++i) {
            kept.push_back(c.before[i]);
            const MidiEvent& e = c.before[i];
            if (e.Kind == kKindMeta && e.Channel == kMetaText) kept.push_back(c.replaced[i]);
        }
        MidiFile keep = WordsSong(c.before);
        KaraokeToLyrics(keep, 1, 0, true);
        EXPECT_EQ(EventsOf(keep, 1), kept);
    }
}

TEST(KaraokeToLyrics, TracksWithoutTextEvents) {
    const Events plain = {Name("Piano"), test::NoteOn(0, 60), EndOfTrack(10)};
    MidiFile song = WordsSong(plain);
    song.InstrumentName[1] = "Grand";
    MidiFile replaced = song;
    KaraokeToLyrics(replaced, 1, 0, false);
    EXPECT_EQ(EventsOf(replaced, 1), plain);
    EXPECT_EQ(replaced.TrackName[1], "Piano");

    MidiFile kept = song;
    KaraokeToLyrics(kept, 1, 0, true);
    EXPECT_EQ(EventsOf(kept, 1), plain);
    EXPECT_EQ(kept.EventCount[1], 3);
    EXPECT_EQ(kept.TrackName[1], "");
    EXPECT_EQ(kept.InstrumentName[1], "");

    // An empty spare slot: nothing in replace mode, count 0 in keep mode.
    MidiFile spare = song;
    KaraokeToLyrics(spare, 4, 0, false);
    EXPECT_EQ(spare.EventCount[4], 0);
    KaraokeToLyrics(spare, 4, 0, true);
    EXPECT_EQ(spare.EventCount[4], 0);
    EXPECT_TRUE(spare.Tracks[4].HasEvents());
}

TEST(KaraokeToLyrics, KeepModeThatDoesNotFitRaisesAndLeavesTheSong) {
    // Four events and three text events: seven events, room for six.
    MidiFile song =
        SongOf({{Name("W"), Text(0, "a"), Text(1, "b"), Text(2, "c")}}, 1, /*event_slots=*/5);
    const MidiFile before = song;
    test::ExpectError(ErrorKind::SubscriptOutOfRange, [&] { KaraokeToLyrics(song, 0, 0, true); });
    EXPECT_EQ(song.Tracks, before.Tracks);
    EXPECT_EQ(song.EventCount, before.EventCount);
    EXPECT_EQ(song.TrackName, before.TrackName);
}

TEST(KaraokeToLyrics, ABadTrackRaises) {
    MidiFile song = WordsSong(kExample);
    for (bool keep : {false, true}) {
        test::ExpectError(ErrorKind::SubscriptOutOfRange,
                          [&] { KaraokeToLyrics(song, 6, 0, keep); });
        test::ExpectError(ErrorKind::SubscriptOutOfRange,
                          [&] { KaraokeToLyrics(song, -1, 0, keep); });
    }
}

}  // namespace
}  // namespace verselane
