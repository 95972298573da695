// Whole-track editing: copying a slot within a song and between songs, and
// opening two slots behind a track.
#include <gtest/gtest.h>

#include "lyrics/track_editing.h"
#include "tests/lyrics_fixtures.h"
#include "tests/support/test_support.h"

namespace verselane {
namespace {

using test::EventsOf;
using test::Name;
using test::NoteOn;
using test::SongOf;

MidiFile FourTracks() {
    return SongOf({
        {Name("Conductor"), test::EndOfTrack(0)},
        {Name("Piano"), test::Meta(0, kMetaInstrument, "Grand"), NoteOn(10, 60),
         test::EndOfTrack(20)},
        {Name("Bass"), NoteOn(5, 40), test::EndOfTrack(30)},
        {Name("Lyrics"), test::Lyric(40, "la"), test::EndOfTrack(40)},
    });
}

TEST(InsertTrackPair, BehindTrackZeroMovesEveryLaterTrackUpByTwo) {
    const MidiFile before = FourTracks();
    MidiFile song = before;
    InsertTrackPair(song, 0);

    EXPECT_EQ(song.Header.NumTracks, 6);
    EXPECT_EQ(song.TrackSlots, 8);
    EXPECT_EQ(song.TrackSlots - song.Header.NumTracks, 2);
    EXPECT_EQ(song.Tracks.size(), 9u);
    EXPECT_EQ(song.EventCount.size(), 9u);
    EXPECT_EQ(song.TrackName.size(), 9u);
    EXPECT_EQ(song.InstrumentName.size(), 9u);
    EXPECT_EQ(EventsOf(song, 0), EventsOf(before, 0));
    for (int t = 1; t <= 3; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(EventsOf(song, t + 2), EventsOf(before, t));
        EXPECT_EQ(song.EventCount[t + 2], before.EventCount[t]);
        EXPECT_EQ(song.TrackName[t + 2], before.TrackName[t]);
        EXPECT_EQ(song.InstrumentName[t + 2], before.InstrumentName[t]);
    }
    EXPECT_EQ(song.EventCount[1], 0);
    EXPECT_EQ(song.EventCount[2], 0);
    // Every slot, the new top one included, has an events array again.
    for (int t = 0; t <= song.TrackSlots; ++t) EXPECT_TRUE(song.Tracks[t].HasEvents()) << t;
}

TEST(InsertTrackPair, EdgePositionsAndSizes) {
    struct Case {
        const char* what;
        int tracks;
        int16_t after;
    };
    for (const Case& c : {Case{"behind the last track", 4, 3}, Case{"one-track song", 1, 0},
                          Case{"behind the middle", 4, 1}}) {
        SCOPED_TRACE(c.what);
        MidiFile before = FourTracks();
        if (c.tracks == 1) before = SongOf({{Name("Only"), NoteOn(0, 60), test::EndOfTrack(9)}}, 0);
        MidiFile song = before;
        InsertTrackPair(song, c.after);
        EXPECT_EQ(song.Header.NumTracks, c.tracks + 2);
        for (int t = 0; t <= c.after; ++t) EXPECT_EQ(EventsOf(song, t), EventsOf(before, t));
        EXPECT_EQ(song.EventCount[c.after + 1], 0);
        EXPECT_EQ(song.EventCount[c.after + 2], 0);
        for (int t = c.after + 1; t < c.tracks; ++t) {
            EXPECT_EQ(EventsOf(song, t + 2), EventsOf(before, t));
            EXPECT_EQ(song.TrackName[t + 2], before.TrackName[t]);
        }
        // The spare slots behind the real tracks stay empty.
        EXPECT_EQ(song.EventCount[song.Header.NumTracks], 0);
        EXPECT_EQ(song.EventCount[song.Header.NumTracks + 1], 0);
    }
}

TEST(InsertTrackPair, ABadPlaceOrAFullSongRaisesAndChangesNothing) {
    const MidiFile before = FourTracks();
    for (int16_t after : {int16_t{-1}, int16_t{7}, int16_t{100}}) {
        SCOPED_TRACE(after);
        MidiFile song = before;
        test::ExpectError(ErrorKind::SubscriptOutOfRange, [&] { InsertTrackPair(song, after); });
        EXPECT_EQ(song.Header, before.Header);
        EXPECT_EQ(song.TrackSlots, before.TrackSlots);
        EXPECT_EQ(song.Tracks, before.Tracks);
    }
    MidiFile full = before;
    full.Header.NumTracks = 32766;
    test::ExpectError(ErrorKind::Overflow, [&] { InsertTrackPair(full, 0); });
    EXPECT_EQ(full.Header.NumTracks, 32766);
    EXPECT_EQ(full.TrackSlots, before.TrackSlots);
}

TEST(CopyTrack, DeepCopyOfEventsCountAndNames) {
    MidiFile song = FourTracks();
    CopyTrack(song, 1, song, 4);
    EXPECT_EQ(EventsOf(song, 4), EventsOf(song, 1));
    EXPECT_EQ(song.EventCount[4], song.EventCount[1]);
    EXPECT_EQ(song.TrackName[4], "Piano");
    EXPECT_EQ(song.InstrumentName[4], "Grand");
    // Later changes to one copy leave the other alone.
    song.Tracks[4].Event(2).Data1 = 99;
    song.Tracks[4].Event(0).Data = std::string_view("changed");
    EXPECT_EQ(song.Tracks[1].Event(2).Data1, 60);
    EXPECT_EQ(song.Tracks[1].Event(0).Data.str(), "Piano");

    const MidiFile before = song;
    CopyTrack(song, 3, song, 3);  // onto itself
    EXPECT_EQ(song.Tracks, before.Tracks);
    EXPECT_EQ(song.EventCount, before.EventCount);
    EXPECT_EQ(song.TrackName, before.TrackName);
}

TEST(CopyTrack, TakesTheSourceBoundsAndItsMissingArray) {
    MidiFile scratch;
    ResetMidiFile(scratch);
    ResizeTracks(scratch, 1, true);
    ResizeEvents(scratch, 7, true);
    scratch.Tracks[0].Event(0) = NoteOn(0, 50);
    scratch.EventCount[0] = 1;

    MidiFile song = FourTracks();
    CopyTrack(scratch, 0, song, 2);
    EXPECT_EQ(song.Tracks[2].Upper(), 7);  // the scratch song's bounds, not the song's 200
    EXPECT_EQ(song.EventCount[2], 1);
    EXPECT_EQ(song.TrackName[2], "");

    // Slot 1 of the scratch song is its top slot: it has no events array.
    CopyTrack(scratch, 1, song, 3);
    EXPECT_FALSE(song.Tracks[3].HasEvents());
    EXPECT_EQ(song.EventCount[3], 0);
    test::ExpectError(ErrorKind::SubscriptOutOfRange, [&] { song.Tracks[3].Event(0); });
}

TEST(CopyTrack, BadIndicesRaiseBeforeAnythingChanges) {
    const MidiFile before = FourTracks();
    MidiFile song = before;
    test::ExpectError(ErrorKind::SubscriptOutOfRange, [&] { CopyTrack(song, 9, song, 1); });
    test::ExpectError(ErrorKind::SubscriptOutOfRange, [&] { CopyTrack(song, 1, song, 9); });
    test::ExpectError(ErrorKind::SubscriptOutOfRange, [&] { CopyTrack(song, -1, song, 1); });
    EXPECT_EQ(song.Tracks, before.Tracks);
    EXPECT_EQ(song.EventCount, before.EventCount);
}

}  // namespace
}  // namespace verselane
