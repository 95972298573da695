// Whole tracks: which one holds the words (name guesses, material counts, the
// choice of a conversion's source), copying a slot, opening two slots.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "lyrics/track_choice.h"
#include "lyrics/track_editing.h"
#include "tests/support/lyrics_fixtures.h"

namespace verselane {
namespace {

using namespace test;
using Tracks = std::vector<std::vector<MidiEvent>>;

// Names are searched case-sensitively in the real tracks only, track 0
// included; one name may feed several guesses and the last match wins. The
// choice is the first guess (lyrics, words, vocal) holding material for the
// direction, else the track with the most (the lowest on a tie), else -1.
TEST(TrackChoice, NameGuessesAndTheSourceOfEachDirection) {
    // The guesses lyrics, words, vocal, Source(), then the choices to karaoke and to lyrics.
    const std::pair<Tracks, std::vector<int>> cases[] = {
        {{{Name("")},
          {Name("Piano")},
          {Name("Vocal"), Lyric(0, "a")},
          {Name("Lyrics"), Text(0, "b")}},
         {3, -1, 2, 3, 2, 3}},
        {{{Name("")},
          {Name("Melody"), Lyric(0, "a"), Lyric(1, "b")},
          {Name("Words"), Lyric(0, "c")}},
         {-1, 2, -1, 2, 2, -1}},
        {{{Name(""), Text(0, "@KMIDI KARAOKE FILE")},
          {Name("Voice"), Lyric(0, "x")},
          {Name("Melody"), Text(0, "a"), Text(1, "b")}},
         {-1, -1, 1, 1, 1, 2}},
        {{{Name("")}, {Name("Piano"), Lyric(0, "a")}, {Name("Bass"), Lyric(0, "b")}},
         {-1, -1, -1, -1, 1, -1}},
        {{{Name("Lyrics"), Lyric(0, "a"), Text(0, "b")}}, {0, -1, -1, 0, 0, 0}},
        {{{Name("LYRICS")}, {Name("Vocals")}, {Name("Chords")}}, {-1, 2, 1, 2, -1, -1}},
        {{{Name("")}, {Name("Lyrics")}, {Name("Lyrics 2"), Text(0, "\\Ma")}},
         {2, -1, -1, 2, -1, 2}},
        {{{Name("")},
          {Name("Soft Karaoke"), Text(0, "@KMIDI KARAOKE FILE")},
          {Name("Words"), Text(0, "@LENGL"), Text(1, "\\Ma")}},
         {-1, 2, -1, 2, -1, 2}},
        {{{Name("Vocal"), Lyric(0, "a"), Lyric(0, "a")},
          {Name("Words"), Lyric(0, "b")},
          {Name("Lyrics"), Text(0, "c")}},
         {2, 1, 0, 2, 1, 2}},
    };
    for (const auto& [tracks, expected] : cases) {
        MidiFile song = SongOf(tracks);
        song.TrackName[tracks.size()] = "Lyrics";  // a spare slot behind the real tracks
        const TrackNameGuesses g = GuessWordsTracks(song);
        EXPECT_EQ(std::vector<int>({g.Lyrics, g.Words, g.Vocal, g.Source(),
                                    ChooseSourceTrack(song, ConversionDirection::LyricsToKaraoke),
                                    ChooseSourceTrack(song, ConversionDirection::KaraokeToLyrics)}),
                  expected)
            << testing::PrintToString(song.TrackName);
        EXPECT_EQ(RealTrackCount(song), static_cast<int16_t>(tracks.size()));
    }
}

TEST(TrackChoice, MaterialCountsMetaEventsOfTheirTypeUpToTheCount) {
    MidiFile song = SongOf({{Name("x"), Lyric(0, "a"), Lyric(1, "b"), Text(2, "t"),
                             MidiEvent{3, 1, 5, 60, 100, {}}}});  // a note on channel 5
    const TrackMaterial m = MaterialOf(song, 0);
    EXPECT_EQ(std::pair(m.LyricEvents, m.TextEvents), std::pair(2, 1));
    EXPECT_TRUE(HoldsMaterial(m, ConversionDirection::LyricsToKaraoke));
    EXPECT_FALSE(HoldsMaterial(TrackMaterial{0, 4}, ConversionDirection::LyricsToKaraoke));
    EXPECT_TRUE(HoldsMaterial(TrackMaterial{0, 4}, ConversionDirection::KaraokeToLyrics));
    song.EventCount[0] = 2;  // events beyond the count are not there
    EXPECT_EQ(MaterialOf(song, 0).LyricEvents, 1);
    EXPECT_EQ(MaterialOfTracks(song).size(), 1u);
    song.Header.NumTracks = 30;  // a header that promises more chunks than there are
    EXPECT_EQ(RealTrackCount(song), song.TrackSlots);
}

MidiFile FourTracks() {
    return SongOf(
        {{Name("Conductor"), EndOfTrack(0)},
         {Name("Piano"), Meta(0, kMetaInstrument, "Grand"), NoteOn(10, 60), EndOfTrack(20)},
         {Name("Bass"), NoteOn(5, 40), EndOfTrack(30)},
         {Name("Lyrics"), Lyric(40, "la"), EndOfTrack(40)}});
}

// The tracks up to `after` stay, the two behind it hold no events, the later
// ones move up by two with their names, the spares behind stay empty, and
// every slot has an events array. A bad place or a full song raises and
// changes nothing.
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
        for (int t = 0; t <= song.TrackSlots; ++t) {
            const int from = t <= after ? t : t - 2;
            const bool empty = (t > after && t <= after + 2) || from >= tracks;
            EXPECT_EQ(EventsOf(song, t), empty ? std::vector<MidiEvent>{} : EventsOf(before, from));
            EXPECT_TRUE(empty || song.TrackName[t] + song.InstrumentName[t] ==
                                     before.TrackName[from] + before.InstrumentName[from]);
            EXPECT_TRUE(song.Tracks[t].HasEvents()) << t;
        }
    }
    using enum ErrorKind;
    for (auto [after, num_tracks, error] : {std::tuple{-1, 4, SubscriptOutOfRange},
                                            {7, 4, SubscriptOutOfRange},
                                            {100, 4, SubscriptOutOfRange},
                                            {0, 32766, Overflow}}) {
        MidiFile song = FourTracks();
        song.Header.NumTracks = static_cast<int16_t>(num_tracks);
        ExpectError(error, [&] { InsertTrackPair(song, static_cast<int16_t>(after)); });
        EXPECT_EQ(song.Header.NumTracks, num_tracks);
        EXPECT_EQ(song.Tracks, FourTracks().Tracks);
    }
}

