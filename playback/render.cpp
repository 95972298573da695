#include "playback/render.h"

#include <fluidsynth.h>

#include <cstdio>

#include "playback/synth.h"

namespace verselane {

namespace {

constexpr int kBlock = 64;  // frames per step: events land at most 1.5 ms late
constexpr double kRate = 44100;

}  // namespace

RenderReport RenderToWav(const PlaybackSchedule& Schedule, const std::string& SoundFont,
                         const std::string& OutPath) {
    RenderReport report;
    std::unique_ptr<Synth> synth = Synth::Create(SoundFont, kRate,
                                                 {{"audio.file.name", OutPath},
                                                  {"audio.file.type", "wav"},
                                                  {"audio.file.format", "s16"},
                                                  {"audio.period-size", std::to_string(kBlock)}},
                                                 &report.Error);
    if (!synth) return report;
    fluid_file_renderer_t* renderer = new_fluid_file_renderer(synth->Handle());
    if (renderer == nullptr) {
        report.Error = "Could not write " + OutPath + ": " + LastSynthError();
        return report;
    }
    ScheduleCursor cursor{&Schedule};
    const auto song_end = static_cast<int64_t>(Schedule.Length * kRate);
    const auto tail_end = song_end + static_cast<int64_t>(kReleaseTail * kRate);
    bool ok = true;
    while (cursor.Sample <= song_end || (cursor.Sample < tail_end && synth->ActiveVoices() > 0)) {
        cursor.Due(*synth);
        if (report.FirstSound < 0 && synth->ActiveVoices() > 0) {
            report.FirstSound = cursor.Sample / kRate;
        }
        if (fluid_file_renderer_process_block(renderer) != FLUID_OK) {
            ok = false;
            break;
        }
        cursor.Sample += kBlock;
    }
    delete_fluid_file_renderer(renderer);  // closes the file and completes its header
    report.Seconds = cursor.Sample / kRate;
    report.MaxLate = cursor.MaxLate;
    if (!ok) {
        report.Error = "Could not write " + OutPath + ": " + LastSynthError();
        std::remove(OutPath.c_str());
    }
    return report;
}

}  // namespace verselane
