// The division of a song's header: ticks per quarter note, or SMPTE frames
// and ticks per frame.
#pragma once

#include <cstdint>

namespace verselane {

// Whether the division counts SMPTE frames rather than quarter notes.
constexpr bool IsSmpteDivision(int16_t Division) {
    return Division < 0;
}
// The frames per second that an SMPTE division names: 24, 25, 29 (drop-frame
// 30, that is 29.97) or 30; anything else is no frame rate.
constexpr int SmpteFramesPerSecond(int16_t Division) {
    return -static_cast<int8_t>(static_cast<uint16_t>(Division) >> 8);
}
// The frames per second as time runs: 29 stands for 29.97.
constexpr double SmpteFrameRate(int16_t Division) {
    const int fps = SmpteFramesPerSecond(Division);
    return fps == 29 ? 29.97 : fps;
}
constexpr int SmpteTicksPerFrame(int16_t Division) {
    return static_cast<uint16_t>(Division) & 0xFF;
}
// Whether the division gives time at all: a positive number of ticks per
// quarter note, or one of the four SMPTE frame rates with ticks per frame.
constexpr bool IsTimedDivision(int16_t Division) {
    if (!IsSmpteDivision(Division)) return Division > 0;
    const int fps = SmpteFramesPerSecond(Division);
    return (fps == 24 || fps == 25 || fps == 29 || fps == 30) && SmpteTicksPerFrame(Division) > 0;
}

// The ticks of a beat, for measures of musical time (a pause, a grid step):
// the ticks per quarter note, or under an SMPTE division the ticks of half a
// second, a quarter note at the 120 beats per minute a song without tempo
// events plays at. Never below 1.
constexpr int32_t TicksPerBeat(int16_t Division) {
    if (!IsSmpteDivision(Division)) return Division > 0 ? Division : 1;
    const int32_t half_second =
        static_cast<int32_t>(SmpteFrameRate(Division) * SmpteTicksPerFrame(Division) / 2 + 0.5);
    return half_second > 0 ? half_second : 1;
}

}  // namespace verselane
