#include "model/byte_string.h"

#include <cstdlib>
#include <new>

#include "model/errors.h"

namespace verselane {

void ByteString::Release() noexcept {
    if (!IsInline()) std::free(GetBlock());
    std::memset(raw_, 0, sizeof raw_);
}

void ByteString::Assign(std::string_view bytes) {
    if (bytes.size() > UINT32_MAX) Raise(ErrorKind::Overflow);
    // `bytes` may point into this very string: build the new value first.
    unsigned char fresh[sizeof raw_] = {};
    if (bytes.size() <= kInline) {
        fresh[0] = static_cast<unsigned char>(bytes.size() * 2 + 1);
        if (!bytes.empty()) std::memcpy(fresh + 1, bytes.data(), bytes.size());
        if (bytes.empty()) fresh[0] = 0;  // empty is the null block, like a new string
    } else {
        auto* b = static_cast<Block*>(std::malloc(sizeof(Block) + bytes.size()));
        if (!b) throw std::bad_alloc();
        b->size = static_cast<uint32_t>(bytes.size());
        std::memcpy(b->bytes(), bytes.data(), bytes.size());
        std::memcpy(fresh, &b, sizeof b);
    }
    Release();
    std::memcpy(raw_, fresh, sizeof raw_);
}

}  // namespace verselane
