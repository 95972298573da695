#include "writer/number_writing.h"

#include "model/errors.h"

namespace verselane {

void WriteLong(std::string& FileNum, int32_t Value) {
    if (Value < 0) Raise(ErrorKind::Overflow);
    const char bytes[4] = {static_cast<char>(Value >> 24), static_cast<char>(Value >> 16),
                           static_cast<char>(Value >> 8), static_cast<char>(Value)};
    FileNum.append(bytes, 4);
}

void WriteInteger(std::string& FileNum, int16_t Value) {
    if (Value < 0) Raise(ErrorKind::Overflow);
    FileNum.push_back(static_cast<char>(Value >> 8));
    FileNum.push_back(static_cast<char>(Value & 0xFF));
}

VarLenBytes EncodeVarLen(int32_t Value) {
    if (Value < 0 || Value > 0x0FFFFFFF) Raise(ErrorKind::Overflow);
    VarLenBytes v;
    auto group = [&](int k) { return static_cast<uint8_t>((Value >> (7 * k)) & 0x7F); };
    if (Value < 0x80) {
        v.Count = 1;
    } else if (Value < 0x4000) {
        v.Count = 2;
    } else if (Value >= 0x200000) {
        v.Count = 4;
    } else {
        v.Count = 3;
    }
    for (int i = 0; i < v.Count; ++i) {
        v.Bytes[i] = group(v.Count - 1 - i);
        if (i < v.Count - 1) v.Bytes[i] |= 0x80;
    }
    return v;
}

void WriteVarLen(std::string& FileNum, int32_t Value) {
    VarLenBytes v = EncodeVarLen(Value);
    FileNum.append(reinterpret_cast<const char*>(v.Bytes), v.Count);
}

}  // namespace verselane
