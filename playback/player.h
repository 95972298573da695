// Plays a schedule live through the computer's audio output, and keeps the
// song's clock for everything that follows the playing (the karaoke view).
//
// The clock is the synthesizer's own sample counter: the audio callback sends
// each event as the counter passes its time and counts the samples it hands
// to the audio device, and Position() is that count less what still waits in
// the device's buffers. So what is shown and what is heard come from one
// clock. Without an audio device (or before it is open, or without a
// SoundFont) the clock runs on the system's steady clock instead and the
// song plays in silence.
//
// The synthesizer and the audio output are opened on a thread of their own,
// so loading a large SoundFont never holds up the caller. Every method is
// meant for one controlling thread (the user interface); the audio callback
// runs on FluidSynth's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "playback/schedule.h"

struct _fluid_audio_driver_t;

namespace verselane {

class Synth;

class Player {
  public:
    enum class Output {
        Opening,  // the synthesizer is being opened
        Sound,    // playing through the audio device
        Silent,   // no audio device or no SoundFont: the clock alone
    };

    // `open_audio` false keeps the player silent (tests, the terminal).
    explicit Player(bool open_audio = true);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Opens (again) the synthesizer with this SoundFont (empty: the installed
    // one) and the audio output, in the background; playing goes on by the
    // clock meanwhile. `audio_driver` names FluidSynth's audio system to use
    // ("alsa", "pulseaudio", "sdl2", ...); empty tries the usual ones in turn.
    void Open(const std::string& sound_font, const std::string& audio_driver = {});
    Output State() const;
    // Why the output is silent.
    enum class Problem {
        None,
        NoSoundFont,   // none given and none installed
        BadSoundFont,  // the file is missing or not a SoundFont
        NoAudio,       // no audio device could be opened
    };
    Problem Trouble() const;
    // The SoundFont or audio system's own words about the problem.
    std::string Detail() const;

    // A new song: stops and goes back to its start.
    void SetSchedule(std::shared_ptr<const PlaybackSchedule> schedule);
    double Length() const;

    void Play();
    void Pause();
    void Stop();  // pauses and goes back to the start
    void Seek(double seconds);
    void SetVolume(double volume);  // 0 to 1
    // Whether the song is playing; false again once it has ended.
    bool Playing() const;
    // Where the song is, in seconds, as heard.
    double Position() const;

    // Figures for the last Play: seconds from Play to the song's first
    // audible sample leaving the player (including the device's buffer), and
    // from Play to the clock starting; -1 while unknown.
    double PlayToSound() const;
    double PlayToStart() const;
    // The device's buffer, in seconds.
    double OutputLatency() const;

    // For measuring: each audio callback while playing, when it began
    // (steady clock, ns), the song's sample then and its frames. The log
    // should have room reserved; nullptr stops the recording.
    struct CallbackRecord {
        int64_t Ns;
        int64_t Sample;
        int Frames;
    };
    void RecordCallbacks(std::vector<CallbackRecord>* log);

  private:
    using Clock = std::chrono::steady_clock;
    static int AudioCallback(void* data, int len, int nfx, float* fx[], int nout, float* out[]);
    void Render(int len, int nfx, float* fx[], int nout, float* out[]);
    void OpenInBackground(std::string sound_font, std::string audio_driver);
    void CloseAudio();
    double ClockPosition() const;  // silent mode
    void MoveTo(double seconds);   // with mutex_ held

    const bool open_audio_;
    std::thread opener_;
    mutable std::mutex mutex_;  // the synth, the schedule, the cursor and the state below
    std::unique_ptr<Synth> synth_;
    _fluid_audio_driver_t* driver_ = nullptr;
    std::shared_ptr<const PlaybackSchedule> schedule_;
    size_t next_ = 0;
    Output state_ = Output::Silent;
    Problem trouble_ = Problem::None;
    std::string detail_;
    double latency_ = 0;
    double volume_ = 0.5;
    bool was_playing_ = false;  // audio thread: notes must be silenced on pause
    std::vector<CallbackRecord>* log_ = nullptr;

    std::atomic<bool> playing_{false};
    std::atomic<bool> sound_{false};  // the audio callback drives the clock
    std::atomic<int64_t> sample_{0};  // the song's sample counter
    std::atomic<int64_t> callback_ns_{0};
    std::atomic<int> chunk_{0};                // frames of the last callback
    std::atomic<int64_t> callback_sample_{0};  // the song's sample when it began
    std::atomic<double> anchor_{0};            // where the last seek or start put the song
    double rate_ = 44100;
    // Silent clock: the position at `started_`.
    double base_ = 0;
    Clock::time_point started_;
    // Figures.
    std::atomic<int64_t> play_ns_{0};
    std::atomic<int64_t> start_ns_{-1};
    std::atomic<int64_t> sound_ns_{-1};
};

}  // namespace verselane
