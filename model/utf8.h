// Whether bytes are UTF-8.
#pragma once

#include <string_view>

namespace verselane {

// Whether the bytes are well-formed UTF-8: no overlong forms, no UTF-16
// surrogates, nothing past U+10FFFF. Plain ASCII is UTF-8.
bool IsValidUtf8(std::string_view Bytes);

}  // namespace verselane
