#include "reader/number_reading.h"

#include <algorithm>
#include <string>

#include "model/errors.h"

namespace verselane {

std::string_view ByteSource::ReadBytes(int64_t n) {
    std::string_view got = Slice(pos_, pos_ + n);
    if (static_cast<int64_t>(got.size()) < n) eof_ = true;
    pos_ += n;
    return got;
}

std::string_view ByteSource::Slice(int64_t from, int64_t to) const {
    int64_t size = static_cast<int64_t>(bytes_.size());
    from = std::clamp<int64_t>(from, 0, size);
    to = std::clamp<int64_t>(to, from, size);
    return bytes_.substr(static_cast<size_t>(from), static_cast<size_t>(to - from));
}

void ReadLong(ByteSource& FileNum, int32_t& Value) {
    int64_t b0 = FileNum.ReadByte();
    int64_t b1 = FileNum.ReadByte();
    int64_t b2 = FileNum.ReadByte();
    int64_t b3 = FileNum.ReadByte();
    const int64_t value = b0 * 0x1000000 + b1 * 0x10000 + b2 * 0x100 + b3;
    if (value > INT32_MAX) {
        Raise(ErrorKind::Overflow, "the 32-bit field " + std::to_string(value) + " before byte " +
                                       std::to_string(FileNum.Position()) +
                                       " is larger than 2147483647");
    }
    Value = static_cast<int32_t>(value);
}

int16_t ReadInteger(ByteSource& FileNum) {
    int32_t b0 = FileNum.ReadByte();
    int32_t b1 = FileNum.ReadByte();
    if (b0 >= 0x80) {
        Raise(ErrorKind::Overflow, "the 16-bit field " + std::to_string(b0 * 256 + b1) +
                                       " before byte " + std::to_string(FileNum.Position()) +
                                       " is larger than 32767");
    }
    return static_cast<int16_t>(b0 * 256 + b1);
}

MidiHeader ReadHeader(ByteSource& FileNum) {
    MidiHeader header;
    header.Format = ReadInteger(FileNum);
    header.NumTracks = ReadInteger(FileNum);
    header.Division = ReadInteger(FileNum);
    return header;
}

}  // namespace verselane
