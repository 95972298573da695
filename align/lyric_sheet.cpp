#include "align/lyric_sheet.h"

#include <algorithm>
#include <map>
#include <optional>
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

// The blank-separated tokens of a line.
std::vector<std::string_view> Tokens(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = SkipBlanks(line, 0);
    while (i < line.size()) {
        size_t j = i;
        while (j < line.size() && BlankAt(line, j) == 0) NextCodePoint(line, j);
        out.push_back(line.substr(i, j - i));
        i = SkipBlanks(line, j);
    }
    return out;
}

// The text from the start of the first token to the end of the last.
std::string_view Span(std::string_view first, std::string_view last) {
    return {first.data(), static_cast<size_t>(last.data() + last.size() - first.data())};
}

// How many times in all a token such as "x2", "2x", "×2", "(x2)", "bis" or
// "twice" asks for; 0 for any other token.
int RepeatCount(std::string_view token) {
    std::string t = AsciiLowered(token);
    if (t.size() >= 2 &&
        ((t.front() == '(' && t.back() == ')') || (t.front() == '[' && t.back() == ']')))
        t = t.substr(1, t.size() - 2);
    if (t == "bis" || t == "twice") return 2;
    auto digit = [](std::string_view d) {
        return d.size() == 1 && d[0] >= '2' && d[0] <= '9' ? d[0] - '0' : 0;
    };
    const std::string_view text = t;
    for (const std::string_view times : {std::string_view("x"), std::string_view("\xC3\x97")}) {
        if (text.starts_with(times))
            if (const int n = digit(text.substr(times.size()))) return n;
        if (text.ends_with(times))
            if (const int n = digit(text.substr(0, text.size() - times.size()))) return n;
    }
    return 0;
}

bool IsRepeatWord(std::string_view lower) {
    for (const char* word : {"repeat", "rpt", "rpt.", "wiederholung", "repetir", "ripetere"})
        if (lower == word) return true;
    return false;
}

// Names of a song's sections as sheets in the splitter's languages write
// them. A line that is one of the first, with a number or a repeat count
// at most, is a label; the second are words a line might also sing
// ("Break!", "Coro"), so they are labels only with a colon or in brackets.
constexpr std::string_view kSectionNames[] = {
    "verse",   "chorus",     "refrain",      "pre-chorus", "prechorus", "post-chorus", "bridge",
    "intro",   "outro",      "instrumental", "interlude",  "strophe",   "couplet",     "estribillo",
    "estrofa", "ritornello", "strofa",       "refrão",     "refrao",    "refrein"};
constexpr std::string_view kSectionNamesWithColon[] = {
    "hook",   "coda", "solo",         "break",   "breakdown", "tag",    "ending",
    "spoken", "rap",  "vers",         "coro",    "verso",     "puente", "ponte",
    "pont",   "brug", "zwischenteil", "estrofe", "ref",       "ref.",   "refr."};

template <size_t N>
bool OneOf(std::string_view word, const std::string_view (&names)[N]) {
    return std::find(std::begin(names), std::end(names), word) != std::end(names);
}

// Instruments that name a section with one of the names above ("Guitar
// solo", "Piano intro").
constexpr std::string_view kInstruments[] = {
    "guitar", "piano", "sax",   "saxophone", "keyboard", "keys",    "organ",    "synth",
    "bass",   "drum",  "drums", "violin",    "fiddle",   "trumpet", "harmonica"};

