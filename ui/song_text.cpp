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
