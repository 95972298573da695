#include "playback/player.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "playback/fluidsynth_library.h"
#include "playback/sound_font.h"
#include "playback/synth.h"

namespace verselane {

namespace {

constexpr int kStep = 64;      // frames between two looks at the schedule
constexpr double kGain = 0.4;  // FluidSynth's gain at full volume
constexpr float kAudible = 1e-4f;
constexpr int kNullPeriod = 256;  // frames the null sink takes at a time

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

// An audio output of our own that plays nothing: a thread that calls the
// callback for a period's worth of frames each period, as a device would,
// and drops what it renders.
class Player::NullSink {
  public:
    explicit NullSink(Player* player) : thread_([this, player] { Run(player); }) {}
    ~NullSink() {
        running_ = false;
        thread_.join();
    }
    NullSink(const NullSink&) = delete;
    NullSink& operator=(const NullSink&) = delete;

  private:
    void Run(Player* player) {
        std::vector<float> left(kNullPeriod), right(kNullPeriod);
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(kNullPeriod / player->rate_));
        auto due = Clock::now();
        while (running_) {
            std::fill(left.begin(), left.end(), 0.0f);
            std::fill(right.begin(), right.end(), 0.0f);
            float* out[2] = {left.data(), right.data()};
            AudioCallback(player, kNullPeriod, 0, nullptr, 2, out);
            due += period;
            std::this_thread::sleep_until(due);
        }
    }

