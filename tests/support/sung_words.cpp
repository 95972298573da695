#include "tests/support/sung_words.h"

#include <cctype>
#include <string>
#include <string_view>

namespace verselane::test {

SungText ReadSungWords(const Song& song, int track, uint8_t type) {
    SungText out;
    int breaks = 0;  // line ends since the last word; two or more make a paragraph gap
    bool paragraph = false, in_word = false;
    auto line_end = [&](bool opens_paragraph) {
        ++breaks;
        paragraph = paragraph || opens_paragraph;
        in_word = false;
    };
    const Track& events = song.At(static_cast<int16_t>(track));
    for (const Event& e : events) {
        if (!e.IsMeta(type)) continue;
        std::string bytes(events.Body(e));
        if (type == kMetaLyric) std::erase(bytes, '\0');  // NUL bytes are nothing
        std::string_view text = bytes;
        if (type == kMetaText && text.starts_with('@')) continue;
        if (text.starts_with('\\') || text.starts_with('/')) {
            line_end(text[0] == '\\');
            text.remove_prefix(1);
        }
        for (char c : text) {
            if (type == kMetaLyric && (c == '\r' || c == '\n')) {
                line_end(c == '\n');
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                in_word = false;
            } else {
                if (out.empty() || breaks > 0) {
                    out.push_back({out.empty() || paragraph || breaks > 1, {}});
                    breaks = 0;
                    paragraph = false;
                }
                if (!in_word) out.back().Words.push_back({"", e.Tick});
                out.back().Words.back().Text += c;
                in_word = true;
            }
        }
    }
    return out;
}

std::string Show(const SungText& text) {
    std::string out;
    for (const SungLineOfWords& line : text) {
        out += line.Paragraph ? "\n¶" : "\n/";
        for (const SungWord& w : line.Words) out += " " + w.Text + "@" + std::to_string(w.Tick);
    }
    return out;
}

}  // namespace verselane::test
