#include "align/lyric_sheet.h"

#include <algorithm>
#include <stdexcept>

#include "align/align_error.h"
#include "model/utf8.h"

namespace verselane::align {

namespace {

// The length in bytes of the blank that separates tokens at `at` of a line,
// 0 where there is none: a space, a tab, and the spaces of other widths
// that text copied from web pages and word processors holds (no-break,
// en, em, thin, zero width, ideographic, ...), which a reader sees as
// spaces between words.
size_t BlankAt(std::string_view line, size_t at) {
    const auto byte = [&](size_t k) {
        return at + k < line.size() ? static_cast<unsigned char>(line[at + k]) : 0u;
    };
    const unsigned char c = byte(0);
    if (c == ' ' || c == '\t' || c == '\v' || c == '\f') return 1;
    if (c == 0xC2 && byte(1) == 0xA0) return 2;                     // U+00A0 no-break
    if (c == 0xE1 && byte(1) == 0x9A && byte(2) == 0x80) return 3;  // U+1680 ogham
    if (c == 0xE2 && byte(1) == 0x80 && (byte(2) <= 0x8B || byte(2) == 0xAF))
        return 3;                                                   // U+2000-200B, U+202F
    if (c == 0xE2 && byte(1) == 0x81 && byte(2) == 0x9F) return 3;  // U+205F
    if (c == 0xE3 && byte(1) == 0x80 && byte(2) == 0x80) return 3;  // U+3000 ideographic
    if (c == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) return 3;  // U+FEFF inside the text
    return 0;
}

size_t SkipBlanks(std::string_view line, size_t at) {
    while (at < line.size()) {
        const size_t n = BlankAt(line, at);
        if (n == 0) break;
        at += n;
    }
    return at;
}

// Where the line that starts at `at` ends, the length of its end and
// whether the end also closes a paragraph. A line ends at a line feed, a
// carriage return with or without a line feed after it (Windows, and old
// Mac text), a next-line character, or a line or paragraph separator.
struct LineEnd {
    size_t At = 0;
    size_t Length = 0;
    bool Paragraph = false;
};
LineEnd LineEndFrom(std::string_view text, size_t at) {
    for (size_t i = at; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') return {i, 1, false};
        if (c == '\r') return {i, i + 1 < text.size() && text[i + 1] == '\n' ? 2u : 1u, false};
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x85)
            return {i, 2, false};
        if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80) {
            const auto third = static_cast<unsigned char>(text[i + 2]);
            if (third == 0xA8 || third == 0xA9) return {i, 3, third == 0xA9};
        }
    }
    return {text.size(), 1, false};
}

// The length of the character at `at` (a UTF-8 sequence), at least 1.
size_t CharacterAt(std::string_view text, size_t at) {
    const auto c = static_cast<unsigned char>(text[at]);
    const size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    return std::min(n, text.size() - at);
}

// Builds the syllables of the sheet one character at a time.
class SheetBuilder {
  public:
    void StartLine(int line, bool after_blank) {
        line_ = line;
        line_start_ = true;
        if (after_blank) paragraph_start_ = true;
        same_word_ = false;
        joined_ = false;
    }

    void Token(std::string_view token) {
        if (token == "--") {  // LilyPond's hyphen between syllables
            Split();
            return;
        }
        if (token == "__") {  // LilyPond's extender: the syllable holds on
            Hold();
            return;
        }
        for (size_t i = 0; i < token.size(); ++i) {
            const char c = token[i];
            if (c == '\\') {
                // One at a line's end makes nothing plain: it is dropped, so
                // that no syllable is a lone backslash, which the karaoke
                // words would take for a paragraph mark.
                if (i + 1 < token.size()) Plain(token[++i]);
            } else if (c == '-') {
                Split();
            } else if (c == '_') {
                Hold();
            } else if (c == '*') {
                Finish();
                ++skips_;
            } else if (c == '|') {
                Finish();
                bar_ = true;
            } else if (c == '~') {
                // The words on both sides are one syllable, sung on one note.
                if (!current_.empty()) current_ += ' ';
                joined_ = true;
            } else {
                Plain(c);
            }
        }
        // A space ends the word unless a "-" or "~" carries it on.
        if (!joined_) {
            Finish();
            if (!hyphen_) same_word_ = false;
        }
    }

