#include "reader/number_reading.h"

#include <algorithm>

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

void ReadVarLenBytes(ByteSource& FileNum, VarLenBytes& Bytes) {
    Bytes.Count = 0;
    for (int i = 0; i <= 3; ++i) {
        Bytes.Bytes[i] = FileNum.ReadByte();
        ++Bytes.Count;
        if (!(Bytes.Bytes[i] & 0x80)) break;
    }
}

int32_t DecodeVarLen(const VarLenBytes& Bytes) {
    int32_t value = 0;
    if (Bytes.Count < 1 || Bytes.Count > 4) return 0;
    for (int i = 0; i < Bytes.Count; ++i) value = value * 128 + (Bytes.Bytes[i] & 0x7F);
    return value;
}

void ReadLong(ByteSource& FileNum, int32_t& Value) {
    int64_t b0 = FileNum.ReadByte();
    int64_t b1 = FileNum.ReadByte();
    int64_t b2 = FileNum.ReadByte();
    int64_t b3 = FileNum.ReadByte();
    Value = ToLong(b0 * 0x1000000 + b1 * 0x10000 + b2 * 0x100 + b3);
}

int16_t ReadInteger(ByteSource& FileNum) {
    int32_t b0 = FileNum.ReadByte();
    int32_t b1 = FileNum.ReadByte();
    return ToInteger(b0 * 256 + b1);
}

MidiHeader ReadHeader(ByteSource& FileNum) {
    MidiHeader header;
    header.Format = ReadInteger(FileNum);
    header.NumTracks = ReadInteger(FileNum);
    header.Division = ReadInteger(FileNum);
    return header;
}

EventHeader ReadEventHeader(ByteSource& FileNum) {
    EventHeader head;
    VarLenBytes v;
    ReadVarLenBytes(FileNum, v);
    head.Delta = DecodeVarLen(v);
    head.Status = FileNum.ReadByte();
    if (head.Status == 0xFF) head.MetaType = FileNum.ReadByte();
    if (head.Status == 0xF0 || head.Status == 0xF7 || head.Status == 0xFF) {
        ReadVarLenBytes(FileNum, v);
        head.Length = DecodeVarLen(v);
    }
    return head;
}

}  // namespace verselane
