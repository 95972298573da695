#include "align/lyric_sheet.h"

#include <algorithm>
#include <stdexcept>

#include "align/align_error.h"
#include "model/utf8.h"

namespace verselane::align {

namespace {

// What separates the tokens of a line: a space, a tab, and the spaces of
// other widths that text copied from web pages and word processors holds
// (no-break, en to hair, zero width, narrow, ideographic, a byte order mark
// inside the text), which a reader sees as spaces between words.
bool IsBlank(char32_t c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200B) || c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

// The length in bytes of the blank at `at` of a line, 0 where there is none.
size_t BlankAt(std::string_view line, size_t at) {
    size_t next = at;
    return IsBlank(NextCodePoint(line, next)) ? next - at : 0;
}

size_t SkipBlanks(std::string_view line, size_t at) {
    while (at < line.size()) {
        const size_t n = BlankAt(line, at);
        if (n == 0) break;
        at += n;
    }
    return at;
}

// Where the line that starts at `at` ends, where the next one starts, and
// whether the end also closes a paragraph. A line ends at a line feed, a
// carriage return with or without a line feed after it (Windows, and old
// Mac text), a next-line character, or a line or paragraph separator.
struct LineEnd {
    size_t At = 0;
    size_t Next = 0;
    bool Paragraph = false;
};
LineEnd LineEndFrom(std::string_view text, size_t at) {
    for (size_t i = at; i < text.size();) {
        const size_t start = i;
        const char32_t c = NextCodePoint(text, i);
        if (c == '\r' && i < text.size() && text[i] == '\n') return {start, i + 1, false};
        if (c == '\n' || c == '\r' || c == 0x85 || c == 0x2028 || c == 0x2029)
            return {start, i, c == 0x2029};
    }
    return {text.size(), text.size() + 1, false};
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
                    NextCodePoint(line, j);
                    if (escape) NextCodePoint(line, j);
                }
                builder.Token(line.substr(i, j - i));
                i = SkipBlanks(line, j);
            }
            builder.EndLine();
        }
        if (end.Paragraph) after_blank = true;
        at = end.Next;
    }
    LyricSheet sheet = builder.Take();
    if (sheet.Syllables.empty()) throw AlignError(AlignProblem::SheetEmpty);
    return sheet;
}

}  // namespace verselane::align
