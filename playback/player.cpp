#include "playback/player.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>

#include "playback/sound_font.h"
#include "playback/synth.h"

namespace verselane {

namespace {

constexpr int kStep = 64;      // frames between two looks at the schedule
constexpr double kGain = 0.4;  // FluidSynth's gain at full volume
constexpr float kAudible = 1e-4f;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

Player::Player(bool open_audio) : open_audio_(open_audio), started_(Clock::now()) {}

Player::~Player() {
    if (opener_.joinable()) opener_.join();
    CloseAudio();
}

void Player::Open(const std::string& sound_font, const std::string& audio_driver) {
    if (opener_.joinable()) opener_.join();
    CloseAudio();
    {
        std::lock_guard<std::mutex> lock(mutex_);
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
        // Silent on purpose: no synthesizer, but a SoundFont that could not
        // be played is still told.
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = Output::Silent;
        if (sound_font.empty()) {
            trouble_ = Problem::NoSoundFont;
            detail_ = MissingSoundFontMessage();
        } else if (!fluid_is_soundfont(sound_font.c_str())) {
            trouble_ = Problem::BadSoundFont;
            detail_ = sound_font + " is not a SoundFont (.sf2) file.";
        }
        return;
    }
    std::string error;
    std::unique_ptr<Synth> synth;
    if (!sound_font.empty())
        synth = Synth::Create(sound_font, rate_,
                              {{"audio.period-size", "256"}, {"audio.periods", "4"}}, &error);
    if (!synth) {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = Output::Silent;
        trouble_ = sound_font.empty() ? Problem::NoSoundFont : Problem::BadSoundFont;
        detail_ = sound_font.empty() ? MissingSoundFontMessage() : error;
        return;
    }
    int period = 64, periods = 16;
    fluid_settings_getint(synth->SettingsHandle(), "audio.period-size", &period);
    fluid_settings_getint(synth->SettingsHandle(), "audio.periods", &periods);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        synth->SetGain(kGain * volume_);
        synth_ = std::move(synth);
        latency_ = period * static_cast<double>(periods) / rate_;
    }
    // The callback renders silence until `sound_` is set below. The audio
    // systems are tried in turn: FluidSynth's default first, then the others
    // a desktop may have.
    fluid_audio_driver_t* driver = nullptr;
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
    std::string failures;
    for (const std::string& name : tried) {
        if (fluid_settings_setstr(synth_->SettingsHandle(), "audio.driver", name.c_str()) !=
            FLUID_OK) {
            continue;  // not built into this FluidSynth
        }
        driver = new_fluid_audio_driver2(synth_->SettingsHandle(), &Player::AudioCallback, this);
        if (driver) break;
        failures += (failures.empty() ? "" : "; ") + name + ": " + LastSynthError();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (driver == nullptr) {
        state_ = Output::Silent;
        trouble_ = Problem::NoAudio;
        detail_ = failures;
        return;
    }
    driver_ = driver;
    // The clock passes from the system's clock to the samples, where it is now.
    MoveTo(ClockPosition());
    sound_ = true;
    state_ = Output::Sound;
}

void Player::CloseAudio() {
    _fluid_audio_driver_t* driver = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        driver = driver_;
        driver_ = nullptr;
    }
    // Not under the lock: the audio thread may be waiting for it.
    if (driver) delete_fluid_audio_driver(driver);
    std::lock_guard<std::mutex> lock(mutex_);
    if (sound_) {
        base_ = std::min(static_cast<double>(sample_) / rate_, Length());
        started_ = Clock::now();
        sound_ = false;
    }
    synth_.reset();
    state_ = Output::Silent;
}

Player::Output Player::State() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

Player::Problem Player::Trouble() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return trouble_;
}

std::string Player::Detail() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return detail_;
}

void Player::SetSchedule(std::shared_ptr<const PlaybackSchedule> schedule) {
    std::lock_guard<std::mutex> lock(mutex_);
    playing_ = false;
    schedule_ = std::move(schedule);
    if (synth_) fluid_synth_all_sounds_off(synth_->Handle(), -1);
    MoveTo(0);
}

double Player::Length() const {
    return schedule_ ? schedule_->Length : 0;
}

void Player::Play() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!schedule_ || playing_) return;
    const double at = sound_ ? std::max<double>(anchor_, sample_ / rate_) : ClockPosition();
    if (at >= Length()) MoveTo(0);
    base_ = sound_ ? base_ : ClockPosition();
    started_ = Clock::now();
    play_ns_ = NowNs();
    start_ns_ = -1;
    sound_ns_ = -1;
    playing_ = true;
}

