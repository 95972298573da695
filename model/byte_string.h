// ByteString: the body of one event, raw bytes that are never re-encoded.
//
// A song holds one ByteString per event and most events (notes, controllers)
// have none, so it is kept to the size of one pointer: empty costs nothing,
// up to seven bytes live inside the object itself (most lyric syllables), and
// longer bodies live in one heap block that holds their length and bytes.
// It converts freely to and from std::string and std::string_view.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "model/utf8.h"

namespace verselane {

class ByteString {
  public:
    static constexpr size_t kInline = 7;

    ByteString() noexcept { std::memset(raw_, 0, sizeof raw_); }
    ByteString(std::string_view bytes) : ByteString() { Assign(bytes); }
    ByteString(const char* bytes) : ByteString(std::string_view(bytes)) {}
    ByteString(const std::string& bytes) : ByteString(std::string_view(bytes)) {}
    ByteString(const ByteString& other) : ByteString() { Assign(other.view()); }
    ByteString(ByteString&& other) noexcept {
        std::memcpy(raw_, other.raw_, sizeof raw_);
        std::memset(other.raw_, 0, sizeof raw_);
    }
    ByteString& operator=(const ByteString& other) {
        if (this != &other) Assign(other.view());
        return *this;
    }
    ByteString& operator=(ByteString&& other) noexcept {
        if (this != &other) {
            Release();
            std::memcpy(raw_, other.raw_, sizeof raw_);
            std::memset(other.raw_, 0, sizeof raw_);
        }
        return *this;
    }
    ByteString& operator=(std::string_view bytes) {
        Assign(bytes);
        return *this;
    }
    ~ByteString() {
        // Inline: most events of a song have no body, and a song of millions
        // of events frees them all at once.
        if (!IsInline() && GetBlock()) std::free(GetBlock());
    }

    size_t size() const noexcept {
        if (IsInline()) return raw_[0] >> 1;
        const Block* b = GetBlock();
        return b ? b->size : 0;
    }
    bool empty() const noexcept { return size() == 0; }
    const char* data() const noexcept {
        if (IsInline()) return reinterpret_cast<const char*>(raw_ + 1);
        const Block* b = GetBlock();
        return b ? b->bytes() : reinterpret_cast<const char*>(raw_ + 1);
    }
    std::string_view view() const noexcept { return {data(), size()}; }
    operator std::string_view() const noexcept { return view(); }
    std::string str() const { return std::string(view()); }
    unsigned char operator[](size_t i) const noexcept {
        return static_cast<unsigned char>(data()[i]);
    }

    void Assign(std::string_view bytes);
    void Append(std::string_view bytes) { Assign(str().append(bytes)); }

    friend bool operator==(const ByteString& a, const ByteString& b) noexcept {
        return a.view() == b.view();
    }
    friend bool operator==(const ByteString& a, std::string_view b) noexcept {
        return a.view() == b;
    }

  private:
    static_assert(std::endian::native == std::endian::little,
                  "the inline tag shares its byte with the low byte of the block pointer");
    struct Block {
        uint32_t size;
        const char* bytes() const { return reinterpret_cast<const char*>(this + 1); }
        char* bytes() { return reinterpret_cast<char*>(this + 1); }
    };

    bool IsInline() const noexcept { return raw_[0] & 1; }
    Block* GetBlock() const noexcept {
        Block* b;
        std::memcpy(&b, raw_, sizeof b);
        return b;
    }
    void Release() noexcept;

    // Either a Block pointer (low bit 0; null when empty), or inline bytes:
    // raw_[0] = length * 2 + 1, raw_[1..7] = the bytes.
    alignas(void*) unsigned char raw_[sizeof(void*)];
};

static_assert(sizeof(ByteString) == 8);

}  // namespace verselane
