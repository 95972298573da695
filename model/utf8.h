// Whether bytes are UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace verselane {

// Whether the bytes are well-formed UTF-8: no overlong forms, no UTF-16
// surrogates, nothing past U+10FFFF. Plain ASCII is UTF-8.
bool IsValidUtf8(std::string_view Bytes);

// The code point of the UTF-8 sequence at `i`, moving `i` past it (a
// sequence cut short by the end gives what it holds, and `i` stops at the
// end). For text that is
// valid UTF-8, as IsValidUtf8 tells.
char32_t NextCodePoint(std::string_view Utf8, size_t& i);

// The text with the letters A to Z lowered; every other byte, those of
// UTF-8 sequences too, as it is.
std::string AsciiLowered(std::string_view Text);

// Bytes read as Latin-1 (ISO 8859-1: each byte the code point of its value),
// in UTF-8.
std::string Latin1AsUtf8(std::string_view Bytes);

}  // namespace verselane
