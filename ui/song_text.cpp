#include "ui/song_text.h"

#include <iconv.h>

#include <cerrno>
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

std::string EncodeForSong(const QString& text, const std::string& encoding) {
    const QByteArray utf8 = text.toUtf8();
    if (encoding.empty() || encoding == "UTF-8") return utf8.toStdString();

    iconv_t cd = iconv_open(encoding.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return utf8.toStdString();
    std::string out(static_cast<size_t>(utf8.size()) * 4 + 8, '\0');
    char* in_ptr = const_cast<char*>(utf8.data());
    size_t in_left = static_cast<size_t>(utf8.size());
    char* out_ptr = out.data();
    size_t out_left = out.size();
    const size_t result = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    iconv_close(cd);
    if (result == static_cast<size_t>(-1) || in_left != 0) return utf8.toStdString();
    out.resize(out.size() - out_left);
    return out;
}

}  // namespace verselane::ui
