// Renders a song to a WAV file with FluidSynth's file renderer, faster than
// real time and with no audio device.
#pragma once

#include <string>

#include "playback/schedule.h"

namespace verselane {

struct RenderReport {
    std::string Error;       // empty on success
    double Seconds = 0;      // the length of the audio written
    double MaxLate = 0;      // the largest delay of an event against its time
    double FirstSound = -1;  // where the first non-silent sample lies (s), -1 when none
};

// How long sounding notes may ring on after the song's last event.
constexpr double kReleaseTail = 1.0;

// Writes 44.1 kHz 16-bit stereo: the song up to its last event, then the
// release tail until every voice has died away, at most kReleaseTail seconds.
RenderReport RenderToWav(const PlaybackSchedule& Schedule, const std::string& SoundFont,
                         const std::string& OutPath);

}  // namespace verselane