// A deep copy of the events, the count and the names; onto itself nothing
// changes; from another song with its bounds, or its slot without events; a
// bad index on either side raises before anything changes.
TEST(CopyTrack, DeepCopyOfEventsCountAndNames) {
    MidiFile song = FourTracks();
    CopyTrack(song, 1, song, 4);
    EXPECT_EQ(EventsOf(song, 4), EventsOf(song, 1));
    EXPECT_EQ(song.TrackName[4] + song.InstrumentName[4], "PianoGrand");
    song.Tracks[4].Event(0).Data = std::string_view("changed");
    EXPECT_EQ(song.Tracks[1].Event(0).Data.str(), "Piano");
    const MidiFile before = song;
    CopyTrack(song, 3, song, 3);
    for (auto [from, to] : {std::pair{9, 1}, {1, 9}, {-1, 1}})
        ExpectError(ErrorKind::SubscriptOutOfRange, [&] { CopyTrack(song, from, song, to); });
    EXPECT_EQ(song.Tracks, before.Tracks);
    EXPECT_EQ(song.EventCount, before.EventCount);
    EXPECT_EQ(song.TrackName, before.TrackName);

    MidiFile scratch = SongOf({{NoteOn(0, 50)}}, 1, 7);
    CopyTrack(scratch, 0, song, 2);
    EXPECT_EQ(song.Tracks[2].Upper(), 7);  // the scratch song's bounds, not the song's 200
    EXPECT_EQ(EventsOf(song, 2), EventsOf(scratch, 0));
    EXPECT_EQ(song.TrackName[2], "");
    CopyTrack(scratch, 3, song, 3);  // the scratch song's top slot has no events array
    EXPECT_FALSE(song.Tracks[3].HasEvents());
    EXPECT_EQ(song.EventCount[3], 0);
}

}  // namespace
}  // namespace verselane
