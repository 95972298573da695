// Writing the numeric fields of a Standard MIDI File into an output buffer.
#pragma once

#include <cstdint>
#include <string>

#include "model/midi_file.h"

namespace verselane {

// 4 bytes, most significant first. Negative values are an Overflow.
void WriteLong(std::string& FileNum, int32_t Value);
// 2 bytes, high byte first. Negative values are an Overflow.
void WriteInteger(std::string& FileNum, int16_t Value);
// The variable-length encoding of 0 to 0x0FFFFFFF; anything else is an
// Overflow, since four bytes of seven bits cannot hold it.
VarLenBytes EncodeVarLen(int32_t Value);
void WriteVarLen(std::string& FileNum, int32_t Value);

}  // namespace verselane
