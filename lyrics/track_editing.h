// Whole-track editing on the slot arrays of a MidiFile. A Song replaces a
// track by moving a new Track in, and opens one with Song::InsertTrack.
#pragma once

#include <cstdint>
#include <vector>

#include "model/midi_file.h"

namespace verselane {

// Bridges for callers that still hold a MidiFile; they go when the callers move onto Song.
// Puts `Events` in place of every event of track `Track`, growing the song's
// event slots when they are too few.
void ReplaceTrackEvents(MidiFile& Song, int16_t Track, const std::vector<MidiEvent>& Events);

}  // namespace verselane
