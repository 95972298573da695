#include "lyrics/track_editing.h"

#include <string>
#include <utility>

#include "model/errors.h"

namespace verselane {

void CopyTrack(const MidiFile& SourceSong, int16_t SourceTrack, MidiFile& TargetSong,
               int16_t TargetTrack) {
    // Everything of the source slot is taken before the target is touched, so
    // a copy of a slot onto itself leaves it as it was, and a bad index on
    // either side raises before anything has changed.
    MidiTrack events = SourceSong.Track(SourceTrack);
    const int32_t count = SourceSong.Count(SourceTrack);
    std::string instrument = SourceSong.InstrumentName[SourceTrack];
    std::string name = SourceSong.TrackName[SourceTrack];

    TargetSong.Track(TargetTrack);  // checks the target slot
    TargetSong.Tracks[TargetTrack] = std::move(events);
    TargetSong.EventCount[TargetTrack] = count;
    TargetSong.InstrumentName[TargetTrack] = std::move(instrument);
    TargetSong.TrackName[TargetTrack] = std::move(name);
}

void InsertTrackPair(MidiFile& Song, int16_t AfterTrack) {
    const int16_t top = Song.TrackSlots;
    // Both new sizes and the place of the opened slots are checked first, so
    // a call that cannot succeed leaves the song as it was.
    const int16_t num_tracks = AddInteger(Song.Header.NumTracks, 2);
    const int16_t new_top = AddInteger(top, 2);
    if (AfterTrack < 0 || AfterTrack > top) Raise(ErrorKind::SubscriptOutOfRange);

    Song.Header.NumTracks = num_tracks;
    ResizeTracks(Song, new_top, false);
    // From the top down, so that no slot is overwritten before it has moved.
    // A slot whose old contents are overwritten later in the loop is moved
    // rather than copied: nobody sees the difference, and a big song does
    // not get its events copied one by one. Only the two opened slots keep
    // copies of what they held, as CopyTrack leaves them.
    for (int32_t i = top; i >= AfterTrack + 1; --i) {
        const int32_t to = i + 2;
        if (i >= AfterTrack + 3) {
            Song.Tracks[to] = std::move(Song.Tracks[i]);
            Song.EventCount[to] = Song.EventCount[i];
            Song.InstrumentName[to] = std::move(Song.InstrumentName[i]);
            Song.TrackName[to] = std::move(Song.TrackName[i]);
        } else {
            CopyTrack(Song, static_cast<int16_t>(i), Song, static_cast<int16_t>(to));
        }
    }
    Song.Count(AfterTrack + 1) = 0;
    Song.Count(AfterTrack + 2) = 0;
}

void ReplaceTrackEvents(MidiFile& Song, int16_t Track, const std::vector<MidiEvent>& Events) {
    const int32_t n = static_cast<int32_t>(Events.size());
    if (n - 1 > Song.EventSlots) ResizeEvents(Song, n - 1, false);
    Song.Track(Track).ResizeToLastIndex(Song.EventSlots, true);
    for (int32_t i = 0; i < n; ++i) Song.Track(Track).Event(i) = Events[static_cast<size_t>(i)];
    Song.Count(Track) = n;
}

}  // namespace verselane
