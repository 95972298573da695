// Whole-track editing: copying a track slot, opening two slots behind a
// track, putting new events in place of a track's.
#pragma once

#include <cstdint>
#include <vector>

#include "model/midi_file.h"

namespace verselane {

// Copies slot SourceTrack of SourceSong (its events array, deep, and its
// EventCount, InstrumentName and TrackName) onto slot TargetTrack of
// TargetSong. The two songs may be the same record.
void CopyTrack(const MidiFile& SourceSong, int16_t SourceTrack, MidiFile& TargetSong,
               int16_t TargetTrack);

// Grows the song by two track slots and moves every track behind AfterTrack
// up by two, top down; the opened slots AfterTrack + 1 and AfterTrack + 2 get
// an EventCount of 0. Header.NumTracks and TrackSlots both grow by 2.
void InsertTrackPair(MidiFile& Song, int16_t AfterTrack);

// Puts `Events` in place of every event of track `Track`, growing the song's
// event slots when they are too few.
void ReplaceTrackEvents(MidiFile& Song, int16_t Track, const std::vector<MidiEvent>& Events);

}  // namespace verselane
