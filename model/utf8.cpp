#include "model/utf8.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace verselane {

bool IsValidUtf8(std::string_view Bytes) {
    size_t i = 0;
    const size_t n = Bytes.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(Bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n) return false;
        for (size_t k = 1; k < len; ++k) {
            const unsigned char b = static_cast<unsigned char>(Bytes[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        // Overlong forms, UTF-16 surrogates and values past U+10FFFF.
        if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += len;
    }
    return true;
}

char32_t NextCodePoint(std::string_view Utf8, size_t& i) {
    const auto c = static_cast<unsigned char>(Utf8[i]);
    const size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t code = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
    for (size_t k = 1; k < length && i + k < Utf8.size(); ++k)
        code = (code << 6) | (static_cast<unsigned char>(Utf8[i + k]) & 0x3F);
    i = std::min(i + length, Utf8.size());
    return code;
}

std::string AsciiLowered(std::string_view Text) {
    std::string out(Text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string Latin1AsUtf8(std::string_view Bytes) {
    std::string out;
    out.reserve(Bytes.size());
    for (const char c : Bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

}  // namespace verselane