// A section's number: "2", "#2", "2.", "two", "II", "2nd".
bool IsNumber(std::string_view token) {
    while (!token.empty() && (token.back() == '.' || token.back() == ')')) token.remove_suffix(1);
    if (token.starts_with('#')) token.remove_prefix(1);
    static constexpr std::string_view kWords[] = {"one", "two", "three", "four", "five", "six",
                                                  "ii",  "iii", "iv",    "v",    "vi",   "1st",
                                                  "2nd", "3rd", "4th",   "5th",  "6th"};
    if (OneOf(token, kWords)) return true;
    return !token.empty() && token.size() <= 2 &&
           std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A line that names a section rather than sings.
struct Label {
    std::string Key;      // the section it names, lower case ("chorus", "verse 2"); empty: none
    int Count = 0;        // the repeat count it gives ("x2"), 0 when none
    bool Repeat = false;  // "Repeat", "bis" or a count with no section named
};

std::optional<Label> ReadLabel(const std::vector<std::string_view>& whole) {
    // A repeat count may follow the brackets: "[Chorus] x2".
    Label label;
    size_t end = whole.size();
    while (end > 1) {
        const int n = RepeatCount(whole[end - 1]);
        if (n == 0) break;
        label.Count = n;
        --end;
    }
    std::string_view t = Span(whole.front(), whole[end - 1]);
    // One pair of brackets around the whole: "[C]Twinkle little [G]" is
    // words between chords.
    const bool bracketed = t.size() >= 2 && ((t.front() == '[' && t.find(']') == t.size() - 1) ||
                                             (t.front() == '{' && t.find('}') == t.size() - 1));
    const bool parenthesized = t.size() >= 2 && t.front() == '(' && t.back() == ')';
    if (bracketed || parenthesized) t = t.substr(1, t.size() - 2);
    bool colon = false;
    if (const size_t c = t.find(':'); c != std::string_view::npos) {
        colon = true;
        // In brackets a singer's name may follow ("[Chorus: Beyoncé]");
        // outside them only a repeat count may.
        if (!bracketed)
            for (std::string_view after : Tokens(t.substr(c + 1)))
                if (RepeatCount(after) == 0 && !IsRepeatWord(AsciiLowered(after)))
                    return std::nullopt;
        t = t.substr(0, c);
    }
    std::vector<std::string> name;
    bool repeat = false;
    for (const std::string_view token : Tokens(t)) {
        std::string lower = AsciiLowered(token);
        if (const int n = RepeatCount(token)) {
            label.Count = n;
        } else if (IsRepeatWord(lower)) {
            repeat = true;
        } else {
            name.push_back(std::move(lower));
        }
    }
    if (name.empty()) {
        // A count or "Repeat" alone repeats the lines before; empty
        // brackets name nothing and are left out.
        label.Repeat = repeat || label.Count > 0;
        if (!label.Repeat && !bracketed) return std::nullopt;
        return label;
    }
    // Outside brackets every word must name the section, its number or an
    // instrument, one a section's name: one that a line might sing too
    // ("Solo") only with a colon, in parentheses or after an instrument.
    if (!bracketed) {
        bool core = false, section = false, instrument = false;
        for (size_t i = 0; i < name.size(); ++i) {
            std::string word = name[i];
            while (!word.empty() && word.back() >= '0' && word.back() <= '9')
                word.pop_back();  // "verse1"
            if (OneOf(word, kSectionNames)) {
                core = section = true;
            } else if (OneOf(word, kSectionNamesWithColon)) {
                section = true;
            } else if (OneOf(word, kInstruments)) {
                instrument = true;
            } else if (i == 0 || !IsNumber(name[i])) {
                return std::nullopt;
            }
        }
        if (!section || name.size() > 3) return std::nullopt;
        if (!core && !colon && !parenthesized && !instrument) return std::nullopt;
    }
    for (const std::string& part : name) label.Key += (label.Key.empty() ? "" : " ") + part;
    // ChordPro's directives that open a section ("{soc}" ... "{eoc}") name
    // the section its "{chorus}" sings again.
    static constexpr std::pair<std::string_view, std::string_view> kDirectives[] = {
        {"soc", "chorus"}, {"start_of_chorus", "chorus"},
        {"sov", "verse"},  {"start_of_verse", "verse"},
        {"sob", "bridge"}, {"start_of_bridge", "bridge"}};
    if (bracketed && whole.front().front() == '{')
        for (const auto& [directive, section] : kDirectives)
            if (label.Key == directive) label.Key = section;
    return label;
}

// Whether a token names a chord ("Am7", "F#m", "Cmaj7", "G/B", "Dsus4"), and
// whether it is a bare note letter, which could as well be a sung word.
bool IsChordName(std::string_view t, bool& bare) {
    auto note = [](std::string_view n, size_t& i) {
        if (i >= n.size() || n[i] < 'A' || n[i] > 'G') return false;
        ++i;
        if (i < n.size() && (n[i] == '#' || n[i] == 'b')) ++i;
        return true;
    };
    size_t i = 0;
    if (!note(t, i)) return false;
    bare = i == 1 && t.size() == 1;
    while (i < t.size()) {
        bool matched = false;
        for (const std::string_view part :
             {"maj", "min", "dim", "aug", "sus", "add", "m", "M", "+", "(", ")"}) {
            if (t.substr(i).starts_with(part)) {
                i += part.size();
                matched = true;
                break;
            }
        }
        if (matched) continue;
        if (t[i] >= '0' && t[i] <= '9') {
            ++i;
        } else if ((t[i] == '#' || t[i] == 'b') && i + 1 < t.size() && t[i + 1] >= '0' &&
                   t[i + 1] <= '9') {
            i += 2;
        } else if (t[i] == '/') {
            ++i;
            if (!note(t, i) || i != t.size()) return false;
        } else {
            return false;
        }
    }
    return true;
}

// The length of a chord in brackets at `at` of a token, as ChordPro sheets
// write one over the syllable it is played on ("[Am]Twin[F]kle"): 0 where
// there is none.
size_t InlineChord(std::string_view token, size_t at) {
    if (token[at] != '[') return 0;
    const size_t close = token.find(']', at + 1);
    bool bare = false;
    if (close == std::string_view::npos || !IsChordName(token.substr(at + 1, close - at - 1), bare))
        return 0;
    return close + 1 - at;
}

// The length of a time tag at `at` of a token, as LRC lyrics write one
// before each line ("[01:23.45]") and enhanced LRC before each word
// ("<01:23.45>"): minutes, seconds, and hundredths or thousandths if any.
// 0 where there is none.
size_t TimeTag(std::string_view token, size_t at) {
    if (token[at] != '[' && token[at] != '<') return 0;
    const char close = token[at] == '[' ? ']' : '>';
    size_t i = at + 1;
    // Whether `least` to `most` digits follow, which are passed.
    auto digits = [&](size_t least, size_t most) {
        const size_t from = i;
        while (i < token.size() && i - from < most && token[i] >= '0' && token[i] <= '9') ++i;
        return i - from >= least;
    };
    if (!digits(1, 3) || i >= token.size() || token[i++] != ':' || !digits(2, 2)) return 0;
    if (i < token.size() && (token[i] == '.' || token[i] == ':')) {
        ++i;
        if (!digits(1, 3)) return 0;
    }
    return i < token.size() && token[i] == close ? i + 1 - at : 0;
}

// The length of a chord or a time tag at `at` of a token, neither of them
// sung; 0 where there is neither.
size_t UnsungTag(std::string_view token, size_t at) {
    if (const size_t chord = InlineChord(token, at)) return chord;
    return TimeTag(token, at);
}

// A line of chord names only ("Am  F  C  G", "| G | D/F# |", ChordPro's
// "[C] [G7]"), with at least one that is more than a bare letter:
// "A B C D E F G" is sung.
bool IsChordLine(const std::vector<std::string_view>& tokens) {
    bool any = false, all_bare = true;
    for (std::string_view token : tokens) {
        if (token == "|") continue;
        if (InlineChord(token, 0) == token.size()) token = token.substr(1, token.size() - 2);
        bool bare = false;
        if (!IsChordName(token, bare)) return false;
        any = true;
        all_bare = all_bare && bare;
    }
    return any && !all_bare;
}

// A line of guitar tablature, as sheets from guitar sites hold for an
// intro or a riff: a string's name, "|" or ":", then frets, bar lines and
// playing marks on a staff of at least four dashes ("e|---0--3h5---|").
bool IsTablatureLine(std::string_view line) {
    size_t i = 0;
    while (i < line.size() &&
           std::string_view("eBGDAEbgdaC#").find(line[i]) != std::string_view::npos)
        ++i;
    if (i == 0 || i > 2 || i >= line.size() || (line[i] != '|' && line[i] != ':')) return false;
    size_t dashes = 0;
    for (; i < line.size(); ++i) {
        if (line[i] == '-')
            ++dashes;
        else if (std::string_view("|:0123456789hpbrsx/\\~^()<>*. \t").find(line[i]) ==
                 std::string_view::npos)
            return false;
    }
    return dashes >= 4;
}

// A line that credits the song's writers or its publisher ("Songwriters:
// ...", "Lyrics © ..."), or that a lyrics web page leaves in copied text
// ("You might also like", "12Embed"): no singer sings it.
bool IsCreditLine(const std::vector<std::string_view>& tokens) {
    // A word that opens with "©" ("© 2004", "©Sony"); inside a word it is
    // part of another letter read in the wrong code page ("pÃ©" for "pé").
    for (const std::string_view token : tokens)
        if (token.starts_with("\xC2\xA9")) return true;
    const std::string lower = AsciiLowered(Span(tokens.front(), tokens.back()));
    for (const std::string_view start : {"songwriter:",
                                         "songwriters:",
                                         "writer:",
                                         "writers:",
                                         "writer(s):",
                                         "written by ",
                                         "lyrics by ",
                                         "lyrics provided by ",
                                         "lyrics licensed ",
                                         "lyrics powered by ",
                                         "words by ",
                                         "words and music by ",
                                         "music by ",
                                         "composed by ",
                                         "source:",
                                         "copyright ",
                                         "all rights reserved",
                                         "text und musik:",
                                         "paroles et musique:",
                                         "letra y música:",
                                         "you might also like"})
        if (std::string_view(lower).starts_with(start) || lower == start) return true;
    // "Embed" with the count a lyrics page puts before it, alone on the last line.
    std::string_view embed = lower;
    while (!embed.empty() && embed.front() >= '0' && embed.front() <= '9') embed.remove_prefix(1);
    return embed == "embed";
}

// A line of the words as they are sung, in order.
struct SungLine {
    std::string_view Text;
    int Number = 0;
    bool ParagraphStart = false;
};

// Reads the layout of the sheet line by line: leaves out labels and chord
// lines and sings out the repeats.
class SheetLayout {
  public:
    void Blank() {
        after_blank_ = true;
        EndSection();
        stanza_.clear();
    }

    // A line that is not blank.
    void Line(std::string_view text, int number) {
        const std::vector<std::string_view> tokens = Tokens(text);
        int times = 1;
        // A line with a "\\" in it is sung as written.
        if (text.find('\\') == std::string_view::npos) {
            if (IsChordLine(tokens)) {
                Note(SheetLineNote::Kind::Chords, tokens, number);
                return;
            }
            if (IsTablatureLine(Span(tokens.front(), tokens.back()))) {
                Note(SheetLineNote::Kind::Tablature, tokens, number);
                return;
            }
            if (const std::optional<Label> label = ReadLabel(tokens)) {
                ReadLabelLine(*label, tokens, number);
                return;
            }
            if (IsCreditLine(tokens)) {
                Note(SheetLineNote::Kind::Credit, tokens, number);
                return;
            }
            if (tokens.size() >= 2) {
                if (const int n = RepeatCount(tokens.back())) {
                    times = n;
                    text = text.substr(0, static_cast<size_t>(tokens.back().data() - text.data()));
                }
            }
        }
        Sing({text, number, after_blank_});
        after_blank_ = false;
        if (times > 1) {
            SheetLineNote& note = Note(SheetLineNote::Kind::SungAgain, tokens, number);
            note.From = note.To = number;
            note.Times = times - 1;
            for (int i = 1; i < times; ++i) Sing({text, number, false});
        }
    }

    std::vector<SungLine> Take(std::vector<SheetLineNote>& notes) {
        EndSection();
        notes = std::move(notes_);
        return std::move(lines_);
    }

  private:
    struct Section {
        std::string Key;
        int Count = 0;
        size_t Note = 0;  // the label's entry in notes_
        std::vector<SungLine> Body;
    };

    void ReadLabelLine(const Label& label, const std::vector<std::string_view>& tokens,
                       int number) {
        EndSection();
        const size_t note = notes_.size();
        Note(SheetLineNote::Kind::Label, tokens, number);
        if (label.Key.empty()) {
            // A repeat on its own sings the lines since the last blank line or label again.
            if (label.Repeat && !stanza_.empty()) {
                SingAgain(stanza_, label.Count > 0 ? label.Count - 1 : 1, note);
                after_blank_ = false;  // the lines after it go on in the same paragraph
            }
            return;
        }
        section_ = Section{label.Key, label.Count, note, {}};
        stanza_.clear();
        after_blank_ = true;  // a section opens a paragraph
    }

    // A section's body is recorded for a label that names it again; a
    // label with nothing under it sings the body that the same name had.
    void EndSection() {
        if (!section_) return;
        Section section = std::move(*section_);
        section_.reset();
        if (!section.Body.empty()) {
            sections_[section.Key] = section.Body;
            sections_[section.Key.substr(0, section.Key.find(' '))] = section.Body;
            if (section.Count > 1) SingAgain(section.Body, section.Count - 1, section.Note);
            return;
        }
        auto earlier = sections_.find(section.Key);
        if (earlier == sections_.end())
            earlier = sections_.find(section.Key.substr(0, section.Key.find(' ')));
        if (earlier == sections_.end()) return;
        SingAgain(earlier->second, std::max(1, section.Count), section.Note);
    }

    // Adds the lines again; they are the stanza or a recorded section, which
    // adding leaves as they are.
    void SingAgain(const std::vector<SungLine>& lines, int times, size_t note) {
        SheetLineNote& n = notes_[note];
        n.What = SheetLineNote::Kind::SungAgain;
        n.From = lines.front().Number;
        n.To = lines.back().Number;
        n.Times = times;
        for (int t = 0; t < times; ++t) {
            for (size_t i = 0; i < lines.size(); ++i) Add({lines[i].Text, lines[i].Number, i == 0});
        }
        after_blank_ = true;
    }

    void Sing(const SungLine& line) {
        Add(line);
        stanza_.push_back(line);
        if (section_) section_->Body.push_back(line);
    }

    void Add(const SungLine& line) {
        bytes_ += line.Text.size();
        if (bytes_ > kLongestSheetBytes)
            throw AlignError(AlignFault(AlignProblem::SheetTooLong)
                                 .WithCount(static_cast<int64_t>(bytes_))
                                 .WithText("sung out"));
        lines_.push_back(line);
    }

    SheetLineNote& Note(SheetLineNote::Kind what, const std::vector<std::string_view>& tokens,
                        int number) {
        SheetLineNote note;
        note.What = what;
        note.Line = number;
        note.Text = Span(tokens.front(), tokens.back());
        notes_.push_back(std::move(note));
        return notes_.back();
    }

    std::vector<SungLine> lines_;
    std::vector<SheetLineNote> notes_;
    std::vector<SungLine> stanza_;
    std::optional<Section> section_;
    std::map<std::string, std::vector<SungLine>> sections_;
    bool after_blank_ = true;
    size_t bytes_ = 0;
};

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
            if (token.substr(i).starts_with("\xC2\xAD")) {
                SoftSplit();
                ++i;
            } else if (token.substr(i).starts_with("\xE2\x81\xA0")) {
                i += 2;  // a word joiner: invisible, and it marks nothing
            } else if (c == '\\') {
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
            } else if (const size_t tag = UnsungTag(token, i)) {
                i += tag - 1;
            } else {
                Plain(c);
            }
        }
        // A space ends the word unless a "-" or "~" carries it on.
        if (!joined_) {
            Finish();
            if (!hyphen_) same_word_ = false;
        }
        soft_split_ = false;
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

    // The syllable just written numbers its stanza.
    void MarkVerseNumber() {
        if (!sheet_.Syllables.empty()) sheet_.Syllables.back().VerseNumber = true;
    }

  private:
    void Plain(char c) {
        joined_ = false;
        hyphen_ = false;
        current_ += c;
    }
    void Split() {
        joined_ = false;
        soft_split_ = false;
        if (Finish()) sheet_.Syllables.back().Marked = true;
        if (!sheet_.Syllables.empty()) sheet_.Syllables.back().Marked = true;
        same_word_ = !sheet_.Syllables.empty() && !line_start_;
        marked_next_ = true;
        hyphen_ = true;
    }
    // A soft hyphen (U+00AD), which text from web pages holds where a
    // typesetter may break a word: a break between two of its syllables,
    // as the splitter's rules make one, which the notes may overrule. It is
    // invisible, so no syllable keeps it.
    void SoftSplit() {
        joined_ = false;
        if (Finish()) soft_split_ = true;
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
        s.SplitByRule = soft_split_ && same_word_ && !line_start_;
        s.Line = line_;
        sheet_.Syllables.push_back(std::move(s));
        line_start_ = paragraph_start_ = bar_ = marked_next_ = hyphen_ = soft_split_ = false;
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
    bool soft_split_ = false;  // a soft hyphen ended the syllable before in this word
    int skips_ = 0;
};

