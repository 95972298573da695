// The meta event types the program looks at.
#pragma once

#include <cstdint>

namespace verselane {

constexpr uint8_t kMetaText = 0x01;
constexpr uint8_t kMetaCopyright = 0x02;
constexpr uint8_t kMetaTrackName = 0x03;
constexpr uint8_t kMetaInstrument = 0x04;
constexpr uint8_t kMetaLyric = 0x05;
constexpr uint8_t kMetaEndOfTrack = 0x2F;
constexpr uint8_t kMetaTempo = 0x51;
constexpr uint8_t kMetaTimeSignature = 0x58;
constexpr uint8_t kMetaKeySignature = 0x59;
constexpr uint8_t kMetaSequencerEvent = 0x7F;  // data of one sequencer, others pass it over

}  // namespace verselane
