#include "ui/song_text.h"

#include <stdexcept>

#include "encoding/text_encoding.h"

namespace verselane::ui {

QString DecodeForDisplay(std::string_view bytes, const std::string& encoding) {
    try {
        return QString::fromStdString(Printable(TextDecoder(encoding).ToUtf8(bytes)));
    } catch (const std::invalid_argument&) {
        return QString::fromStdString(Printable(TextDecoder("WINDOWS-1252").ToUtf8(bytes)));
    }
}

}  // namespace verselane::ui
