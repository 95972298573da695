// Whole-track editing: copying a slot within a song and between songs, and
// opening two slots behind a track.
#include <gtest/gtest.h>

#include "lyrics/track_editing.h"
#include "tests/support/lyrics_fixtures.h"

namespace verselane {
namespace {

using namespace test;

MidiFile FourTracks() {
    return SongOf(
        {{Name("Conductor"), EndOfTrack(0)},
         {Name("Piano"), Meta(0, kMetaInstrument, "Grand"), NoteOn(10, 60), EndOfTrack(20)},
         {Name("Bass"), NoteOn(5, 40), EndOfTrack(30)},
         {Name("Lyrics"), Lyric(40, "la"), EndOfTrack(40)}});
}

// The tracks up to `after` stay, the two behind it hold no events, the later
// ones move up by two with their names, the spares behind stay empty,
// and every slot but the new top one has an events array.
TEST(InsertTrackPair, OpensTwoEmptySlotsAndMovesEveryLaterTrackUpByTwo) {
    for (auto [tracks, after] : {std::pair{4, 0}, {4, 3}, {1, 0}, {4, 1}}) {
        SCOPED_TRACE(testing::Message() << tracks << " tracks, behind " << after);
        const MidiFile before =
            tracks == 1 ? SongOf({{Name("Only"), NoteOn(0, 60), EndOfTrack(9)}}, 0) : FourTracks();
        MidiFile song = before;
        InsertTrackPair(song, static_cast<int16_t>(after));
        EXPECT_EQ(song.Header.NumTracks, tracks + 2);
        EXPECT_EQ(song.TrackSlots, tracks + 4);
        for (size_t size : {song.Tracks.size(), song.EventCount.size(), song.TrackName.size(),
                            song.InstrumentName.size()})
            EXPECT_EQ(size, static_cast<size_t>(tracks + 5));
        for (int t = 0; t < song.TrackSlots; ++t) {
            const int from = t <= after ? t : t - 2;
            const bool empty = (t > after && t <= after + 2) || from >= tracks;
            EXPECT_EQ(EventsOf(song, t), empty ? std::vector<MidiEvent>{} : EventsOf(before, from));
            if (empty) continue;
            EXPECT_EQ(song.TrackName[t], before.TrackName[from]) << t;
            EXPECT_EQ(song.InstrumentName[t], before.InstrumentName[from]) << t;
        }
        for (int t = 0; t <= song.TrackSlots; ++t) EXPECT_TRUE(song.Tracks[t].HasEvents()) << t;
    }
}

TEST(InsertTrackPair, ABadPlaceOrAFullSongRaisesAndChangesNothing) {
    const MidiFile before = FourTracks();
    for (int16_t after : {-1, 7, 100}) {
        MidiFile song = before;
        ExpectError(ErrorKind::SubscriptOutOfRange, [&] { InsertTrackPair(song, after); });
        EXPECT_EQ(song.Header, before.Header) << after;
        EXPECT_EQ(song.TrackSlots, before.TrackSlots);
        EXPECT_EQ(song.Tracks, before.Tracks);
    }
    MidiFile full = before;
    full.Header.NumTracks = 32766;
    ExpectError(ErrorKind::Overflow, [&] { InsertTrackPair(full, 0); });
    EXPECT_EQ(full.Header.NumTracks, 32766);
    EXPECT_EQ(full.TrackSlots, before.TrackSlots);
}

TEST(CopyTrack, DeepCopyOfEventsCountNamesAndTheSourceBounds) {
    MidiFile song = FourTracks();
    CopyTrack(song, 1, song, 4);
    EXPECT_EQ(EventsOf(song, 4), EventsOf(song, 1));
    EXPECT_EQ(song.TrackName[4] + song.InstrumentName[4], "PianoGrand");
    song.Tracks[4].Event(2).Data1 = 99;  // later changes to one copy leave the other alone
    song.Tracks[4].Event(0).Data = std::string_view("changed");
    EXPECT_EQ(song.Tracks[1].Event(2).Data1, 60);
    EXPECT_EQ(song.Tracks[1].Event(0).Data.str(), "Piano");
    const MidiFile before = song;
    CopyTrack(song, 3, song, 3);  // onto itself
    EXPECT_EQ(song.Tracks, before.Tracks);
    EXPECT_EQ(song.EventCount, before.EventCount);
    EXPECT_EQ(song.TrackName, before.TrackName);

    MidiFile scratch;
    ResetMidiFile(scratch);
    ResizeTracks(scratch, 1, true);
    ResizeEvents(scratch, 7, true);
    scratch.Tracks[0].Event(0) = NoteOn(0, 50);
    scratch.EventCount[0] = 1;
    CopyTrack(scratch, 0, song, 2);
    EXPECT_EQ(song.Tracks[2].Upper(), 7);  // the scratch song's bounds, not the song's 200
    EXPECT_EQ(song.EventCount[2], 1);
    EXPECT_EQ(song.TrackName[2], "");
    CopyTrack(scratch, 1, song, 3);  // the scratch song's top slot has no events array
    EXPECT_FALSE(song.Tracks[3].HasEvents());
    EXPECT_EQ(song.EventCount[3], 0);
    ExpectError(ErrorKind::SubscriptOutOfRange, [&] { song.Tracks[3].Event(0); });
}

TEST(CopyTrack, BadIndicesRaiseBeforeAnythingChanges) {
    const MidiFile before = FourTracks();
    MidiFile song = before;
    for (auto [from, to] : {std::pair{9, 1}, {1, 9}, {-1, 1}})
        ExpectError(ErrorKind::SubscriptOutOfRange, [&] { CopyTrack(song, from, song, to); });
    EXPECT_EQ(song.Tracks, before.Tracks);
    EXPECT_EQ(song.EventCount, before.EventCount);
}

}  // namespace
}  // namespace verselane