    void EndLine() {
        joined_ = false;
        Finish();
        same_word_ = false;
        hyphen_ = false;
    }

    LyricSheet Take() {
        EndLine();
        return std::move(sheet_);
    }

  private:
    void Plain(char c) {
        joined_ = false;
        hyphen_ = false;
        current_ += c;
    }
    void Split() {
        joined_ = false;
        if (Finish()) sheet_.Syllables.back().Marked = true;
        if (!sheet_.Syllables.empty()) sheet_.Syllables.back().Marked = true;
        same_word_ = !sheet_.Syllables.empty() && !line_start_;
        marked_next_ = true;
        hyphen_ = true;
    }
    void Hold() {
        joined_ = false;
        Finish();
        if (!sheet_.Syllables.empty()) ++sheet_.Syllables.back().Holds;
    }
    // Ends the syllable being written, if there is one.
    bool Finish() {
        while (!current_.empty() && current_.back() == ' ') current_.pop_back();
        if (current_.empty()) return false;
        SheetSyllable s;
        s.Text = std::move(current_);
        current_.clear();
        s.WordStart = !same_word_;
        s.LineStart = line_start_;
        s.ParagraphStart = paragraph_start_ || sheet_.Syllables.empty();
        s.NewBar = bar_;
        s.SkipsBefore = skips_;
        s.Marked = marked_next_;
        s.Line = line_;
        sheet_.Syllables.push_back(std::move(s));
        line_start_ = paragraph_start_ = bar_ = marked_next_ = hyphen_ = false;
        skips_ = 0;
        same_word_ = true;  // until a space says otherwise
        return true;
    }

    LyricSheet sheet_;
    std::string current_;
    int line_ = 0;
    bool line_start_ = true;
    bool paragraph_start_ = true;
    bool same_word_ = false;
    bool joined_ = false;
    bool hyphen_ = false;
    bool bar_ = false;
    bool marked_next_ = false;
    int skips_ = 0;
};

}  // namespace

LyricSheet ParseLyricSheet(std::string_view Utf8) {
    if (Utf8.size() > kLongestSheetBytes)
        throw AlignError(
            AlignFault(AlignProblem::SheetTooLong).WithCount(static_cast<int64_t>(Utf8.size())));
    if (Utf8.starts_with("\xEF\xBB\xBF")) Utf8.remove_prefix(3);
    if (!IsValidUtf8(Utf8)) throw AlignError(AlignProblem::SheetNotUtf8);
    SheetBuilder builder;
    int line_number = 0;
    bool after_blank = true;
    size_t at = 0;
    while (at <= Utf8.size()) {
        const LineEnd end = LineEndFrom(Utf8, at);
        const std::string_view line = Utf8.substr(at, end.At - at);
        ++line_number;
        size_t i = SkipBlanks(line, 0);
        if (i == line.size()) {
            after_blank = true;
        } else {
            builder.StartLine(line_number, after_blank);
            after_blank = false;
            while (i < line.size()) {
                size_t j = i;
                // An escaped blank belongs to the token.
                while (j < line.size() && BlankAt(line, j) == 0) {
                    const bool escape = line[j] == '\\' && j + 1 < line.size();
                    j += escape ? 1 + CharacterAt(line, j + 1) : 1;
                }
                builder.Token(line.substr(i, j - i));
                i = SkipBlanks(line, j);
            }
            builder.EndLine();
        }
        if (end.Paragraph) after_blank = true;
        at = end.At + end.Length;
    }
    LyricSheet sheet = builder.Take();
    if (sheet.Syllables.empty()) throw AlignError(AlignProblem::SheetEmpty);
    return sheet;
}

}  // namespace verselane::align
