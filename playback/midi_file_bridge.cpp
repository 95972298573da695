// Bridges for callers that still hold a MidiFile; they go when the callers
// move onto Song.
#include "playback/schedule.h"

namespace verselane {

PlaybackSchedule BuildSchedule(const MidiFile& song, const std::atomic<bool>* cancel) {
    return BuildSchedule(ToSong(song), cancel);
}

double TrackStart(const MidiFile& song, int16_t track) {
    return TrackStart(ToSong(song), track);
}

}  // namespace verselane
