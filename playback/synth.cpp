#include "playback/synth.h"

#include <fluidsynth.h>

#include <filesystem>
#include <mutex>
#include <system_error>

#include "playback/fluidsynth_library.h"

namespace verselane {

namespace {

std::mutex g_log_mutex;
std::string g_last_error;

void KeepError(int level, const char* message, void*) {
    if (level > FLUID_ERR || message == nullptr) return;
    std::lock_guard<std::mutex> lock(g_log_mutex);
    g_last_error = message;
}

void QuietLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) {
            fluid_set_log_function(level, level <= FLUID_ERR ? KeepError : nullptr, nullptr);
        }
    });
}

void Apply(fluid_settings_t* settings, const std::string& name, const std::string& value) {
    switch (fluid_settings_get_type(settings, name.c_str())) {
        case FLUID_NUM_TYPE:
            fluid_settings_setnum(settings, name.c_str(), std::stod(value));
            break;
        case FLUID_INT_TYPE:
            fluid_settings_setint(settings, name.c_str(), std::stoi(value));
            break;
        default:
            fluid_settings_setstr(settings, name.c_str(), value.c_str());
            break;
    }
}

}  // namespace

std::string LastSynthError() {
    std::lock_guard<std::mutex> lock(g_log_mutex);
    return g_last_error;
}

std::unique_ptr<Synth> Synth::Create(const std::string& sound_font, double sample_rate,
                                     const Settings& settings, std::string* error) {
    std::string missing;
    if (!FluidSynthLoaded(&missing)) {
        if (error) *error = "FluidSynth could not be loaded: " + missing;
        return nullptr;
    }
    QuietLog();
    std::error_code ec;
    if (sound_font.empty() || !std::filesystem::is_regular_file(sound_font, ec)) {
        if (error) {
            *error = sound_font.empty() ? "No SoundFont given."
                                        : "The SoundFont " + sound_font + " is not there.";
        }
        return nullptr;
    }
    if (!fluid_is_soundfont(sound_font.c_str())) {
        if (error) *error = sound_font + " is not a SoundFont (.sf2) file.";
        return nullptr;
    }
    std::unique_ptr<Synth> synth(new Synth);
    synth->rate_ = sample_rate;
    synth->settings_ = new_fluid_settings();
    if (synth->settings_ == nullptr) {
        if (error) *error = "FluidSynth could not start.";
        return nullptr;
    }
    fluid_settings_setnum(synth->settings_, "synth.sample-rate", sample_rate);
    fluid_settings_setint(synth->settings_, "synth.threadsafe-api", 1);
    for (const auto& [name, value] : settings) Apply(synth->settings_, name, value);
    synth->synth_ = new_fluid_synth(synth->settings_);
    if (synth->synth_ == nullptr ||
        fluid_synth_sfload(synth->synth_, sound_font.c_str(), 1) == FLUID_FAILED) {
        if (error) *error = "FluidSynth could not load " + sound_font + ": " + LastSynthError();
        return nullptr;
    }
    return synth;
}

Synth::~Synth() {
    if (synth_) delete_fluid_synth(synth_);
    if (settings_) delete_fluid_settings(settings_);
}

void Synth::Send(const PlaybackSchedule& schedule, const TimedEvent& e) {
    const int channel = e.Status & 0x0F;
    // The reader keeps data bytes below 0x80, and FluidSynth refuses values
    // outside its ranges, so they go as they are.
    const int d1 = e.Data1;
    const int d2 = e.Data2;
    switch (e.Status & 0xF0) {
        case 0x80:
            fluid_synth_noteoff(synth_, channel, d1);
            break;
        case 0x90:
            // A Note On of velocity 0 is a Note Off.
            if (d2 == 0) {
                fluid_synth_noteoff(synth_, channel, d1);
            } else {
                fluid_synth_noteon(synth_, channel, d1, d2);
            }
            break;
        case 0xA0:
            fluid_synth_key_pressure(synth_, channel, d1, d2);
            break;
        case 0xB0:
            fluid_synth_cc(synth_, channel, d1, d2);
            break;
        case 0xC0:
            fluid_synth_program_change(synth_, channel, d1);
            break;
        case 0xD0:
            fluid_synth_channel_pressure(synth_, channel, d1);
            break;
        case 0xE0:
            fluid_synth_pitch_bend(synth_, channel, d1 | (d2 << 7));
            break;
        case 0xF0: {
            const std::string& bytes = schedule.SysEx[e.SysEx];
            fluid_synth_sysex(synth_, bytes.data(), static_cast<int>(bytes.size()), nullptr,
                              nullptr, nullptr, 0);
            break;
        }
        default:
            break;
    }
}

void Synth::Reset() {
    fluid_synth_system_reset(synth_);
}

void Synth::Chase(const PlaybackSchedule& schedule, size_t upto) {
    Reset();
    for (size_t i : schedule.StateEvents) {
        if (i >= upto || i >= schedule.Events.size()) break;
        Send(schedule, schedule.Events[i]);
    }
}

void Synth::SetGain(double gain) {
    fluid_synth_set_gain(synth_, static_cast<float>(gain));
}

int Synth::ActiveVoices() const {
    return fluid_synth_get_active_voice_count(synth_);
}

}  // namespace verselane
