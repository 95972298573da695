// Renders a song to a WAV file with FluidSynth, faster than real time and
// with no audio device.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "playback/schedule.h"
#include "writer/write_failure.h"

namespace verselane {

struct RenderReport {
    std::string Error;                        // empty on success, unless the file was not written
    std::optional<WriteFailure> WriteFailed;  // why the file was not written
    double Seconds = 0;                       // the length of the audio written
    double MaxLate = 0;                       // the largest delay of an event against its time
    double FirstSound = -1;  // where the first non-silent sample lies (s), -1 when none
};

// How long sounding notes ring on after the song's last event.
constexpr double kReleaseTail = 1.0;

// The size of a render, known from the schedule before anything is played:
// the song up to its last event, then the release tail.
struct RenderSize {
    int64_t Frames = 0;  // stereo sample frames
    double Seconds = 0;
    uint64_t Bytes = 0;   // the whole WAV file, header included
    bool FitsWav = true;  // a WAV file counts its data in 32 bits: at most 4 GiB
};
RenderSize RenderSizeOf(const PlaybackSchedule& Schedule);

// Writes 44.1 kHz 16-bit stereo of exactly RenderSizeOf(Schedule) through
// OutputFile: a regular file is replaced whole or not at all, a named pipe,
// a character device or "-" (standard output) are streamed, the header
// first, since its sizes are known ahead.
RenderReport RenderToWav(const PlaybackSchedule& Schedule, const std::string& SoundFont,
                         const std::string& OutPath);

}  // namespace verselane
