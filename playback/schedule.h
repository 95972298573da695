// A song laid out for playing: every event that makes sound, in the order and
// at the second it is due, taken from the song once so that playing never
// touches the song again (the window may read or convert it meanwhile).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "model/song.h"

namespace verselane {

struct TimedEvent {
    double Seconds = 0;
    uint8_t Status = 0;  // 0x80-0xEF a channel message, 0xF0 a system-exclusive message
    uint8_t Data1 = 0;
    uint8_t Data2 = 0;
    uint32_t SysEx = 0;  // a system-exclusive message: its index in PlaybackSchedule::SysEx
};

struct PlaybackSchedule {
    std::vector<TimedEvent> Events;  // ordered by time; at one time, by track and file order
    std::vector<std::string> SysEx;  // system-exclusive bytes between F0 and F7
    double Length = 0;               // the time of the song's last event of any kind
    // The indices in Events, in order, of the events that set a channel's
    // state (controllers, programs, pitch bends, system-exclusive messages):
    // all that a seek has to send again, without walking every note before it.
    std::vector<size_t> StateEvents;
};

// Lays out every track of the song by its tempo map and division: note,
// controller, program, pressure, pitch-bend and system-exclusive events.
// Tracks of a format 2 song are independent patterns and play one after the
// other, each by its own tempo; the other formats play their tracks together.
// When `cancel` becomes true the work stops and the schedule is empty, so a
// schedule being built on another thread never holds up a change of the song.
PlaybackSchedule BuildSchedule(const Song& song, const std::atomic<bool>* cancel = nullptr);

// Where a track begins to play, in seconds: 0, but in a format 2 song the end
// of the track before it (as BuildSchedule lays the tracks out).
double TrackStart(const Song& song, int16_t track);

// The schedule played at `Speed` times the song's pace (0.5: half speed):
// every event, and the length, at its time divided by `Speed`.
PlaybackSchedule AtSpeed(const PlaybackSchedule& Schedule, double Speed);

// The index of the first event due at or after `Seconds`.
size_t FirstEventAt(const PlaybackSchedule& Schedule, double Seconds);

}  // namespace verselane
