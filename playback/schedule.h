// A song laid out for playing: every event that makes sound, in the order and
// at the second it is due, taken from the song once so that playing never
// touches the song again (the window may read or convert it meanwhile).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/midi_file.h"

namespace verselane {

struct TimedEvent {
    double Seconds = 0;
    uint8_t Status = 0;  // 0x80-0xEF a channel message, 0xF0 a system-exclusive message
    uint8_t Data1 = 0;
    uint8_t Data2 = 0;
    std::string SysEx;  // a system-exclusive message's bytes between F0 and F7
};

struct PlaybackSchedule {
    std::vector<TimedEvent> Events;  // ordered by time; at one time, by track and file order
    double Length = 0;               // the time of the song's last event of any kind
};

// Lays out every track of the song by its tempo map and division: note,
// controller, program, pressure, pitch-bend and system-exclusive events.
// Tracks of a format 2 song are independent patterns and play one after the
// other, each by its own tempo; the other formats play their tracks together.
PlaybackSchedule BuildSchedule(const MidiFile& Song);

// The index of the first event due at or after `Seconds`.
size_t FirstEventAt(const PlaybackSchedule& Schedule, double Seconds);

}  // namespace verselane
