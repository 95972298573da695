// Storing one decoded track event into the song, with the meta events that
// fill the song-wide fields (names, tempo, signatures, texts).
#pragma once

#include <cstdint>
#include <string_view>

#include "codec/midi_codec.h"
#include "model/errors.h"
#include "model/midi_file.h"

namespace verselane {

// State of one read that the event step uses and keeps up to date.
struct ReadState {
    int16_t TrackIndex = 0;  // the track chunk being read
    int32_t AbsTime = 0;     // sum of the delta times so far in this track
    int16_t FoundFlags = 0;  // 1 tempo, 2 key signature, 4 time signature taken
};

// Stores the body of a sysex, escape or meta event in `Slot` and applies the
// meta rules to the song. Errors (a tempo of zero, a signature too short)
// are raised as RuntimeError.
void StoreBodyEvent(MidiFile& Song, ReadState& State, MidiEvent& Slot, const DecodedEvent& Event);

// Stores one decoded event in `Slot`, a fresh slot of the current track, at
// the track's running time.
inline void StoreEvent(MidiFile& Song, ReadState& State, MidiEvent& Slot,
                       const DecodedEvent& Event) {
    const int64_t time = int64_t{State.AbsTime} + Event.Delta;
    if (time > INT32_MAX) Raise(ErrorKind::Overflow, "a time beyond 2147483647 ticks");
    Slot.Time = State.AbsTime = static_cast<int32_t>(time);
    const uint8_t status = Event.Status;
    if (status == 0xF0 || status == 0xF7 || status == 0xFF) {
        return StoreBodyEvent(Song, State, Slot, Event);
    }
    Slot.Kind = status < 0xF0 ? static_cast<uint8_t>((status >> 4) & 7) : kKindSystem;
    Slot.Channel = status & 0x0F;
    Slot.Data1 = Event.Data1;
    Slot.Data2 = Event.Data2;
}

// The first three bytes of `text` as a 24-bit big-endian number.
int32_t BytesToLong24(std::string_view text);

}  // namespace verselane
