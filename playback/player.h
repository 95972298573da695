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
// The audio callback never waits and never allocates: the controlling thread
// hands it every change (play, pause, seek, a new song, the volume) through a
// preallocated lock-free queue, and only the callback touches the
// synthesizer while the output is open; the callback publishes its position
// in atomics. RealTimeViolations() counts the callbacks that took a lock or
// allocated memory in our code anyway.
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

#include "playback/command_queue.h"
#include "playback/realtime_guard.h"
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
    // "null" is a sink of our own: a thread that takes the sound at the
    // pace of a device and drops it, for tests and machines without sound.
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
    // The song's length in its own seconds, whatever the speed.
    double Length() const;
    // Plays at `speed` times the song's pace (1, 0.75, 0.5 for tapping);
    // the song stays where it is and plays on if it was playing. The
    // song's events are sent at their time divided by `speed`, and every
    // position (Seek, Position, Length) stays in the song's own seconds, so
    // whatever follows the clock shows the song's time at any speed.
    void SetSpeed(double speed);
    double Speed() const { return speed_; }

    void Play();
    void Pause();
    void Stop();  // pauses and goes back to the start
    void Seek(double seconds);
    void SetVolume(double volume);  // 0 to 1
    // Whether the song is playing; false again once it has ended.
    bool Playing() const;
    // Where the song is, in the song's seconds, as heard.
    double Position() const;

    // Figures for the last Play: seconds from Play to the song's first
    // audible sample leaving the player (including the device's buffer), and
    // from Play to the clock starting; -1 while unknown.
    double PlayToSound() const;
    double PlayToStart() const;
    // The device's buffer, in seconds.
    double OutputLatency() const;

    // For measuring: each audio callback while playing, when it began
    // (steady clock, ns), the song's sample then and its frames. The audio
    // thread never grows the log: it records until the room reserved is
    // full. nullptr stops the recording.
    struct CallbackRecord {
        int64_t Ns;
        int64_t Sample;
        int Frames;
    };
    void RecordCallbacks(std::vector<CallbackRecord>* log);

    // Audio callbacks so far, and those among them that waited for a lock or
    // allocated memory in our code (which an audio thread must not do).
    int64_t Callbacks() const;
    int64_t RealTimeViolations() const;

  private:
    using Clock = std::chrono::steady_clock;

    // A change for the audio callback.
    struct Command {
        enum Kind : uint8_t { SetSchedule, Play, Pause, Stop, Seek, Volume };
        Kind What = Play;
        double Value = 0;  // seconds (Seek) or gain (Volume)
        const PlaybackSchedule* Schedule = nullptr;
        uint64_t Number = 0;  // in order of sending, from 1
    };

    // What the audio callback alone touches while the output is open; set
    // up by the opening thread before the output starts.
    struct AudioSide {
        Synth* synth = nullptr;
        const PlaybackSchedule* schedule = nullptr;
        size_t next = 0;  // the schedule's next event
        bool playing = false;
        bool was_playing = false;  // notes must be silenced on pause
    };

    class NullSink;

    static int AudioCallback(void* data, int len, int nfx, float* fx[], int nout, float* out[]);
    void Render(int len, int nfx, float* fx[], int nout, float* out[]);
    void Apply(const Command& command);  // audio thread
    void MoveAudioTo(double seconds);    // audio thread, or before the output starts
    void OpenInBackground(std::string sound_font, std::string audio_driver);
    void StaySilent(const std::string& sound_font);
    void TakeSynth(std::unique_ptr<Synth> synth, bool null_sink);
    _fluid_audio_driver_t* StartAudioDriver(const std::string& audio_driver, std::string& failures);
    void CloseAudio();
    // The position and the length in seconds as played: the song's seconds
    // divided by the speed.
    double PlayedPosition() const;
    double PlayedLength() const;
    double ClockPosition() const;  // silent mode
    void MoveTo(double seconds);   // with mutex_ held
    void Send(Command command);    // with mutex_ held: to the callback, when it runs
    void ReleaseRetired();         // with mutex_ held

    const bool open_audio_;
    std::thread opener_;
    // The state below, between the controlling and the opening thread; the
    // audio callback never takes it.
    mutable RealTimeCheckedMutex mutex_;
    std::unique_ptr<Synth> synth_;
    _fluid_audio_driver_t* driver_ = nullptr;
    std::unique_ptr<NullSink> null_sink_;
    std::shared_ptr<const PlaybackSchedule> song_schedule_;  // as given
    std::shared_ptr<const PlaybackSchedule> schedule_;       // as played, at speed_
    double speed_ = 1;  // set and read by the controlling thread alone
    // Songs replaced while the callback may still play them: each with the
    // number of the command that replaced it.
    std::vector<std::pair<uint64_t, std::shared_ptr<const PlaybackSchedule>>> retired_;
    Output state_ = Output::Silent;
    Problem trouble_ = Problem::None;
    std::string detail_;
    double latency_ = 0;
    double volume_ = 0.5;
    uint64_t sent_ = 0;       // the number of the last command sent
    uint64_t seek_sent_ = 0;  // the number of the last command that moved the song

    SpscQueue<Command, 256> commands_;
    AudioSide audio_;

    std::atomic<bool> playing_{false};
    std::atomic<bool> at_end_{false};   // the callback played the song to its end
    std::atomic<bool> sound_{false};    // the audio callback drives the clock
    std::atomic<uint64_t> applied_{0};  // the number of the last command applied
    std::atomic<int64_t> sample_{0};    // the song's sample counter
    std::atomic<int64_t> callback_ns_{0};
    std::atomic<int> chunk_{0};                // frames of the last callback
    std::atomic<int64_t> callback_sample_{0};  // the song's sample when it began
    std::atomic<double> anchor_{0};            // where the last seek or start put the song
    std::atomic<std::vector<CallbackRecord>*> log_{nullptr};
    std::atomic<int64_t> callbacks_{0};
    std::atomic<int64_t> violations_{0};
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