void Player::Pause() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!playing_) return;
    if (!sound_) base_ = ClockPosition();
    playing_ = false;
}

void Player::Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    playing_ = false;
    if (synth_) fluid_synth_all_notes_off(synth_->Handle(), -1);
    MoveTo(0);
}

void Player::Seek(double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (synth_) fluid_synth_all_sounds_off(synth_->Handle(), -1);
    MoveTo(std::clamp(seconds, 0.0, Length()));
}

void Player::MoveTo(double seconds) {
    anchor_ = seconds;
    base_ = seconds;
    started_ = Clock::now();
    sample_ = static_cast<int64_t>(std::llround(seconds * rate_));
    callback_sample_ = sample_.load();
    callback_ns_ = NowNs();
    next_ = schedule_ ? FirstEventAt(*schedule_, seconds) : 0;
    if (synth_ && schedule_) synth_->Chase(*schedule_, next_);
}

void Player::SetVolume(double volume) {
    std::lock_guard<std::mutex> lock(mutex_);
    volume_ = std::clamp(volume, 0.0, 1.0);
    if (synth_) synth_->SetGain(kGain * volume_);
}

bool Player::Playing() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return playing_ && (sound_ || ClockPosition() < Length());
}

double Player::ClockPosition() const {
    double at = base_;
    if (playing_) at += std::chrono::duration<double>(Clock::now() - started_).count();
    return std::min(at, Length());
}

double Player::Position() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!sound_) return ClockPosition();
    double at = static_cast<double>(sample_) / rate_;
    if (!playing_) return std::clamp(at - latency_, static_cast<double>(anchor_), Length());
    // The device plays the last callback's buffer from the moment that callback
    // began, one device buffer later: count the time since then, never past
    // what the callback handed over.
    const double since = (NowNs() - callback_ns_) / 1e9;
    at = std::min(
        at, static_cast<double>(callback_sample_) / rate_ + std::clamp(since, 0.0, chunk_ / rate_));
    return std::clamp(at - latency_, 0.0, Length());
}

double Player::PlayToSound() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sound_ns_ < 0 ? -1 : (sound_ns_ - play_ns_) / 1e9 + latency_;
}

double Player::PlayToStart() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return start_ns_ < 0 ? -1 : (start_ns_ - play_ns_) / 1e9 + latency_;
}

double Player::OutputLatency() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return latency_;
}

void Player::RecordCallbacks(std::vector<CallbackRecord>* log) {
    std::lock_guard<std::mutex> lock(mutex_);
    log_ = log;
}

int Player::AudioCallback(void* data, int len, int nfx, float* fx[], int nout, float* out[]) {
    static_cast<Player*>(data)->Render(len, nfx, fx, nout, out);
    return FLUID_OK;
}

void Player::Render(int len, int nfx, float* fx[], int nout, float* out[]) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!synth_ || nout < 2) return;  // the buffers come zeroed: silence
    fluid_synth_t* synth = synth_->Handle();
    bool playing = playing_ && sound_ && schedule_;
    if (was_playing_ && !playing) fluid_synth_all_notes_off(synth, -1);
    was_playing_ = playing;
    const int64_t began = NowNs();
    const int64_t began_at = sample_;
    if (log_ && playing) log_->push_back({began, sample_, len});
    for (int done = 0; done < len; done += kStep) {
        const int n = std::min(kStep, len - done);
        if (playing) {
            const double now = static_cast<double>(sample_) / rate_;
            while (next_ < schedule_->Events.size() && schedule_->Events[next_].Seconds <= now) {
                synth_->Send(*schedule_, schedule_->Events[next_++]);
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
        sample_ += n;
        if (start_ns_ < 0) start_ns_ = NowNs();
        if (sound_ns_ < 0 &&
            std::any_of(dry[0], dry[0] + n, [](float v) { return std::fabs(v) > kAudible; })) {
            sound_ns_ = NowNs();
        }
        if (sample_ >= static_cast<int64_t>(Length() * rate_)) {
            // The end of the song: the last notes ring out.
            playing_ = false;
            playing = false;
            was_playing_ = false;
            anchor_ = Length();
            fluid_synth_all_notes_off(synth, -1);
        }
    }
    callback_ns_ = began;
    callback_sample_ = began_at;
    chunk_ = len;
}

}  // namespace verselane
