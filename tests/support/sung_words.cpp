#include "tests/support/sung_words.h"

#include <string>
#include <string_view>

namespace verselane::test {

namespace {

bool IsGap(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

class Reader {
  public:
    void Break(bool paragraph) {
        ++breaks_;
        paragraph_ = paragraph_ || paragraph;
        in_word_ = false;
    }
    void Add(char c, int32_t tick) {
        if (IsGap(c)) {
            in_word_ = false;
            return;
        }
        if (text_.empty() || breaks_ > 0) {
            text_.push_back({text_.empty() || paragraph_ || breaks_ > 1, {}});
            breaks_ = 0;
            paragraph_ = false;
        }
        std::vector<SungWord>& words = text_.back().Words;
        if (!in_word_) words.push_back({"", tick});
        words.back().Text += c;
        in_word_ = true;
    }
    SungText Take() { return std::move(text_); }

  private:
    SungText text_;
    int breaks_ = 0;
    bool paragraph_ = false;
    bool in_word_ = false;
};

}  // namespace

SungText ReadSungWords(const MidiFile& song, int track, uint8_t type) {
    Reader reader;
    for (int32_t i = 0; i < song.Count(track); ++i) {
        const MidiEvent& e = song.Track(track).Event(i);
        if (e.Kind != kKindMeta || e.Channel != type) continue;
        std::string bytes = e.Data.str();
        if (type == kMetaLyric) std::erase(bytes, '\0');  // NUL bytes are nothing
        std::string_view text = bytes;
        if (type == kMetaText && text.starts_with('@')) continue;
        if (text.starts_with('\\') || text.starts_with('/')) {
            reader.Break(text[0] == '\\');
            text.remove_prefix(1);
        }
        for (char c : text) {
            if (type == kMetaLyric && (c == '\r' || c == '\n')) {
                reader.Break(c == '\n');
            } else {
                reader.Add(c, e.Time);
            }
        }
    }
    return reader.Take();
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
