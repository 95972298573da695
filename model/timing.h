// The clock of a song: ticks to seconds by the tempo map, and ticks to bars
// and beats by the time signatures. Playback, the command line, the desktop
// program and the aligner share it.
#pragma once

#include <cstdint>
#include <vector>

#include "model/song.h"

namespace verselane {

// Turns ticks into seconds by every Set Tempo event of the song and the
// division. Tempo events are taken from every track and ordered by tick
// (format 0 and 1 songs keep them in track 0, but stray ones elsewhere still
// count); a format 2 song uses those of the one track given. Before the first
// Set Tempo the tempo is 120 beats per minute (500000 microseconds a quarter
// note). A division of 0 gives 0 seconds everywhere; an SMPTE division
// (IsSmpteDivision) gives ticks / (frames per second x ticks per frame),
// whatever the tempo events say. Times are doubles: no tick overflows them.
class TempoMap {
  public:
    explicit TempoMap(const Song& song, int16_t track = 0);
    double Seconds(int32_t Tick) const;
    // The inverse of Seconds: the last tick (0 to INT32_MAX) whose time is at
    // or before `seconds`, exact at every tempo change: TickAt(Seconds(t)) is
    // t. Times before the start give 0; without a clock (division 0) every
    // tick lies at 0 seconds, so any time from 0 on gives INT32_MAX.
    int32_t TickAt(double seconds) const;

  private:
    struct Change {
        int32_t Tick;
        double Seconds;         // time of the change
        double SecondsPerTick;  // from the change on
    };
    std::vector<Change> changes_;
    double seconds_per_tick_ = 0;  // before the first change
};

// A place in the music: bar and beat counted from 1 as musicians count
// them, and the ticks past the start of the beat.
struct BarBeat {
    int32_t Bar = 1;
    int32_t Beat = 1;
    int32_t Ticks = 0;
    bool operator==(const BarBeat&) const = default;
};

// The meter of a bar: its beats and the ticks of one beat.
struct Meter {
    int32_t Beats = 4;
    int32_t BeatTicks = 0;
    bool operator==(const Meter&) const = default;
};

// Turns ticks into bars and beats and back by every Time Signature event of
// the song. Time signatures are taken like tempo events: from every track,
// ordered by tick (a format 2 song: those of the one track given), the last
// of several at one tick holding. Before the first the meter is 4/4. A beat
// is the note value of the signature's denominator (a quarter note of
// `division` ticks for 4, an eighth for 8). A change starts a new bar at its
// tick: one that falls inside a bar cuts that bar short. A signature with no
// beats, or whose beat is no whole number of ticks, is left out. Without a
// metrical division (0 or SMPTE) there are no beats: every tick lies in bar 1,
// beat 1.
class BarBeatMap {
  public:
    explicit BarBeatMap(const Song& song, int16_t track = 0);
    // The bar and beat of `Tick` (a negative tick counts as 0).
    BarBeat At(int32_t Tick) const;
    // The tick where beat `Beat` of bar `Bar` starts (bars before 1 count as
    // bar 1, beats past the bar's last go on into the next bars' time);
    // INT32_MAX when that lies beyond every tick.
    int32_t TickOf(int32_t Bar, int32_t Beat = 1) const;
    Meter MeterOf(int32_t Bar) const;

  private:
    struct Segment {
        int32_t Tick;      // where the meter starts
        int32_t FirstBar;  // the number of its first bar
        Meter Of;
    };
    std::vector<Segment> segments_;  // empty without a metrical division
};

}  // namespace verselane
