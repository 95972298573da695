#include "ui/song_text.h"

#include <iconv.h>

#include <QStringList>

#include <cerrno>
#include <stdexcept>

#include "encoding/text_encoding.h"
#include "lyrics/text_rules.h"

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

std::vector<std::string> TitleLines(const MidiFile& Song, int16_t Track, LineSource From) {
    const uint8_t type = From == LineSource::Lyrics ? kMetaLyric : kMetaText;
    std::vector<std::string> titles;
    for (int32_t i = 0; i < Song.Count(Track); ++i) {
        const MidiEvent& e = Song.Track(Track).Event(i);
        if (e.Kind != kKindMeta || e.Channel != type) continue;
        std::string_view text = e.Data.view();
        if (text.starts_with('\\') || text.starts_with('/')) text.remove_prefix(1);
        if (text.starts_with("@T")) titles.emplace_back(TrimSpaces(text.substr(2)));
    }
    return titles;
}

QString WordsPreview(const std::vector<std::string>& Titles, const std::vector<SungLine>& Lines,
                     const std::function<QString(std::string_view)>& Decode) {
    QStringList out;
    for (const std::string& title : Titles) out << Decode(title);
    if (!Titles.empty() && !Lines.empty()) out << QString();
    for (size_t i = 0; i < Lines.size(); ++i) {
        const SungLine& line = Lines[i];
        if (line.NewParagraph && i > 0) out << QString();
        if (line.Text.empty()) {
            out << QString();
        } else {
            out << QString::fromStdString(FormatTimestamp(line.Seconds)) + QStringLiteral("  ") +
                       Decode(line.Text);
        }
    }
    return out.join(QLatin1Char('\n'));
}

}  // namespace verselane::ui
