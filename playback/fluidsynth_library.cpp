#include "playback/fluidsynth_library.h"

#include <dlfcn.h>
#include <fluidsynth.h>

namespace verselane {

namespace {

// Every FluidSynth function that the programs and their tests call.
#define VERSELANE_FLUID_FUNCTIONS(X)      \
    X(new_fluid_settings)                 \
    X(delete_fluid_settings)              \
    X(fluid_settings_get_type)            \
    X(fluid_settings_getint)              \
    X(fluid_settings_setint)              \
    X(fluid_settings_setnum)              \
    X(fluid_settings_setstr)              \
    X(fluid_settings_dupstr)              \
    X(fluid_free)                         \
    X(fluid_set_log_function)             \
    X(fluid_is_soundfont)                 \
    X(new_fluid_synth)                    \
    X(delete_fluid_synth)                 \
    X(fluid_synth_sfload)                 \
    X(fluid_synth_noteon)                 \
    X(fluid_synth_noteoff)                \
    X(fluid_synth_key_pressure)           \
    X(fluid_synth_cc)                     \
    X(fluid_synth_program_change)         \
    X(fluid_synth_channel_pressure)       \
    X(fluid_synth_pitch_bend)             \
    X(fluid_synth_sysex)                  \
    X(fluid_synth_system_reset)           \
    X(fluid_synth_all_notes_off)          \
    X(fluid_synth_all_sounds_off)         \
    X(fluid_synth_set_gain)               \
    X(fluid_synth_get_active_voice_count) \
    X(fluid_synth_get_program)            \
    X(fluid_synth_get_cc)                 \
    X(fluid_synth_get_pitch_bend)         \
    X(fluid_synth_process)                \
    X(fluid_synth_write_s16)              \
    X(new_fluid_audio_driver2)            \
    X(delete_fluid_audio_driver)

struct Library {
#define VERSELANE_FLUID_POINTER(name) decltype(&::name) name = nullptr;
    VERSELANE_FLUID_FUNCTIONS(VERSELANE_FLUID_POINTER)
#undef VERSELANE_FLUID_POINTER
    std::string error;  // empty once every function is there
};

// Loaded whole (every symbol bound now, so that no lookup is left for the
// audio thread) or not at all.
Library Load() {
    Library library;
    void* handle = ::dlopen(VERSELANE_FLUIDSYNTH_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        library.error = why ? why : VERSELANE_FLUIDSYNTH_LIBRARY " could not be loaded";
        return library;
    }
    Library found;
#define VERSELANE_FLUID_LOOKUP(name)                                          \
    found.name = reinterpret_cast<decltype(&::name)>(::dlsym(handle, #name)); \
    if (found.name == nullptr) {                                              \
        library.error = VERSELANE_FLUIDSYNTH_LIBRARY " has no " #name;        \
        return library;                                                       \
    }
    VERSELANE_FLUID_FUNCTIONS(VERSELANE_FLUID_LOOKUP)
#undef VERSELANE_FLUID_LOOKUP
    return found;
}

const Library& Loaded() {
    static const Library library = Load();
    return library;
}

}  // namespace

bool FluidSynthLoaded(std::string* why) {
    const Library& library = Loaded();
    if (why) *why = library.error;
    return library.error.empty();
}

}  // namespace verselane

// The FluidSynth functions themselves (C linkage, as fluidsynth.h declares
// them), each forwarding to the library or, without it, giving `failed`.
#define VERSELANE_FORWARD(Result, name, failed, parameters, arguments) \
    Result name parameters {                                           \
        const auto real = verselane::Loaded().name;                    \
        if (real == nullptr) return failed;                            \
        return real arguments;                                         \
    }

VERSELANE_FORWARD(fluid_settings_t*, new_fluid_settings, nullptr, (void), ())
VERSELANE_FORWARD(void, delete_fluid_settings, , (fluid_settings_t * s), (s))
VERSELANE_FORWARD(int, fluid_settings_get_type, FLUID_NO_TYPE,
                  (fluid_settings_t * s, const char* name), (s, name))
VERSELANE_FORWARD(int, fluid_settings_getint, FLUID_FAILED,
                  (fluid_settings_t * s, const char* name, int* value), (s, name, value))
VERSELANE_FORWARD(int, fluid_settings_setint, FLUID_FAILED,
                  (fluid_settings_t * s, const char* name, int value), (s, name, value))
VERSELANE_FORWARD(int, fluid_settings_setnum, FLUID_FAILED,
                  (fluid_settings_t * s, const char* name, double value), (s, name, value))
VERSELANE_FORWARD(int, fluid_settings_setstr, FLUID_FAILED,
                  (fluid_settings_t * s, const char* name, const char* value), (s, name, value))
VERSELANE_FORWARD(int, fluid_settings_dupstr, FLUID_FAILED,
                  (fluid_settings_t * s, const char* name, char** value), (s, name, value))
VERSELANE_FORWARD(void, fluid_free, , (void* p), (p))
VERSELANE_FORWARD(fluid_log_function_t, fluid_set_log_function, nullptr,
                  (int level, fluid_log_function_t function, void* data), (level, function, data))
VERSELANE_FORWARD(int, fluid_is_soundfont, 0, (const char* file), (file))
VERSELANE_FORWARD(fluid_synth_t*, new_fluid_synth, nullptr, (fluid_settings_t * s), (s))
VERSELANE_FORWARD(void, delete_fluid_synth, , (fluid_synth_t * s), (s))
VERSELANE_FORWARD(int, fluid_synth_sfload, FLUID_FAILED,
                  (fluid_synth_t * s, const char* file, int reset), (s, file, reset))
VERSELANE_FORWARD(int, fluid_synth_noteon, FLUID_FAILED,
                  (fluid_synth_t * s, int channel, int key, int velocity),
                  (s, channel, key, velocity))
VERSELANE_FORWARD(int, fluid_synth_noteoff, FLUID_FAILED, (fluid_synth_t * s, int channel, int key),
                  (s, channel, key))
VERSELANE_FORWARD(int, fluid_synth_key_pressure, FLUID_FAILED,
                  (fluid_synth_t * s, int channel, int key, int value), (s, channel, key, value))
VERSELANE_FORWARD(int, fluid_synth_cc, FLUID_FAILED,
                  (fluid_synth_t * s, int channel, int control, int value),
                  (s, channel, control, value))
VERSELANE_FORWARD(int, fluid_synth_program_change, FLUID_FAILED,
                  (fluid_synth_t * s, int channel, int program), (s, channel, program))
VERSELANE_FORWARD(int, fluid_synth_channel_pressure, FLUID_FAILED,
                  (fluid_synth_t * s, int channel, int value), (s, channel, value))
VERSELANE_FORWARD(int, fluid_synth_pitch_bend, FLUID_FAILED,
                  (fluid_synth_t * s, int channel, int value), (s, channel, value))
VERSELANE_FORWARD(int, fluid_synth_sysex, FLUID_FAILED,
                  (fluid_synth_t * s, const char* data, int length, char* response,
                   int* response_length, int* handled, int dry_run),
                  (s, data, length, response, response_length, handled, dry_run))
VERSELANE_FORWARD(int, fluid_synth_system_reset, FLUID_FAILED, (fluid_synth_t * s), (s))
VERSELANE_FORWARD(int, fluid_synth_all_notes_off, FLUID_FAILED, (fluid_synth_t * s, int channel),
                  (s, channel))
VERSELANE_FORWARD(int, fluid_synth_all_sounds_off, FLUID_FAILED, (fluid_synth_t * s, int channel),
                  (s, channel))
VERSELANE_FORWARD(void, fluid_synth_set_gain, , (fluid_synth_t * s, float gain), (s, gain))
VERSELANE_FORWARD(int, fluid_synth_get_active_voice_count, 0, (fluid_synth_t * s), (s))
VERSELANE_FORWARD(int, fluid_synth_get_program, FLUID_FAILED,
                  (fluid_synth_t * s, int channel, int* font, int* bank, int* preset),
                  (s, channel, font, bank, preset))
VERSELANE_FORWARD(int, fluid_synth_get_cc, FLUID_FAILED,
                  (fluid_synth_t * s, int channel, int control, int* value),
                  (s, channel, control, value))
VERSELANE_FORWARD(int, fluid_synth_get_pitch_bend, FLUID_FAILED,
                  (fluid_synth_t * s, int channel, int* value), (s, channel, value))
VERSELANE_FORWARD(int, fluid_synth_process, FLUID_FAILED,
                  (fluid_synth_t * s, int length, int effects_count, float* effects[],
                   int out_count, float* out[]),
                  (s, length, effects_count, effects, out_count, out))
VERSELANE_FORWARD(int, fluid_synth_write_s16, FLUID_FAILED,
                  (fluid_synth_t * s, int length, void* left, int left_offset, int left_step,
                   void* right, int right_offset, int right_step),
                  (s, length, left, left_offset, left_step, right, right_offset, right_step))
VERSELANE_FORWARD(fluid_audio_driver_t*, new_fluid_audio_driver2, nullptr,
                  (fluid_settings_t * s, fluid_audio_func_t function, void* data),
                  (s, function, data))
VERSELANE_FORWARD(void, delete_fluid_audio_driver, , (fluid_audio_driver_t * driver), (driver))

#undef VERSELANE_FORWARD