// Whether a token is a stanza's number as songbooks and hymnals print it
// before the stanza's first word: one or two digits and "." or ")".
bool IsVerseNumber(std::string_view token) {
    if (token.size() < 2 || token.size() > 3 || (token.back() != '.' && token.back() != ')'))
        return false;
    return std::all_of(token.begin(), token.end() - 1, [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

LyricSheet ParseLyricSheet(std::string_view Utf8) {
    if (Utf8.size() > kLongestSheetBytes)
        throw AlignError(
            AlignFault(AlignProblem::SheetTooLong).WithCount(static_cast<int64_t>(Utf8.size())));
    if (Utf8.starts_with("\xEF\xBB\xBF")) Utf8.remove_prefix(3);
    if (Utf8.find('\0') != std::string_view::npos) throw AlignError(AlignProblem::SheetNotText);
    if (!IsValidUtf8(Utf8)) throw AlignError(AlignProblem::SheetNotUtf8);
    SheetLayout layout;
    int line_number = 0;
    size_t at = 0;
    while (at <= Utf8.size()) {
        const LineEnd end = LineEndFrom(Utf8, at);
        const std::string_view line = Utf8.substr(at, end.At - at);
        ++line_number;
        if (SkipBlanks(line, 0) == line.size()) {
            layout.Blank();
        } else {
            layout.Line(line, line_number);
        }
        if (end.Paragraph) layout.Blank();
        at = end.Next;
    }
    std::vector<SheetLineNote> notes;
    SheetBuilder builder;
    for (const SungLine& sung : layout.Take(notes)) {
        const std::string_view line = sung.Text;
        builder.StartLine(sung.Number, sung.ParagraphStart);
        const size_t first = SkipBlanks(line, 0);
        size_t i = first;
        while (i < line.size()) {
            size_t j = i;
            // An escaped blank belongs to the token.
            while (j < line.size() && BlankAt(line, j) == 0) {
                const bool escape = line[j] == '\\' && j + 1 < line.size();
                NextCodePoint(line, j);
                if (escape) NextCodePoint(line, j);
            }
            const std::string_view token = line.substr(i, j - i);
            const bool opens = i == first;
            builder.Token(token);
            i = SkipBlanks(line, j);
            if (opens && i < line.size() && IsVerseNumber(token)) builder.MarkVerseNumber();
        }
        builder.EndLine();
    }
    LyricSheet sheet = builder.Take();
    sheet.NotSungAsWritten = std::move(notes);
    if (sheet.Syllables.empty()) throw AlignError(AlignProblem::SheetEmpty);
    return sheet;
}

}  // namespace verselane::align
