// Decoding one track event into the song, with running status and the meta
// events that fill the song-wide fields (names, tempo, signatures, texts).
#pragma once

#include <cstdint>
#include <string_view>

#include "model/midi_file.h"
#include "reader/number_reading.h"

namespace verselane {

// State of one read that the event step uses and keeps up to date.
struct ReadState {
    int16_t TrackIndex = 0;  // the track chunk being read
    int32_t AbsTime = 0;     // sum of the delta times so far in this track
    uint8_t RunKind = 0;     // kind of the last message with its own status byte
    uint8_t RunChannel = 0;  // its channel; kept across chunks
    int16_t FoundFlags = 0;  // 1 tempo, 2 key signature, 4 time signature taken
};

enum class EventStep {
    Stored,   // one whole event was stored at index EventCount(TrackIndex)
    CutShort  // the file ended inside the event: nothing of it was kept
};

// Reads one event at the current position and stores it in the next slot of
// the current track (EventCount is left to the caller), applying the meta
// rules to the song. Errors (overflow, division by zero, a full track, ...)
// are raised as RuntimeError.
EventStep ReadEvent(MidiFile& Song, ByteSource& FileNum, ReadState& State);

// The first three bytes of `text` as a 24-bit big-endian number.
int32_t BytesToLong24(std::string_view text);

// How many bytes of a channel message's data follow its status: by kind.
int DataBytesOfKind(uint8_t kind);

}  // namespace verselane
