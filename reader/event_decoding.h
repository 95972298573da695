// Storing one decoded track event into the song, with the meta events that
// fill the song-wide fields (names, tempo, signatures, texts).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "codec/midi_codec.h"
#include "model/errors.h"
#include "model/song.h"
#include "model/song_facts.h"

namespace verselane {

// State of one read that the event step uses and keeps up to date.
struct ReadState {
    int16_t TrackIndex = 0;  // the track chunk being read
    int32_t AbsTime = 0;     // sum of the delta times so far in this track
    int16_t FoundFlags = 0;  // 1 tempo, 2 key signature, 4 time signature taken
};

// Adds a sysex, escape or meta event at `tick` to `track`, with its body,
// once the meta rules have filled the song-wide fields from it. Errors (a
// tempo of zero, a signature too short) are raised as RuntimeError, the
// event not added.
void StoreBodyEvent(Track& track, SongFacts& facts, ReadState& state, int32_t tick,
                    const DecodedEvent& decoded);

// Moves the track's running time on by an event's delta.
[[gnu::always_inline]] inline void AdvanceTime(ReadState& state, int32_t delta) {
    const int64_t time = int64_t{state.AbsTime} + delta;
    if (time > INT32_MAX) Raise(ErrorKind::Overflow, "a time beyond 2147483647 ticks");
    state.AbsTime = static_cast<int32_t>(time);
}

// Adds a decoded channel or system message (no body) to `track`, the track
// being read, at the track's running time. Small, so that the reader's loop
// takes it in without a call: nearly every event of a song comes this way.
[[gnu::always_inline]] inline void StoreMessage(Track& track, ReadState& state,
                                                const DecodedEvent& decoded) {
    AdvanceTime(state, decoded.Delta);
    const uint8_t status = decoded.Status;
    const uint64_t kind = status < 0xF0 ? (status >> 4) & 7 : uint64_t{7};  // 7: System
    // The record's first eight bytes (tick, kind, channel, data bytes) made
    // as one number: built field by field on the stack, they would be read
    // back as one and stall the store.
    const uint64_t head = uint64_t{static_cast<uint32_t>(state.AbsTime)} | kind << 32 |
                          uint64_t{status & 0x0Fu} << 40 | uint64_t{decoded.Data1} << 48 |
                          uint64_t{decoded.Data2} << 56;
    static_assert(offsetof(Event, Kind) == 4 && offsetof(Event, Data2) == 7 &&
                  std::endian::native == std::endian::little);
    Event e;
    std::memcpy(static_cast<void*>(&e), &head, sizeof head);
    track.Append(e);
}

// Adds one decoded event to `track`, the track being read, at the track's
// running time.
inline void StoreEvent(Track& track, SongFacts& facts, ReadState& state,
                       const DecodedEvent& decoded) {
    const uint8_t status = decoded.Status;
    if (status == 0xF0 || status == 0xF7 || status == 0xFF) {
        AdvanceTime(state, decoded.Delta);
        return StoreBodyEvent(track, facts, state, state.AbsTime, decoded);
    }
    StoreMessage(track, state, decoded);
}

// The first three bytes of `text` as a 24-bit big-endian number.
int32_t BytesToLong24(std::string_view text);

}  // namespace verselane
