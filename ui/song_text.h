// Turning the bytes of a song's texts into what the windows show. The song keeps its bytes: only
// copies are decoded.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace verselane::ui {

// `bytes` of the given encoding (an iconv name) as text for a window.
QString DecodeForDisplay(std::string_view bytes, const std::string& encoding);

}  // namespace verselane::ui
