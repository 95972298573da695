// Turning the bytes of a song's texts into what the windows show, and typed
// text back into bytes. The song keeps its bytes: only copies are decoded.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace verselane::ui {

// `bytes` of the given encoding (an iconv name) as text for a window.
QString DecodeForDisplay(std::string_view bytes, const std::string& encoding);

// Typed text as bytes of the given encoding; text the encoding cannot hold
// is stored as UTF-8 instead, so nothing typed is lost.
std::string EncodeForSong(const QString& text, const std::string& encoding);

}  // namespace verselane::ui
