#include "ui/song_text.h"

#include <QStringList>

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
