// Reading the numeric fields of a Standard MIDI File from an open input
// (their values are worked out by codec/midi_codec.h).
//
// ByteSource is the open input: the whole file in memory, read at a current
// position. As with a file, a read past the end does not fail: it yields zero
// bytes and sets the end-of-file condition, which the reader tests.
#pragma once

#include <cstdint>
#include <string_view>

#include "codec/midi_codec.h"
#include "model/midi_file.h"

namespace verselane {

class ByteSource {
  public:
    explicit ByteSource(std::string_view bytes) : bytes_(bytes) {}

    uint8_t ReadByte() {
        if (pos_ < static_cast<int64_t>(bytes_.size())) return static_cast<uint8_t>(bytes_[pos_++]);
        ++pos_;
        eof_ = true;
        return 0;
    }
    // The next `n` bytes; fewer when the file ends first (the end-of-file
    // condition is then set). The position moves on by `n` all the same.
    std::string_view ReadBytes(int64_t n);

    int64_t Position() const { return pos_; }
    // Moving the position clears the end-of-file condition, as fseek does.
    void Seek(int64_t pos) {
        pos_ = pos;
        eof_ = false;
    }
    bool Eof() const { return eof_; }
    int64_t Length() const { return static_cast<int64_t>(bytes_.size()); }
    // The whole file, for decoding loops that work on it directly.
    std::string_view Bytes() const { return bytes_; }
    // The bytes from `from` up to at most `to`, as far as the file holds them.
    std::string_view Slice(int64_t from, int64_t to) const;

  private:
    std::string_view bytes_;
    int64_t pos_ = 0;
    bool eof_ = false;
};

// 32-bit big-endian field; 0x80000000 and above is an Overflow.
void ReadLong(ByteSource& FileNum, int32_t& Value);
// 16-bit big-endian field; 0x8000 and above is an Overflow.
int16_t ReadInteger(ByteSource& FileNum);
// Format, NumTracks and Division; Length is left 0 for the caller.
MidiHeader ReadHeader(ByteSource& FileNum);

}  // namespace verselane
