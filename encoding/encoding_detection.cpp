#include "encoding/encoding_detection.h"
#include "model/utf8.h"

#include <uchardet.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "encoding/text_conversion.h"

namespace verselane {

namespace {

constexpr const char* kFallback = "WINDOWS-1252";
constexpr size_t kSampleLimit = 64 * 1024;
// How much more plausible (in mean typicality) another reading must be to
// overrule uchardet's answer, and to overrule Windows-1252.
constexpr double kTrustBonus = 0.25;
constexpr double kFallbackBonus = 0.25;
// What a reading with characters that no song text holds loses.
constexpr double kImpossible = 100;
constexpr double kNoReading = -kImpossible / 2;

// The scripts that the code pages of the list are written in, for judging
// how plausible a reading is.
enum class Script {
    Unicode,
    Western,
    CentralEuropean,
    Turkish,
    Baltic,
    Vietnamese,
    Cyrillic,
    Greek,
    Hebrew,
    Arabic,
    Thai,
    Japanese,
    Chinese,
    Korean,
};

struct Entry {
    const char* label;
    const char* name;
    Script script;
};

// Most common first within each script: on a tie the earlier one is taken.
constexpr Entry kEntries[] = {
    {"Unicode (UTF-8)", "UTF-8", Script::Unicode},
    {"Western (Windows-1252)", "WINDOWS-1252", Script::Western},
    {"Western (ISO-8859-1)", "ISO-8859-1", Script::Western},
    {"Western with euro (ISO-8859-15)", "ISO-8859-15", Script::Western},
    {"Western, DOS (CP437)", "CP437", Script::Western},
    {"Central European (Windows-1250)", "WINDOWS-1250", Script::CentralEuropean},
    {"Central European (ISO-8859-2)", "ISO-8859-2", Script::CentralEuropean},
    {"Turkish (Windows-1254)", "WINDOWS-1254", Script::Turkish},
    {"Baltic (Windows-1257)", "WINDOWS-1257", Script::Baltic},
    {"Baltic (ISO-8859-13)", "ISO-8859-13", Script::Baltic},
    {"Vietnamese (Windows-1258)", "WINDOWS-1258", Script::Vietnamese},
    {"Vietnamese (VISCII)", "VISCII", Script::Vietnamese},
    {"Cyrillic (Windows-1251)", "WINDOWS-1251", Script::Cyrillic},
    {"Cyrillic (KOI8-R)", "KOI8-R", Script::Cyrillic},
    {"Cyrillic (KOI8-U)", "KOI8-U", Script::Cyrillic},
    {"Cyrillic (ISO-8859-5)", "ISO-8859-5", Script::Cyrillic},
    {"Cyrillic, DOS (IBM866)", "IBM866", Script::Cyrillic},
    {"Cyrillic (Mac)", "MAC-CYRILLIC", Script::Cyrillic},
    {"Greek (Windows-1253)", "WINDOWS-1253", Script::Greek},
    {"Greek (ISO-8859-7)", "ISO-8859-7", Script::Greek},
    {"Hebrew (Windows-1255)", "WINDOWS-1255", Script::Hebrew},
    {"Hebrew (ISO-8859-8)", "ISO-8859-8", Script::Hebrew},
    {"Arabic (Windows-1256)", "WINDOWS-1256", Script::Arabic},
    {"Arabic (ISO-8859-6)", "ISO-8859-6", Script::Arabic},
    {"Thai (TIS-620)", "TIS-620", Script::Thai},
    {"Thai (Windows-874)", "WINDOWS-874", Script::Thai},
    {"Japanese (Shift-JIS)", "SHIFT_JIS", Script::Japanese},
    {"Japanese (Windows-31J)", "CP932", Script::Japanese},
    {"Japanese (EUC-JP)", "EUC-JP", Script::Japanese},
    {"Chinese, simplified (GB18030)", "GB18030", Script::Chinese},
    {"Chinese, simplified (GBK)", "GBK", Script::Chinese},
    {"Chinese, traditional (Big5)", "BIG5", Script::Chinese},
    {"Chinese, traditional (Big5-HKSCS)", "BIG5-HKSCS", Script::Chinese},
    {"Korean (EUC-KR)", "EUC-KR", Script::Korean},
    {"Korean (CP949)", "CP949", Script::Korean},
};

std::string Upper(std::string name) {
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

const Entry* FindEntry(const std::string& name) {
    std::string upper = Upper(name);
    if (upper == "UHC") upper = "CP949";  // uchardet's name for it
    if (upper == "X-MAC-CYRILLIC") upper = "MAC-CYRILLIC";
    for (const Entry& e : kEntries) {
        if (upper == e.name) return &e;
    }
    return nullptr;
}

bool HasHighBytes(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
}

bool In(char32_t cp, char32_t first, char32_t last) {
    return cp >= first && cp <= last;
}

// The lower-case form of the upper-case letters of the scripts above, or 0
// for anything that is not an upper-case letter.
char32_t LowerOfUpper(char32_t cp) {
    if (In(cp, 'A', 'Z') || (In(cp, 0xC0, 0xDE) && cp != 0xD7) || In(cp, 0x391, 0x3AB) ||
        In(cp, 0x410, 0x42F)) {
        return cp + 0x20;
    }
    if (In(cp, 0x400, 0x40F)) return cp + 0x50;
    if (cp == 0x178) return 0xFF;
    if (cp == 0x386) return 0x3AC;
    if (In(cp, 0x388, 0x38A)) return cp + 0x25;
    if (cp == 0x38C) return 0x3CC;
    if (In(cp, 0x38E, 0x38F)) return cp + 0x3F;
    const bool even = cp % 2 == 0;
    if ((In(cp, 0x100, 0x137) || In(cp, 0x14A, 0x177) || In(cp, 0x218, 0x21B) ||
         In(cp, 0x1EA0, 0x1EF9)) &&
        even) {
        return cp + 1;
    }
    if ((In(cp, 0x139, 0x148) || In(cp, 0x179, 0x17E)) && !even) return cp + 1;
    if (cp == 0x130) return 'i';
    return 0;
}

bool IsLetter(char32_t cp) {
    return In(cp, 'a', 'z') || In(cp, 'A', 'Z') ||
           (In(cp, 0xC0, 0x24F) && cp != 0xD7 && cp != 0xF7) || In(cp, 0x386, 0x3CE) ||
           In(cp, 0x400, 0x45F) || In(cp, 0x5D0, 0x5EA) || In(cp, 0x621, 0x64A) ||
           In(cp, 0xE01, 0xE4E) || In(cp, 0x1EA0, 0x1EF9) || In(cp, 0x3041, 0x30FF) ||
           In(cp, 0x4E00, 0x9FFF) || In(cp, 0xAC00, 0xD7A3);
}

// Signs that songs of any language use.
bool IsCommonSign(char32_t cp) {
    static constexpr std::u32string_view kSigns =
        U"\u00A0\u00A9\u00AE\u00B0\u00B7\u00AB\u00BB"
        U"\u00A1\u00BF\u00B4\u2018\u2019\u201C\u201D"
        U"\u201E\u2013\u2014\u2026\u2022\u20AC\u2122";
    return kSigns.find(cp) != std::u32string_view::npos || In(cp, 0x3000, 0x303F) ||
           In(cp, 0xFF01, 0xFF5E);
}

// Which ideographs and Hangul syllables texts use most: bit 1 for Chinese
// (GB2312's characters and Big5's frequent ones), bit 2 for Japanese (JIS
// level 1), bit 4 for Korean (the Hangul of KS X 1001), read once by
// decoding those byte ranges. What an East Asian code page makes of
// another's bytes is full of rarer ones ("偦偆" or "궩궎" for the kana "そう").
constexpr char32_t kFirstIdeograph = 0x4E00;
constexpr char32_t kLastIdeograph = 0xD7A3;  // the ideographs, then Hangul

const std::vector<uint8_t>& IdeographUse() {
    struct Range {
        const char* encoding;
        int first_lead, last_lead;
        int first_trail, last_trail;  // and a second run of trail bytes, if any
        int other_first_trail, other_last_trail;
        uint8_t bit;
    };
    static constexpr Range kRanges[] = {
        {"GB18030", 0xB0, 0xF7, 0xA1, 0xFE, 0, -1, 1},
        {"BIG5", 0xA4, 0xC6, 0x40, 0x7E, 0xA1, 0xFE, 1},
        {"SHIFT_JIS", 0x88, 0x98, 0x40, 0x7E, 0x80, 0xFC, 2},
        {"EUC-KR", 0xB0, 0xC8, 0xA1, 0xFE, 0, -1, 4},
    };
    static const std::vector<uint8_t> kUse = [] {
        std::vector<uint8_t> use(kLastIdeograph - kFirstIdeograph + 1, 0);
        for (const Range& r : kRanges) {
            std::string bytes;
            for (int lead = r.first_lead; lead <= r.last_lead; ++lead) {
                for (int trail = 0x40; trail <= 0xFE; ++trail) {
                    if (!(trail >= r.first_trail && trail <= r.last_trail) &&
                        !(trail >= r.other_first_trail && trail <= r.other_last_trail))
                        continue;
                    // A line end after each pair: a pair the code page does
                    // not know cannot run into the next.
                    bytes += {static_cast<char>(lead), static_cast<char>(trail), '\n'};
                }
            }
            const std::string utf8 = TextDecoder(r.encoding).ToUtf8(bytes);
            for (size_t i = 0; i < utf8.size();) {
                const char32_t cp = NextCodePoint(utf8, i);
                if (In(cp, kFirstIdeograph, kLastIdeograph)) use[cp - kFirstIdeograph] |= r.bit;
            }
        }
        return use;
    }();
    return kUse;
}

bool CommonIdeograph(char32_t cp, uint8_t bit) {
    return In(cp, kFirstIdeograph, kLastIdeograph) && (IdeographUse()[cp - kFirstIdeograph] & bit);
}

// How typical a character is of texts in a script: 3 for its most frequent
// letters, 2 for its other letters, 0 for a sign or a letter that the
// script's languages seldom use, -1 for a letter of another script.
int Typicality(Script script, char32_t cp) {
    auto listed = [cp](std::u32string_view letters) {
        return letters.find(cp) != std::u32string_view::npos;
    };
    switch (script) {
        case Script::Unicode:
            return 0;
        case Script::Western:
            if (listed(U"éèêàâäáçíóôöúüñß")) return 3;
            if (listed(U"ëãåìîïòõùûœæøÿðþ")) return 2;
            break;
        case Script::CentralEuropean:
            if (listed(U"ąćęłńśźżčěřšůžő")) return 3;
            if (listed(U"áéíóúýäöüďňťűăâîşţľĺŕô")) return 2;
            break;
        case Script::Turkish:
            if (listed(U"çğıöşü")) return 3;
            if (listed(U"âîûéè")) return 2;
            break;
        case Script::Baltic:
            if (listed(U"ąčęėįšųūžāēīļņ")) return 3;
            if (listed(U"ģķōŗõäöüé")) return 2;
            break;
        case Script::Vietnamese:
            if (listed(U"ăâđêôơư") || (In(cp, 0x1EA0, 0x1EF9) && cp % 2 == 1)) return 3;
            if (listed(U"àáãèéìíòóõùúýĩũ")) return 2;
            if (In(cp, 0x300, 0x323)) return 0;  // a tone mark that found no letter
            break;
        case Script::Cyrillic:
            if (listed(U"оеаинтсрвлкмдпу")) return 3;
            if (In(cp, 0x430, 0x45F)) return 2;
            break;
        case Script::Greek:
            if (listed(U"αεηικλμνοπρσςτυάέήίόύώ")) return 3;
            if (In(cp, 0x3AC, 0x3CE)) return 2;
            break;
        case Script::Hebrew:
            if (In(cp, 0x5D0, 0x5EA)) return 3;
            if (In(cp, 0x5B0, 0x5C7)) return 2;  // points
            break;
        case Script::Arabic:
            if (In(cp, 0x621, 0x64A)) return 3;
            if (In(cp, 0x64B, 0x652) || cp == 0x60C || cp == 0x61B || cp == 0x61F) return 2;
            break;
        case Script::Thai:
            // Letters that Thai words seldom or no longer hold (obsolete
            // "ฃ" and "ฅ", Sanskrit and Pali ones), digits and signs: what
            // the Thai code pages make of other East Asian bytes.
            if (std::u32string_view(U"ฃฅฆฌฎฏฐฑฒฤฦฬฮ").find(cp) != std::u32string_view::npos ||
                In(cp, 0xE4F, 0xE5B) || cp == 0xE3F)
                return 1;
            if (In(cp, 0xE01, 0xE5B)) return 3;
            break;
        case Script::Japanese:
            if (In(cp, 0x3041, 0x30FF)) return 3;
            if (In(cp, 0x4E00, 0x9FFF)) return CommonIdeograph(cp, 2) ? 2 : 1;
            break;
        case Script::Chinese:
            if (In(cp, 0x4E00, 0x9FFF)) return CommonIdeograph(cp, 1) ? 3 : 1;
            break;
        case Script::Korean:
            if (In(cp, 0xAC00, 0xD7A3)) return CommonIdeograph(cp, 4) ? 3 : 1;
            if (In(cp, 0x4E00, 0x9FFF)) return 1;
            break;
    }
    if (const char32_t lower = LowerOfUpper(cp); lower != 0 && lower != cp) {
        return std::max(0, Typicality(script, lower) - 1);
    }
    if (IsCommonSign(cp)) return 0;
    return IsLetter(cp) ? -1 : -4;  // a symbol, control or undecodable byte: a poor reading
}

bool IsAsciiLetter(char32_t cp) {
    return In(cp, 'a', 'z') || In(cp, 'A', 'Z');
}

// A letter of a script that does not use Latin letters.
bool IsNonLatinLetter(char32_t cp) {
    return IsLetter(cp) && !IsAsciiLetter(cp) && !In(cp, 0xC0, 0x24F) && !In(cp, 0x1EA0, 0x1EF9);
}

bool IsIdeograph(char32_t cp) {
    return In(cp, 0x3041, 0x30FF) || In(cp, 0x4E00, 0x9FFF) || In(cp, 0xAC00, 0xD7A3);
}

// A control character that words do not hold: not a tab, a line end or
// the NUL bytes that pad some texts.
bool IsStrayControl(char32_t cp) {
    return In(cp, 0x01, 0x08) || In(cp, 0x0B, 0x0C) || In(cp, 0x0E, 0x1F);
}

// Thai vowel and tone marks, written above or below the consonant before them.
bool IsThaiMark(char32_t cp) {
    return cp == 0xE31 || In(cp, 0xE34, 0xE3A) || In(cp, 0xE47, 0xE4E);
}

bool IsSpace(char32_t cp) {
    return cp == ' ' || cp == '\t' || cp == '\r' || cp == '\n' || cp == 0xA0;
}

// A typographic sign standing where writers set it: an apostrophe at a
// word, an opening quote (or "¡", "¿") before one, a closing quote after
// one, a dash between words, an ellipsis after one, "©" before a year.
// Such a sign tells of the right reading as a common letter does; other
// code pages make letters of its byte, and set them where no word has them
// ("DonỖt" for "Don’t", "ẹ 1999" for "© 1999").
bool SignInPlace(char32_t cp, char32_t previous, char32_t next) {
    const auto word = [](char32_t c) { return IsLetter(c) || In(c, '0', '9'); };
    switch (cp) {
        case 0x2019:  // ’
            return IsLetter(previous) || IsLetter(next);
        case 0x201C:  // “, which also closes a German quote („Hallo“)
            if (IsLetter(previous) && !word(next)) return true;
            [[fallthrough]];
        case 0x2018:  // ‘
        case 0xAB:    // «
        case 0x201E:  // „
        case 0xA1:    // ¡
        case 0xBF:    // ¿
            // A capital after it opens a quoted phrase or a question even
            // where the text before (a track name) runs into it ("Song“Hey").
            if (IsLetter(previous) && LowerOfUpper(next) != 0) return true;
            return !word(previous) && (IsLetter(next) || IsSpace(next));
        case 0x201D:  // ”
        case 0xBB:    // »
            return !word(next) && (IsLetter(previous) || IsSpace(previous) ||
                                   std::u32string_view(U".,;!?\u2026").find(previous) !=
                                       std::u32string_view::npos);
        case 0x2013:  // –
        case 0x2014:  // —
            return (IsSpace(previous) && IsSpace(next)) || (IsLetter(previous) && IsLetter(next));
        case 0x2026:  // …
            return !word(next);
        case 0xA9:  // ©
            return !IsLetter(previous) && (IsSpace(next) || In(next, '0', '9'));
        case 0xAE:    // ®
        case 0x2122:  // ™
            return IsLetter(previous) && !IsLetter(next);
        default:
            return false;
    }
}

bool IsLowerLetter(char32_t cp) {
    return IsLetter(cp) && LowerOfUpper(cp) == 0;
}

// Where a word boundary lies before text[k]: no letter before it, or a
// capital after a small letter (a name run into a syllable: "emYêu").
bool WordBreakBefore(const std::u32string& text, size_t k) {
    return k == 0 || !IsLetter(text[k - 1]) ||
           (LowerOfUpper(text[k]) != 0 && IsLowerLetter(text[k - 1]));
}

// Which characters of the text stand where no Vietnamese word could hold
// them. A Vietnamese word is one syllable: its vowels are one run (a vowel
// after a consonant after a vowel opens a second syllable: "Songẹ"), and it
// holds no f, j, w or z, which the language does not write ("ỂPIEWAJ").
// Worked out a word at a time, in one pass over the text.
std::vector<bool> OutsideVietnameseWords(const std::u32string& text) {
    const auto vowel = [](char32_t c) {
        return std::u32string_view(U"aeiouyAEIOUY").find(c) != std::u32string_view::npos ||
               (c >= 0xC0 && IsLetter(c) && c != 0x110 && c != 0x111);
    };
    std::vector<bool> outside(text.size(), false);
    for (size_t start = 0; start < text.size();) {
        size_t end = start + 1;
        while (end < text.size() && !WordBreakBefore(text, end)) ++end;
        bool foreign = false, vowels = false, closed = false;
        size_t second = end;  // where a second run of vowels opens
        for (size_t k = start; k < end; ++k) {
            foreign = foreign ||
                      std::u32string_view(U"fjwzFJWZ").find(text[k]) != std::u32string_view::npos;
            if (vowel(text[k])) {
                if (closed) second = std::min(second, k);
                vowels = true;
            } else {
                closed = vowels;
            }
        }
        for (size_t k = foreign ? start : second; k < end; ++k) outside[k] = true;
        start = end;
    }
    return outside;
}

// How plausible the text is as decoded: the mean typicality of its
// characters beyond ASCII, less points for what wrong code pages make of
// words: a capital inside a word (a wrong Cyrillic code page), a letter of a
// non-Latin script touching a Latin letter (a non-Latin code page reading the
// accented letters of a Latin word), three accented Latin letters in a row, a
// Vietnamese word that is no syllable, a Thai mark after no consonant or a
// Thai leading vowel before none. A letter of an alphabet standing alone,
// outside any word, counts as a sign; a typographic sign where writers set
// it counts as a letter. A reading with characters that no
// song's words hold ranks below every reading without.
double Plausibility(Script script, std::string_view utf8) {
    std::u32string text;
    for (size_t i = 0; i < utf8.size();) text.push_back(NextCodePoint(utf8, i));
    const std::vector<bool> outside_vietnamese =
        script == Script::Vietnamese ? OutsideVietnameseWords(text) : std::vector<bool>();
    int64_t total = 0;
    int64_t count = 0;
    int64_t controls = 0;
    bool impossible = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char32_t cp = text[i];
        // An undecodable byte, a C1 control or box drawing (what DOS code
        // pages make of other code pages' letters) is in no song's words.
        impossible = impossible || cp == 0xFFFD || In(cp, 0x80, 0x9F) || In(cp, 0x2500, 0x259F);
        // So are control characters, many of them: bytes that are no text at
        // all. A stray one is a control in every code page but VISCII (left
        // out of the running by ReadsControlsAsLetters) and tells nothing.
        if (IsStrayControl(cp)) ++controls;
        const char32_t previous = i > 0 ? text[i - 1] : U' ';
        const char32_t next = i + 1 < text.size() ? text[i + 1] : U' ';
        if (cp >= 0x80) {
            int typical = Typicality(script, cp);
            const bool alone = !IsLetter(previous) && !IsLetter(next) && !IsIdeograph(cp);
            if (alone && std::u32string_view(U"àáéó").find(cp) == std::u32string_view::npos) {
                typical = std::min(typical, 0);
            }
            if (SignInPlace(cp, previous, next)) typical = 2;
            // A capital inside a word; a Latin letter before a letter of
            // another script is no word of it (a track name before a
            // syllable), and loses points below for that.
            if (LowerOfUpper(cp) != 0 && IsLetter(previous) &&
                !(IsAsciiLetter(previous) && IsNonLatinLetter(cp)) &&
                (IsLowerLetter(previous) || IsLowerLetter(next))) {
                typical -= 2;
            }
            // ... and a small letter right before a capitalised word ("äHallo"
            // for "„Hallo", "íAy" for "¡Ay").
            if (IsLowerLetter(cp) && LowerOfUpper(next) != 0 && i + 2 < text.size() &&
                IsLowerLetter(text[i + 2])) {
                typical -= 2;
            }
            if (IsThaiMark(cp) && !In(previous, 0xE01, 0xE2E) && !IsThaiMark(previous)) {
                typical -= 4;
            }
            if (In(cp, 0xE40, 0xE44) && !In(next, 0xE01, 0xE2E)) typical -= 4;
            // Hebrew's final forms (ך ם ן ף ץ) end a word, and its points
            // follow a letter: other code pages' words read in Windows-1255
            // ("При" as "ֿנט") break both.
            const auto hebrew_letter = [](char32_t c) { return In(c, 0x5D0, 0x5EA); };
            if ((cp == 0x5DA || cp == 0x5DD || cp == 0x5DF || cp == 0x5E3 || cp == 0x5E5) &&
                hebrew_letter(next)) {
                typical -= 4;
            }
            if (In(cp, 0x5B0, 0x5C7) && !hebrew_letter(previous) && !In(previous, 0x5B0, 0x5C7)) {
                typical -= 4;
            }
            // Greek's final sigma ends a word too (Cyrillic read in
            // Windows-1253 makes "то" of "ςξ").
            if (cp == 0x3C2 && IsLetter(next)) typical -= 4;
            if (script > Script::Unicode && script <= Script::Vietnamese && i >= 2 &&
                IsLetter(previous) && previous >= 0x80 && IsLetter(text[i - 2]) &&
                text[i - 2] >= 0x80) {
                typical -= 4;  // Latin words have no three accented letters in a row
            }
            // A Vietnamese word is a syllable: "đ" only at its start, and after
            // its vowels no consonant but c, ch, m, n, ng, nh, p and t.
            if (script == Script::Vietnamese &&
                (((cp == 0x111 || cp == 0x110) && IsLetter(previous)) ||
                 (IsLetter(cp) && outside_vietnamese[i]) ||
                 (next < 0x80 &&
                  std::string_view("bdfjklqrsvwxzBDFJKLQRSVWXZ").find(static_cast<char>(next)) !=
                      std::string_view::npos))) {
                typical -= 4;
            }
            total += typical;
            ++count;
        }
        if ((IsAsciiLetter(previous) && IsNonLatinLetter(cp)) ||
            (IsNonLatinLetter(previous) && IsAsciiLetter(cp))) {
            total -= 3;
        }
    }
    impossible = impossible || controls * 50 > static_cast<int64_t>(text.size());
    const double mean = count == 0 ? 0 : static_cast<double>(total) / static_cast<double>(count);
    return impossible ? mean - kImpossible : mean;
}

// Whether the code page reads a control byte of the sample as a letter
// (VISCII does): the sample is then no text of it.
bool ReadsControlsAsLetters(const char* name, std::string_view sample) {
    std::string controls;
    for (char c : sample) {
        if (IsStrayControl(static_cast<unsigned char>(c)) &&
            controls.find(c) == std::string::npos) {
            controls.push_back(c);
        }
    }
    return !controls.empty() && HasHighBytes(TextDecoder(name).ToUtf8(controls));
}

}  // namespace

const std::vector<LabelledEncoding>& Encodings() {
    static const std::vector<LabelledEncoding> kList = [] {
        std::vector<LabelledEncoding> list;
        for (const Entry& e : kEntries) list.push_back({e.label, e.name});
        return list;
    }();
    return kList;
}

std::string EncodingLabel(const std::string& Name) {
    const Entry* entry = FindEntry(Name);
    return entry ? entry->label : Name;
}

std::string EncodingName(const std::string& NameOrLabel) {
    const std::string upper = Upper(NameOrLabel);
    for (const Entry& e : kEntries) {
        if (Upper(e.label) == upper) return e.name;
    }
    return NameOrLabel;
}

std::vector<std::string_view> SongTexts(const Song& song) {
    std::vector<std::string_view> texts;
    for (const Track& track : song.Tracks) {
        for (const Event& e : track) {
            if (e.IsTextMeta() && !track.Body(e).empty()) texts.push_back(track.Body(e));
        }
    }
    return texts;
}

std::string UchardetGuess(std::string_view Sample) {
    std::string detected;
    if (uchardet_t ud = uchardet_new()) {
        if (uchardet_handle_data(ud, Sample.data(), Sample.size()) == 0) {
            uchardet_data_end(ud);
            if (const char* name = uchardet_get_charset(ud)) detected = name;
        }
        uchardet_delete(ud);
    }
    return detected;
}

std::function<bool(std::string_view)> Utf8TestFor(const std::string& SongEncoding) {
    const Entry* entry = FindEntry(SongEncoding);
    if (!entry || entry->script < Script::Japanese)
        return [](std::string_view text) { return IsValidUtf8(text); };
    // One decoder for all the texts tested, shared by the copies of the test.
    auto legacy = std::make_shared<const TextDecoder>(entry->name);
    const Script script = entry->script;
    return [legacy, script](std::string_view text) {
        if (!IsValidUtf8(text)) return false;
        if (!HasHighBytes(text)) return true;
        return !(Plausibility(script, legacy->ToUtf8(text)) >= 1 && Plausibility(script, text) < 1);
    };
}

std::function<bool(std::string_view)> Utf8TestFor(const Song& Song) {
    return Utf8TestFor(DetectEncoding(SongTexts(Song)));
}

std::string DetectEncoding(const std::vector<std::string_view>& Texts) {
    bool all_utf8 = true;
    std::string sample;   // the texts with bytes beyond ASCII, for uchardet
    std::string context;  // the same with the texts around them, for judging readings
    // The language the song's UTF-8 texts show, where their letters tell it:
    // kana are Japanese, Hangul Korean.
    std::optional<Script> language;
    for (size_t i = 0; i < Texts.size(); ++i) {
        // Texts that are valid UTF-8 (plain ASCII among them) tell nothing of
        // the code page of the others, but may tell the song's language.
        if (!HasHighBytes(Texts[i])) continue;
        if (IsValidUtf8(Texts[i])) {
            for (size_t at = 0; at < Texts[i].size() && !language;) {
                const char32_t cp = NextCodePoint(Texts[i], at);
                if (In(cp, 0x3041, 0x30FA)) language = Script::Japanese;
                if (In(cp, 0xAC00, 0xD7A3)) language = Script::Korean;
            }
            continue;
        }
        all_utf8 = false;
        if (sample.size() >= kSampleLimit) continue;
        sample.append(Texts[i]).push_back('\n');
        // A syllable's neighbours make the word that it belongs to.
        if (i > 0 && !HasHighBytes(Texts[i - 1])) context.append(Texts[i - 1]);
        context.append(Texts[i]);
        if (i + 1 < Texts.size() && !HasHighBytes(Texts[i + 1])) context.append(Texts[i + 1]);
        context.push_back('\n');
    }
    if (all_utf8) return "UTF-8";

    // A few legacy texts beside words in UTF-8 (a copyright in Shift-JIS
    // beside Japanese lyrics) are read in a code page of the words'
    // language when one reads them plausibly: four kanji read as well in
    // GB18030, but the song is Japanese.
    if (language) {
        const char* best = nullptr;
        double best_score = 1;  // at least a plausible reading
        for (const Entry& e : kEntries) {
            // The texts alone: what stands around them here is the song's
            // other texts (track names), not syllables of their words.
            if (e.script != *language || ReadsControlsAsLetters(e.name, sample)) continue;
            const double score = Plausibility(e.script, TextDecoder(e.name).ToUtf8(sample));
            if (score > best_score || (!best && score == best_score)) {
                best_score = score;
                best = e.name;
            }
        }
        if (best) return best;
    }
    const std::string detected = UchardetGuess(sample);
    // uchardet knows the byte patterns of the East Asian encodings well, but
    // often says nothing for a song's short syllables, and takes a few
    // accented words for some other code page. So each code page of the list
    // reads the texts, and the most plausible reading wins; uchardet's answer
    // wins ties and small leads when it is the code page of a non-Latin
    // script, and Windows-1252 among Latin ones. Mac Cyrillic is the
    // exception: it holds the lower-case letters where Windows-1251 does, so
    // uchardet cannot tell the two apart by letters. Where the two read a
    // text equally well, Windows-1251, far the more common in songs and first
    // in the list, wins the tie and reads its few capitals right ("Ой", not
    // "ќй").
    const Entry* trusted = FindEntry(detected);
    if (trusted && std::string_view(trusted->name) == "MAC-CYRILLIC") trusted = nullptr;
    if (trusted && trusted->script >= Script::Japanese &&
        Plausibility(trusted->script, TextDecoder(trusted->name).ToUtf8(context)) >= 1) {
        return trusted->name;
    }
    std::string best = kFallback;
    double best_score = -1e9;
    for (const Entry& e : kEntries) {
        if (e.script == Script::Unicode || ReadsControlsAsLetters(e.name, context)) continue;
        double score = Plausibility(e.script, TextDecoder(e.name).ToUtf8(context));
        if (&e == trusted && e.script >= Script::Vietnamese) score += kTrustBonus;
        if (std::string_view(e.name) == kFallback) score += kFallbackBonus;
        if (score > best_score) {
            best_score = score;
            best = e.name;
        }
    }
    // No reading without undecodable bytes or signs of another code page:
    // no text, only bytes; shown as the usual default.
    return best_score < kNoReading ? kFallback : best;
}

}  // namespace verselane
