// One FluidSynth synthesizer with a SoundFont, and the step that hands it the
// events of a schedule as a sample counter passes their time. Used by the
// live player and by the WAV renderer alike, so both place every event the
// same way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "playback/schedule.h"

struct _fluid_hashtable_t;
struct _fluid_synth_t;

namespace verselane {

class Synth {
  public:
    // Settings given as name and value, on top of the defaults (for
    // instance the output file of the renderer).
    using Settings = std::vector<std::pair<std::string, std::string>>;

    // A synthesizer with the SoundFont at `sound_font` loaded, or nothing and
    // a message in `error`.
    static std::unique_ptr<Synth> Create(const std::string& sound_font, double sample_rate,
                                         const Settings& settings, std::string* error);
    ~Synth();
    Synth(const Synth&) = delete;
    Synth& operator=(const Synth&) = delete;

    _fluid_synth_t* Handle() const { return synth_; }
    _fluid_hashtable_t* SettingsHandle() const { return settings_; }
    double SampleRate() const { return rate_; }

    // One event of the schedule.
    void Send(const PlaybackSchedule& schedule, const TimedEvent& e);
    // Silences every voice and puts every channel back to its start state.
    void Reset();
    // The channel state at a time: every controller, program, pitch-bend and
    // system-exclusive event before event `upto`, no notes.
    void Chase(const PlaybackSchedule& schedule, size_t upto);
    void SetGain(double gain);
    int ActiveVoices() const;

  private:
    Synth() = default;
    _fluid_hashtable_t* settings_ = nullptr;
    _fluid_synth_t* synth_ = nullptr;
    double rate_ = 44100;
};

// Walks a schedule by a sample counter: Due() sends every event whose time
// has come at the counter's position.
struct ScheduleCursor {
    const PlaybackSchedule* Schedule = nullptr;
    size_t Next = 0;
    int64_t Sample = 0;
    double MaxLate = 0;  // the largest delay so far of an event against its time, in seconds

    void Due(Synth& synth) {
        const double now = static_cast<double>(Sample) / synth.SampleRate();
        while (Next < Schedule->Events.size() && Schedule->Events[Next].Seconds <= now) {
            const TimedEvent& e = Schedule->Events[Next++];
            if (now - e.Seconds > MaxLate) MaxLate = now - e.Seconds;
            synth.Send(*Schedule, e);
        }
    }
    bool Done() const { return Next >= Schedule->Events.size(); }
};

// FluidSynth's own messages are kept quiet; this is its last error, if any.
std::string LastSynthError();

}  // namespace verselane