    std::atomic<bool> running_{true};
    std::thread thread_;
};

Player::Player(bool open_audio) : open_audio_(open_audio), started_(Clock::now()) {}

Player::~Player() {
    if (opener_.joinable()) opener_.join();
    CloseAudio();
}

void Player::Open(const std::string& sound_font, const std::string& audio_driver) {
    if (opener_.joinable()) opener_.join();
    CloseAudio();
    {
        std::lock_guard lock(mutex_);
        state_ = Output::Opening;
        trouble_ = Problem::None;
        detail_.clear();
    }
    opener_ = std::thread(
        [this, sound_font, audio_driver] { OpenInBackground(sound_font, audio_driver); });
}

void Player::OpenInBackground(std::string sound_font, std::string audio_driver) {
    if (sound_font.empty()) sound_font = DefaultSoundFont();
    if (!open_audio_) {
        StaySilent(sound_font);
        return;
    }
    std::string error;
    std::unique_ptr<Synth> synth;
    // One thread at a time touches the synthesizer (this one until the output
    // starts, then the audio callback alone), so FluidSynth needs no lock of
    // its own around its calls either.
    if (!sound_font.empty())
        synth = Synth::Create(
            sound_font, rate_,
            {{"audio.period-size", "256"}, {"audio.periods", "4"}, {"synth.threadsafe-api", "0"}},
            &error);
    if (!synth) {
        std::lock_guard lock(mutex_);
        state_ = Output::Silent;
        trouble_ = sound_font.empty() ? Problem::NoSoundFont : Problem::BadSoundFont;
        detail_ = sound_font.empty() ? MissingSoundFontMessage() : error;
        return;
    }
    const bool null_sink = audio_driver == "null";
    TakeSynth(std::move(synth), null_sink);
    if (null_sink) {
        std::lock_guard lock(mutex_);
        null_sink_ = std::make_unique<NullSink>(this);
        state_ = Output::Sound;
        return;
    }
    std::string failures;
    fluid_audio_driver_t* driver = StartAudioDriver(audio_driver, failures);
    std::lock_guard lock(mutex_);
    if (driver == nullptr) {
        // Back to the system's clock, where the song is now.
        base_ = ClockPosition();
        started_ = Clock::now();
        sound_ = false;
        for (Command dropped; commands_.Pop(dropped);) {
        }
        retired_.clear();
        state_ = Output::Silent;
        trouble_ = Problem::NoAudio;
        detail_ = failures;
        return;
    }
    driver_ = driver;
    state_ = Output::Sound;
}

// Silent on purpose: no synthesizer, but a SoundFont that could not be
// played is still told.
void Player::StaySilent(const std::string& sound_font) {
    std::lock_guard lock(mutex_);
    state_ = Output::Silent;
    if (sound_font.empty()) {
        trouble_ = Problem::NoSoundFont;
        detail_ = MissingSoundFontMessage();
    } else if (FluidSynthLoaded() && !fluid_is_soundfont(sound_font.c_str())) {
        trouble_ = Problem::BadSoundFont;
        detail_ = sound_font + " is not a SoundFont (.sf2) file.";
    }
}

// The callback's side starts where the song is now; from here on every
// change goes to it as a command, applied once it runs.
void Player::TakeSynth(std::unique_ptr<Synth> synth, bool null_sink) {
    int period = 64, periods = 16;
    fluid_settings_getint(synth->SettingsHandle(), "audio.period-size", &period);
    fluid_settings_getint(synth->SettingsHandle(), "audio.periods", &periods);
    std::lock_guard lock(mutex_);
    synth->SetGain(kGain * volume_);
    synth_ = std::move(synth);
    latency_ = null_sink ? kNullPeriod / rate_ : period * static_cast<double>(periods) / rate_;
    audio_ = AudioSide{};
    audio_.synth = synth_.get();
    audio_.schedule = schedule_.get();
    audio_.playing = playing_;
    const double at = ClockPosition();
    anchor_ = at;
    MoveAudioTo(at);
    applied_ = sent_;
    seek_sent_ = 0;
    at_end_ = false;
    sound_ = true;
}

// The audio systems are tried in turn: the one asked for, or FluidSynth's
// default first and then the others a desktop may have. Null when none
// opens; `failures` then says why for each.
fluid_audio_driver_t* Player::StartAudioDriver(const std::string& audio_driver,
                                               std::string& failures) {
    std::vector<std::string> tried;
    char* preset = nullptr;
    if (fluid_settings_dupstr(synth_->SettingsHandle(), "audio.driver", &preset) == FLUID_OK &&
        preset) {
        tried.push_back(audio_driver.empty() ? preset : audio_driver);
        fluid_free(preset);
    }
    if (audio_driver.empty()) {
        for (const char* name : {"pulseaudio", "pipewire", "alsa", "sdl2", "oss"}) {
            if (std::find(tried.begin(), tried.end(), name) == tried.end()) tried.push_back(name);
        }
    }
    for (const std::string& name : tried) {
        if (fluid_settings_setstr(synth_->SettingsHandle(), "audio.driver", name.c_str()) !=
            FLUID_OK) {
            continue;  // not built into this FluidSynth
        }
        fluid_audio_driver_t* driver =
            new_fluid_audio_driver2(synth_->SettingsHandle(), &Player::AudioCallback, this);
        if (driver) return driver;
        failures += (failures.empty() ? "" : "; ") + name + ": " + LastSynthError();
    }
    return nullptr;
}

void Player::CloseAudio() {
    _fluid_audio_driver_t* driver = nullptr;
    std::unique_ptr<NullSink> null_sink;
    {
        std::lock_guard lock(mutex_);
        driver = driver_;
        driver_ = nullptr;
        null_sink = std::move(null_sink_);
    }
    // Stopping the output waits for its last callback to end.
    if (driver) delete_fluid_audio_driver(driver);
    null_sink.reset();
    std::lock_guard lock(mutex_);
    if (sound_) {
        // The callback is gone: this thread may empty its queue. The song
        // goes on by the system's clock from where it was heard.
        const bool moved = applied_ < seek_sent_;
        base_ =
            std::min(moved ? anchor_.load() : static_cast<double>(sample_) / rate_, PlayedLength());
        started_ = Clock::now();
        sound_ = false;
        for (Command dropped; commands_.Pop(dropped);) {
        }
    }
    retired_.clear();
    synth_.reset();
    audio_ = AudioSide{};
    state_ = Output::Silent;
}

Player::Output Player::State() const {
    std::lock_guard lock(mutex_);
    return state_;
}

Player::Problem Player::Trouble() const {
    std::lock_guard lock(mutex_);
    return trouble_;
}

std::string Player::Detail() const {
    std::lock_guard lock(mutex_);
    return detail_;
}

void Player::Send(Command command) {
    ReleaseRetired();
    if (!sound_) return;
    command.Number = ++sent_;
    // The queue holds far more than a person can send between two callbacks;
    // should it fill (a stalled audio system), this thread waits, never the
    // callback.
    while (!commands_.Push(command)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void Player::ReleaseRetired() {
    std::erase_if(retired_, [&](const auto& old) { return !sound_ || applied_ >= old.first; });
}

void Player::SetSchedule(std::shared_ptr<const PlaybackSchedule> schedule) {
    std::lock_guard lock(mutex_);
    playing_ = false;
    if (schedule_) retired_.emplace_back(sent_ + 1, std::move(schedule_));
    song_schedule_ = std::move(schedule);
    schedule_ = song_schedule_ && speed_ != 1
                    ? std::make_shared<const PlaybackSchedule>(AtSpeed(*song_schedule_, speed_))
                    : song_schedule_;
    Send({Command::SetSchedule, 0, schedule_.get()});
    MoveTo(0);
}

double Player::PlayedLength() const {
    return schedule_ ? schedule_->Length : 0;
}

double Player::Length() const {
    return song_schedule_ ? song_schedule_->Length : 0;
}

void Player::SetSpeed(double speed) {
    if (!(speed > 0) || speed == speed_) return;
    const double at = Position();
    const bool was_playing = Playing();
    speed_ = speed;
    SetSchedule(song_schedule_);
    Seek(at);
    if (was_playing) Play();
}

void Player::Play() {
    std::lock_guard lock(mutex_);
    if (!schedule_ || playing_) return;
    const bool moved = applied_ < seek_sent_;
    const double heard = at_end_ ? PlayedLength() : static_cast<double>(sample_) / rate_;
    const double at = !sound_ ? ClockPosition()
                      : moved ? anchor_.load()
                              : std::max<double>(anchor_, heard);
    if (at >= PlayedLength()) {
        Send({Command::Seek, 0});
        MoveTo(0);
    }
    base_ = sound_ ? base_ : ClockPosition();
    started_ = Clock::now();
    play_ns_ = NowNs();
    start_ns_ = -1;
    sound_ns_ = -1;
    playing_ = true;
    Send({Command::Play});
}

void Player::Pause() {
    std::lock_guard lock(mutex_);
    if (!playing_) return;
    if (!sound_) base_ = ClockPosition();
    playing_ = false;
    Send({Command::Pause});
}

void Player::Stop() {
    std::lock_guard lock(mutex_);
    playing_ = false;
    Send({Command::Stop});
    MoveTo(0);
}

void Player::Seek(double seconds) {
    std::lock_guard lock(mutex_);
    const double to = std::clamp(seconds / speed_, 0.0, PlayedLength());
    Send({Command::Seek, to});
    MoveTo(to);
}

void Player::MoveTo(double seconds) {
    anchor_ = seconds;
    base_ = seconds;
    started_ = Clock::now();
    at_end_ = false;
    // The command just sent moves the song; until the callback has applied
    // it, the song is where it was sent.
    seek_sent_ = sent_;
    if (!sound_) sample_ = static_cast<int64_t>(std::llround(seconds * rate_));
}

void Player::SetVolume(double volume) {
    std::lock_guard lock(mutex_);
    volume_ = std::clamp(volume, 0.0, 1.0);
    Send({Command::Volume, kGain * volume_});
}

bool Player::Playing() const {
    std::lock_guard lock(mutex_);
    return playing_ && (sound_ || ClockPosition() < PlayedLength());
}

double Player::ClockPosition() const {
    double at = base_;
    if (playing_) at += std::chrono::duration<double>(Clock::now() - started_).count();
    return std::min(at, PlayedLength());
}

double Player::Position() const {
    return PlayedPosition() * speed_;
}

double Player::PlayedPosition() const {
    std::lock_guard lock(mutex_);
    if (!sound_) return ClockPosition();
    // A move the callback has not made yet: the song is where it was sent.
    if (applied_ < seek_sent_) return anchor_;
    if (!playing_ && at_end_) return PlayedLength();
    double at = static_cast<double>(sample_) / rate_;
    if (!playing_) return std::clamp(at - latency_, static_cast<double>(anchor_), PlayedLength());
    // The device plays the last callback's buffer from the moment that callback
    // began, one device buffer later: count the time since then, never past
    // what the callback handed over.
    const double since = (NowNs() - callback_ns_) / 1e9;
    at = std::min(
        at, static_cast<double>(callback_sample_) / rate_ + std::clamp(since, 0.0, chunk_ / rate_));
    return std::clamp(at - latency_, 0.0, PlayedLength());
}

double Player::PlayToSound() const {
    std::lock_guard lock(mutex_);
    return sound_ns_ < 0 ? -1 : (sound_ns_ - play_ns_) / 1e9 + latency_;
}

double Player::PlayToStart() const {
    std::lock_guard lock(mutex_);
    return start_ns_ < 0 ? -1 : (start_ns_ - play_ns_) / 1e9 + latency_;
}

double Player::OutputLatency() const {
    std::lock_guard lock(mutex_);
    return latency_;
}

void Player::RecordCallbacks(std::vector<CallbackRecord>* log) {
    log_ = log;
}

int64_t Player::Callbacks() const {
    return callbacks_;
}

int64_t Player::RealTimeViolations() const {
    return violations_;
}

int Player::AudioCallback(void* data, int len, int nfx, float* fx[], int nout, float* out[]) {
    Player* player = static_cast<Player*>(data);
    bool violated = false;
    {
        AudioCallbackScope scope;
        player->Render(len, nfx, fx, nout, out);
        violated = scope.Violated();
    }
    if (violated) ++player->violations_;
    ++player->callbacks_;
    return FLUID_OK;
}

void Player::MoveAudioTo(double seconds) {
    const int64_t sample = static_cast<int64_t>(std::llround(seconds * rate_));
    sample_ = sample;
    callback_sample_ = sample;
    callback_ns_ = NowNs();
    audio_.next = audio_.schedule ? FirstEventAt(*audio_.schedule, seconds) : 0;
    if (audio_.synth && audio_.schedule) audio_.synth->Chase(*audio_.schedule, audio_.next);
}

void Player::Apply(const Command& command) {
    fluid_synth_t* synth = audio_.synth->Handle();
    switch (command.What) {
        case Command::SetSchedule:
            audio_.playing = false;
            audio_.schedule = command.Schedule;
            fluid_synth_all_sounds_off(synth, -1);
            MoveAudioTo(0);
            break;
        case Command::Play:
            audio_.playing = true;
            break;
        case Command::Pause:
            audio_.playing = false;
            break;
        case Command::Stop:
            audio_.playing = false;
            fluid_synth_all_notes_off(synth, -1);
            MoveAudioTo(0);
            break;
        case Command::Seek:
            fluid_synth_all_sounds_off(synth, -1);
            MoveAudioTo(command.Value);
            break;
        case Command::Volume:
            audio_.synth->SetGain(command.Value);
            break;
    }
    if (command.What != Command::Volume) at_end_ = false;
    // The song's end, reached meanwhile, must not undo a later Play.
    if (command.What != Command::Volume && command.What != Command::Seek) {
        playing_ = audio_.playing;
    }
    applied_ = command.Number;
}

void Player::Render(int len, int nfx, float* fx[], int nout, float* out[]) {
    if (!sound_ || audio_.synth == nullptr || nout < 2) return;  // the buffers come zeroed
    for (Command command; commands_.Pop(command);) Apply(command);
    fluid_synth_t* synth = audio_.synth->Handle();
    const PlaybackSchedule* schedule = audio_.schedule;
    bool playing = audio_.playing && schedule != nullptr;
    if (audio_.was_playing && !playing) fluid_synth_all_notes_off(synth, -1);
    audio_.was_playing = playing;
    const int64_t began = NowNs();
    int64_t sample = sample_.load(std::memory_order_relaxed);
    const int64_t began_at = sample;
    // The log was given with room reserved: it is filled up to that, never grown.
    std::vector<CallbackRecord>* log = log_;
    if (log && playing && log->size() < log->capacity()) log->push_back({began, sample, len});
    const int64_t end = schedule ? static_cast<int64_t>(schedule->Length * rate_) : 0;
    for (int done = 0; done < len; done += kStep) {
        const int n = std::min(kStep, len - done);
        if (playing) {
            const double now = static_cast<double>(sample) / rate_;
            while (audio_.next < schedule->Events.size() &&
                   schedule->Events[audio_.next].Seconds <= now) {
                audio_.synth->Send(*schedule, schedule->Events[audio_.next++]);
            }
        }
        float* dry[2] = {out[0] + done, out[1] + done};
        float* wet[4] = {dry[0], dry[1], dry[0], dry[1]};
        if (nfx >= 2) {
            wet[0] = fx[0] + done;
            wet[1] = fx[1] + done;
        }
        fluid_synth_process(synth, n, nfx >= 2 ? 2 : 4, wet, 2, dry);
        if (!playing) continue;
        sample += n;
        sample_.store(sample, std::memory_order_relaxed);
        if (start_ns_ < 0) start_ns_ = NowNs();
        if (sound_ns_ < 0 &&
            std::any_of(dry[0], dry[0] + n, [](float v) { return std::fabs(v) > kAudible; })) {
            sound_ns_ = NowNs();
        }
        if (sample >= end) {
            // The end of the song: the last notes ring out.
            audio_.playing = false;
            audio_.was_playing = false;
            playing = false;
            at_end_ = true;
            playing_ = false;
            fluid_synth_all_notes_off(synth, -1);
        }
    }
    callback_ns_ = began;
    callback_sample_ = began_at;
    chunk_ = len;
}

}  // namespace verselane
