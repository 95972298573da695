#include "align/sung_syllables.h"

#include <hyphen.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "model/utf8.h"

// libhyphen keeps some strings of the patterns it loads (the German
// dictionary's replacement rules) past hnj_hyphen_free, and libdbus a buffer
// of the desktop session's connection that Qt opens in the desktop program.
// Those leaks are the libraries'; the leak checker of sanitizer builds is
// told to leave them, so that every program that splits words (tests, the
// command line, the desktop program) can be checked for leaks of its own.
// Other builds never call this.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libhyphen.so\nleak:libdbus-1.so\n";
}

namespace verselane::align {

namespace {

std::u32string Decode(std::string_view s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) out += NextCodePoint(s, i);
    return out;
}

void Encode(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Encode(std::u32string_view s) {
    std::string out;
    for (char32_t c : s) Encode(c, out);
    return out;
}

char32_t Lower(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    return c;
}

// Letters of every script; not the signs beyond Latin-1: typographic
// quotes, dashes and the ellipsis, other symbols, and the punctuation of
// East Asian texts (a closing "”" is no part of "Jude").
bool IsLetter(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           (c >= 0xC0 && c != 0xD7 && c != 0xF7 && !(c >= 0x2000 && c <= 0x2BFF) &&
            !(c >= 0x3000 && c <= 0x303F) && !(c >= 0xFF01 && c <= 0xFF0F));
}

// The typographic apostrophe ("don’t", "you’re") stands for "'".
char32_t PlainApostrophe(char32_t c) {
    return c == 0x2019 || c == 0x02BC ? U'\'' : c;
}

// Vowel letters, accented ones included ("y" is decided by its place).
bool IsVowelLetter(char32_t c) {
    static const std::u32string_view kVowels = U"aeiouyàáâãäåæèéêëìíîïòóôõöøœùúûüýÿ";
    return kVowels.find(Lower(c)) != std::u32string_view::npos;
}

// Which vowels side by side a language sings as two syllables (a hiatus).
// Spanish and Portuguese (All): two open vowels ("po-e-ta", "le-er", "bo-a";
// not the nasal "ão" of "coração"), an accented "í" or "ú" beside another
// ("dí-a", "pa-ís"), and "ia" or "io" at a word's end after a consonant
// ("a-le-gri-a", "ri-o", "tí-os"), which is sung so where the word stresses
// the "i" and written so by timed songs even without the accent; where a
// word does not ("gra-cias"), the notes decide, as the syllable may share
// the note before. German and Dutch (AtEnd), whose doubled vowels are long
// ones ("See", "maan"): only the ending ("Ma-ri-a", "Ra-di-o").
enum class Hiatuses { None, AtEnd, All };

Hiatuses HiatusesOf(std::string_view language) {
    if (language == "es" || language == "pt") return Hiatuses::All;
    if (language == "de" || language == "nl") return Hiatuses::AtEnd;
    return Hiatuses::None;
}

// Whether w[k - 1] and w[k] are sung apart.
bool Hiatus(const std::u32string& w, size_t k, Hiatuses which) {
    if (which == Hiatuses::None) return false;
    static const std::u32string_view kOpen = U"aeoáéóàèòâêô";
    auto open = [](char32_t c) { return kOpen.find(c) != std::u32string_view::npos; };
    auto accented_close = [](char32_t c) { return c == U'í' || c == U'ú'; };
    const char32_t a = w[k - 1], b = w[k];
    // The "u" of "gue", "gui", "que", "qui" is no vowel of its own ("guí-a").
    if (a == 'u' && k >= 2 && (w[k - 2] == 'g' || w[k - 2] == 'q')) return false;
    if (which == Hiatuses::All && open(a) && open(b)) return true;
    if (which == Hiatuses::All && (accented_close(a) || accented_close(b))) return true;
    const size_t n = w.size();
    const bool at_end = k + 1 == n || (k + 2 == n && w[n - 1] == 's');
    return a == 'i' && (b == 'a' || b == 'o') && at_end && k >= 2 && IsLetter(w[k - 2]) &&
           !IsVowelLetter(w[k - 2]);
}

// The vowel groups of a lower-case word: [start, end) of each run of vowels,
// split where the language sings two vowels apart.
std::vector<std::pair<size_t, size_t>> VowelGroups(const std::u32string& w, bool english,
                                                   Hiatuses hiatuses = Hiatuses::None) {
    // An ending such as "'s", "'d" or "'ll" adds no vowel: the word before
    // it decides ("here's" as "here").
    if (const size_t apostrophe = w.rfind(U'\'');
        english && apostrophe != std::u32string::npos && apostrophe > 0 &&
        std::none_of(w.begin() + static_cast<std::ptrdiff_t>(apostrophe), w.end(), IsVowelLetter))
        return VowelGroups(w.substr(0, apostrophe), english, hiatuses);
    std::vector<std::pair<size_t, size_t>> groups;
    auto vowel = [&](size_t i) {
        if (!IsVowelLetter(w[i])) return false;
        // "u" after "q" belongs to the consonant ("que", "qu'une").
        if (w[i] == 'u' && i > 0 && w[i - 1] == 'q') return false;
        // "y" opening a word or a syllable before a vowel is a consonant.
        if (w[i] == 'y' &&
            (i == 0 || (i + 1 < w.size() && IsVowelLetter(w[i + 1]) && w[i + 1] != 'y')))
            return false;
        return true;
    };
    for (size_t i = 0; i < w.size();) {
        if (!vowel(i)) {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < w.size() && vowel(j) && !Hiatus(w, j, hiatuses)) ++j;
        groups.emplace_back(i, j);
        i = j;
    }
    if (english && groups.size() > 1) {
        const size_t n = w.size();
        // ("y" before a vowel too: "stayed").
        auto consonant = [&](size_t i) { return i < n && IsLetter(w[i]) && !vowel(i); };
        const auto& last = groups.back();
        // A silent final "e" (fire, love), "ed" (loved) or "es" (comes); "le"
        // after a consonant (little) and "ted", "ded", "ses", ... are sung.
        // An "l" or "r" after another consonant carries the ending's vowel
        // (han-dled, hun-dred, a-cres, a-cre), but not after a doubled or
        // liquid one (filled, scarred, curled, belle, bizarre).
        auto liquid_after_consonant = [&](size_t at) {
            return (w[at] == 'l' || w[at] == 'r') && consonant(at - 1) && w[at - 1] != 'l' &&
                   w[at - 1] != 'r';
        };
        if (last.first == n - 1 && w[n - 1] == 'e' && n >= 3 && consonant(n - 2) &&
            !liquid_after_consonant(n - 2)) {
            groups.pop_back();
        } else if (last.first == n - 2 && last.second == n - 1 && w[n - 2] == 'e' && n >= 4 &&
                   consonant(n - 3) && !liquid_after_consonant(n - 3) &&
                   ((w[n - 1] == 'd' && w[n - 3] != 't' && w[n - 3] != 'd') ||
                    (w[n - 1] == 's' &&
                     std::u32string_view(U"sxzcgh").find(w[n - 3]) == std::u32string_view::npos))) {
            groups.pop_back();
        }
    }
    return groups;
}

// Where to break between two vowel groups: the index that opens the second
// syllable, by the consonants between them.
size_t BreakBetween(const std::u32string& w, size_t vowel_end, size_t next_vowel) {
    const size_t n = next_vowel - vowel_end;
    if (n <= 1) return vowel_end + (n == 1 && w[vowel_end] == 'x' ? 1 : 0);
    auto pair = [&](size_t at) { return std::u32string{w[at], w[at + 1]}; };
    static const std::set<std::u32string> kCoda = {U"ng", U"ck", U"nk", U"rl"};
    static const std::set<std::u32string> kOnset = {
        U"th", U"ch", U"sh", U"ph", U"wh", U"qu", U"bl", U"br", U"cl", U"cr", U"dr", U"fl",
        U"fr", U"gl", U"gr", U"pl", U"pr", U"tr", U"kl", U"kr", U"gn", U"sc", U"st", U"sp"};
    if (kCoda.contains(pair(vowel_end))) return vowel_end + 2;
    if (n >= 3 && w[next_vowel - 3] == 's' && w[next_vowel - 2] == 'c' && w[next_vowel - 1] == 'h')
        return next_vowel - 3;
    if (kOnset.contains(pair(next_vowel - 2)) &&
        !(n == 2 && (pair(vowel_end) == U"st" || pair(vowel_end) == U"sp")))
        return next_vowel - 2;
    return next_vowel - 1;
}

// English words whose sung syllables no rule finds.
const std::map<std::u32string, std::vector<size_t>>& EnglishExceptions() {
    static const std::map<std::u32string, std::vector<size_t>> kWords = {
        {U"every", {2}},       {U"everything", {2, 5}},
        {U"everyone", {2, 5}}, {U"everybody", {2, 5, 7}},
        {U"evening", {3}},     {U"different", {3}},
        {U"family", {3}},      {U"interest", {2}},
        {U"favorite", {3}},    {U"chocolate", {5}},
        {U"camera", {3}},      {U"being", {2}},
        {U"going", {2}},       {U"doing", {2}},
        {U"seeing", {3}},      {U"lying", {2}},
        {U"dying", {2}},       {U"crying", {3}},
        {U"flying", {3}},      {U"trying", {3}},
        {U"ever", {2}},        {U"never", {2}},
        {U"forever", {3, 5}},  {U"heaven", {4}},
        {U"even", {2}},        {U"over", {1}},
        {U"river", {3}},       {U"very", {2}},
        {U"only", {2}},        {U"lonely", {4}},
        {U"baby", {2}},        {U"lady", {2}},
        {U"maybe", {3}},       {U"cause", {}},
        {U"praying", {4}},     {U"playing", {4}},
        {U"saying", {3}},      {U"staying", {4}},
        {U"sweetest", {5}},    {U"believe", {2}},
        {U"tonight", {2}},     {U"today", {2}},
        {U"tomorrow", {2, 5}}, {U"another", {1, 4}},
        {U"away", {1}},        {U"again", {1}},
        {U"alone", {1}},       {U"above", {1}},
        {U"around", {1}},      {U"remember", {2, 5}},
        {U"power", {3}},       {U"flower", {4}},
        {U"eyes", {}},
    };
    return kWords;
}

// A word's letters from its first to its last, in lower case, a typographic
// apostrophe as "'".
std::u32string CoreOf(const std::u32string& word, size_t first, size_t last) {
    std::u32string core;
    for (size_t i = first; i < last; ++i) core += Lower(PlainApostrophe(word[i]));
    return core;
}

// The word as the dictionary spells it (Latin-1 or UTF-8), and the character
// each byte belongs to; false when a character has no Latin-1 byte.
bool DictionaryBytes(const std::u32string& core, bool latin1, std::string& bytes,
                     std::vector<size_t>& char_of_byte) {
    bool fits = true;
    for (size_t i = 0; i < core.size(); ++i) {
        if (latin1) {
            if (core[i] > 0xFF) fits = false;
            bytes += static_cast<char>(core[i] & 0xFF);
        } else {
            Encode(core[i], bytes);
        }
        char_of_byte.resize(bytes.size(), i);
    }
    return fits;
}

// The letters of a syllable, lowered, without punctuation.
std::u32string LettersOf(std::string_view Utf8) {
    std::u32string out;
    for (char32_t c : Decode(Utf8))
        if (IsLetter(c)) out += Lower(c);
    return out;
}

bool HasAccentMark(const std::u32string& letters) {
    static const std::u32string_view kAccented = U"áéíóúàèìòùâêôãõ";
    return letters.find_first_of(kAccented) != std::u32string::npos;
}

bool IsOneOf(const std::u32string& word, std::initializer_list<std::u32string_view> words) {
    return std::any_of(words.begin(), words.end(),
                       [&](std::u32string_view w) { return word == w; });
}

// German stresses a word's first syllable, but its words from Latin, Greek
// and French keep their stress late ("Ma-ri-a", "Mu-sik", "Me-lo-die",
// "Na-ti-on"), as do adverbs built on "da", "wo", "her", "hin", "zu"
// ("wa-rum", "zu-rück", "hin-aus"). The words songs sing most are listed,
// each with a "'" before a letter of its stressed syllable, and so are
// endings that take the stress ("-ion", "-tät", "-ei"). The stressed
// syllable, however the word is split, or -1 for a word of none of them.
int LateGermanStress(const std::vector<std::u32string>& letters) {
    static const std::u32string_view kWords[] = {
        U"mar'ia",    U"mar'ie",     U"mus'ik",       U"nat'ur",   U"pap'ier",     U"stud'ent",
        U"mom'ent",   U"hot'el",     U"fig'ur",       U"id'ee",    U"melod'ie",    U"poes'ie",
        U"fantas'ie", U"phantas'ie", U"harmon'ie",    U"energ'ie", U"parad'ies",   U"fam'ilie",
        U"for'elle",  U"leb'endig",  U"jahrh'undert", U"war'um",   U"viell'eicht", U"all'ein",
        U"zur'ück",   U"zus'ammen",  U"zufr'ieden",   U"hina'us",  U"hera'us",     U"her'ein",
        U"hin'ein",   U"hina'uf",    U"hera'uf",      U"herv'or",  U"woh'er",      U"woh'in",
        U"dah'in",    U"dah'er",     U"dav'on",       U"dar'um",   U"dar'an",      U"dam'it",
        U"vor'über",  U"hin'über",   U"jed'och",      U"sof'ort",  U"zu'erst",     U"zul'etzt",
        U"obw'ohl"};
    std::u32string word;
    for (const std::u32string& l : letters) word += l;
    size_t at = std::u32string::npos;  // the marked letter's place in the word
    for (const std::u32string_view w : kWords) {
        const size_t mark = w.find(U'\'');
        if (word.size() + 1 == w.size() && word.compare(0, mark, w.substr(0, mark)) == 0 &&
            word.compare(mark, std::u32string::npos, w.substr(mark + 1)) == 0) {
            at = mark;
            break;
        }
    }
    const int n = static_cast<int>(letters.size());
    if (at == std::u32string::npos) {
        const bool stressed_ending =
            word.ends_with(U"ion") || word.ends_with(U"tät") || word.ends_with(U"ei");
        return n > 1 && stressed_ending ? n - 1 : -1;
    }
    size_t from = 0;
    for (int i = 0; i < n; ++i) {
        from += letters[static_cast<size_t>(i)].size();
        if (at < from) return i;
    }
    return -1;
}

}  // namespace

int StressedSyllable(std::string_view Language, const std::vector<std::string>& Syllables) {
    const int n = static_cast<int>(Syllables.size());
    if (n == 0) return -1;
    if (n == 1) return 0;
    std::vector<std::u32string> letters;
    for (const std::string& s : Syllables) letters.push_back(LettersOf(s));
    const std::u32string& first = letters.front();
    const std::u32string& last = letters.back();
    if (Language == "en") {
        return IsOneOf(first, {U"a", U"be", U"de", U"re", U"un", U"to"}) ? 1 : 0;
    }
    if (Language == "de") {
        if (const int late = LateGermanStress(letters); late >= 0) return late;
        return IsOneOf(first, {U"be", U"ge", U"ver", U"er", U"zer", U"ent", U"emp"}) ? 1 : 0;
    }
    if (Language == "nl") {
        return IsOneOf(first, {U"be", U"ge", U"ver", U"ont", U"her", U"er"}) ? 1 : 0;
    }
    if (Language == "es" || Language == "it" || Language == "pt") {
        for (int i = n; i-- > 0;)
            if (HasAccentMark(letters[static_cast<size_t>(i)])) return i;
        if (last.empty()) return -1;
        const char32_t end = last.back();
        const bool vowel_end = std::u32string_view(U"aeiou").find(end) != std::u32string_view::npos;
        if (Language == "es" && !vowel_end && end != U'n' && end != U's') return n - 1;
        if (Language == "pt" && (end == U'l' || end == U'r' || end == U'z')) return n - 1;
        return n - 2;
    }
    if (Language == "fr") {
        const bool mute = last == U"e" || last == U"es" || last == U"ent" ||
                          (last.size() >= 2 && last.back() == U'e' && !HasAccentMark(last));
        return mute ? n - 2 : n - 1;
    }
    return -1;
}

std::string LanguageCode(std::string_view Name) {
    const std::string name = AsciiLowered(Name);
    static const std::array<std::pair<const char*, const char*>, 16> kPrefixes = {{
        {"en", "en"},
        {"de", "de"},
        {"ge", "de"},
        {"fr", "fr"},
        {"es", "es"},
        {"sp", "es"},
        {"ca", "es"},
        {"it", "it"},
        {"pt", "pt"},
        {"po", "pt"},
        {"br", "pt"},
        {"nl", "nl"},
        {"du", "nl"},
        {"ne", "nl"},
        {"ho", "nl"},
        {"vl", "nl"},
    }};
    if (name.size() < 2) return {};
    for (const auto& [prefix, code] : kPrefixes) {
        if (name.compare(0, 2, prefix) == 0) return code;
    }
    return {};
}

std::string GuessLanguage(std::string_view Utf8Words) {
    static const std::map<std::string, std::vector<std::string>> kCommon = {
        {"en",
         {"the", "and", "you", "i", "to", "my", "me", "is", "of", "in", "it", "your", "love", "a",
          "all", "be"}},
        {"de",
         {"der", "die", "das", "und", "ich", "du", "nicht", "ist", "ein", "mein", "mich", "dich",
          "zu", "sie", "wie"}},
        {"fr", {"le",  "la",  "les", "et",  "je",  "tu",   "que",  "un",   "une",
                "est", "pas", "des", "mon", "qui", "dans", "au",   "moi",  "ta",
                "ma",  "ne",  "ce",  "il",  "sur", "pour", "nous", "vous", "toi"}},
        {"es",
         {"el", "la", "los", "y", "que", "de", "mi", "tu", "en", "no", "es", "un", "una", "me",
          "por", "con"}},
        {"it",
         {"il", "la", "e", "che", "di", "non", "mi", "ti", "un", "per", "sono", "io", "una", "del",
          "amore"}},
        {"pt",
         {"o", "a", "os", "e", "que", "de", "não", "meu", "eu", "você", "um", "uma", "com", "do",
          "da"}},
        {"nl",
         {"de", "het", "een", "en", "ik", "je", "niet", "van", "is", "dat", "mijn", "wat", "op",
          "zijn"}},
    };
    std::map<std::string, int> counts;
    std::string word;
    auto count = [&]() {
        if (word.empty()) return;
        for (const auto& [code, common] : kCommon) {
            if (std::find(common.begin(), common.end(), word) != common.end()) ++counts[code];
        }
        word.clear();
    };
    for (char32_t c : Decode(Utf8Words)) {
        if (IsLetter(c) || PlainApostrophe(c) == '\'') {
            Encode(Lower(PlainApostrophe(c)), word);
        } else {
            count();
        }
    }
    count();
    std::string best = "en";
    for (const auto& [code, n] : counts) {
        if (n > counts[best]) best = code;
    }
    return best;
}

// A hyphenation dictionary held as text, loaded into libhyphen with only
// the patterns the words met so far can use. libhyphen builds its pattern
// machine in time that grows steeply with the patterns (the German
// dictionary's 78,000 take seconds); a song's few hundred words need a few
// thousand of them, and hyphenate exactly as with all (see Cover).
struct SyllableSplitter::Dictionary {
    struct Level {
        std::vector<std::string> Keywords;                 // LEFTHYPHENMIN 2, ...
        std::vector<std::string> Lines;                    // the patterns as written
        std::vector<std::pair<std::string, size_t>> Keys;  // letters of each, sorted
        std::vector<bool> Kept;
    };
    std::string Charset;
    std::vector<Level> Levels;
    bool Latin1 = false;
    std::set<std::string> Covered;  // the words (dictionary bytes) the loaded patterns serve
    bool Stale = true;
    HyphenDict* Dict = nullptr;

    ~Dictionary() {
        if (Dict) hnj_hyphen_free(Dict);
    }

    static std::unique_ptr<Dictionary> Read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        if (!in) return nullptr;
        auto dict = std::make_unique<Dictionary>();
        std::string line;
        if (!std::getline(in, line)) return nullptr;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        dict->Charset = line;
        dict->Latin1 = line.find("8859-1") != std::string::npos;
        dict->Levels.emplace_back();
        while (std::getline(in, line)) {
            while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
            if (line.empty() || line[0] == '%' || line[0] == '#') continue;
            if (line.rfind("NEXTLEVEL", 0) == 0) {
                dict->Levels.emplace_back();
                continue;
            }
            Level& level = dict->Levels.back();
            if (line[0] >= 'A' && line[0] <= 'Z') {
                level.Keywords.push_back(line);
                continue;
            }
            // The letters a pattern matches: without its digits, and for a
            // replacing pattern ("c1k/k=k,1,2") the part before the slash.
            std::string key;
            for (char c : line.substr(0, line.find('/'))) {
                if ((c >= '0' && c <= '9') || c == ' ' || c == '\t') continue;
                key += c;
            }
            level.Keys.emplace_back(std::move(key), level.Lines.size());
            level.Lines.push_back(line);
        }
        for (Level& level : dict->Levels) {
            std::sort(level.Keys.begin(), level.Keys.end());
            level.Kept.assign(level.Lines.size(), false);
        }
        return dict;
    }

    // Keeps every pattern a word's bytes can meet. libhyphen walks the word
    // (with a dot at each end, digits read as dots; the parts of a compound
    // each get their own dots) through a machine whose states are the
    // prefixes of the patterns, applying the pattern of each state reached;
    // the state reached is the longest end of the text read that is a
    // prefix of a pattern. Keeping each pattern whose letters occur in the
    // word, and for each piece of the word that is only a prefix one
    // pattern it begins, leaves the same states reached with the same
    // patterns, so the word hyphenates exactly as with every pattern.
    void Cover(const std::string& bytes) {
        if (!Covered.insert(bytes).second) return;
        std::string text = bytes;
        for (char& c : text)
            if (c >= '0' && c <= '9') c = '.';
        for (Level& level : Levels) {
            auto keep = [&level](const std::string& piece) {
                auto it = std::lower_bound(level.Keys.begin(), level.Keys.end(),
                                           std::pair<std::string, size_t>(piece, 0));
                if (it == level.Keys.end() || it->first.compare(0, piece.size(), piece) != 0)
                    return;
                if (it->first != piece) {
                    level.Kept[it->second] = true;  // the piece is a state, not a pattern
                    return;
                }
                for (; it != level.Keys.end() && it->first == piece; ++it)
                    level.Kept[it->second] = true;
            };
            keep(".");
            keep("..");
            for (size_t from = 0; from < text.size(); ++from) {
                for (size_t to = from + 1; to <= text.size(); ++to) {
                    const std::string piece = text.substr(from, to - from);
                    keep(piece);
                    keep("." + piece);
                    keep(piece + ".");
                    keep("." + piece + ".");
                }
            }
        }
        Stale = true;
    }

    // The patterns kept so far, loaded; null when libhyphen refuses them.
    HyphenDict* Loaded() {
        if (!Stale) return Dict;
        std::string text = Charset + "\n";
        for (size_t l = 0; l < Levels.size(); ++l) {
            if (l > 0) text += "NEXTLEVEL\n";
            for (const std::string& keyword : Levels[l].Keywords) text += keyword + "\n";
            for (size_t i = 0; i < Levels[l].Lines.size(); ++i)
                if (Levels[l].Kept[i]) text += Levels[l].Lines[i] + "\n";
        }
        if (Dict) hnj_hyphen_free(Dict);
        Dict = nullptr;
        if (FILE* file = fmemopen(text.data(), text.size(), "r")) {
            Dict = hnj_hyphen_load_file(file);
            std::fclose(file);
        }
        Stale = false;
        return Dict;
    }
};

SyllableSplitter::SyllableSplitter(const std::string& Language, std::string DictionaryFolder)
    : language_(LanguageCode(Language).empty() ? "en" : LanguageCode(Language)) {
    if (DictionaryFolder.empty()) {
        const char* env = std::getenv("VERSELANE_HYPHEN_DIR");
        DictionaryFolder = env && *env ? env : "/usr/share/hyphen";
    }
    static const std::map<std::string, std::vector<std::string>> kFiles = {
        {"en", {"hyph_en_US.dic", "hyph_en.dic"}}, {"de", {"hyph_de_DE.dic", "hyph_de.dic"}},
        {"fr", {"hyph_fr_FR.dic", "hyph_fr.dic"}}, {"es", {"hyph_es_ES.dic", "hyph_es.dic"}},
        {"it", {"hyph_it_IT.dic", "hyph_it.dic"}}, {"pt", {"hyph_pt_PT.dic", "hyph_pt.dic"}},
        {"nl", {"hyph_nl_NL.dic", "hyph_nl.dic"}},
    };
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const std::string& name : kFiles.at(language_)) {
        const fs::path path = fs::path(DictionaryFolder) / name;
        if (!fs::is_regular_file(path, ec)) continue;
        dictionary_ = Dictionary::Read(path);
        if (dictionary_) return;
    }
    missing_from_ = DictionaryFolder;
}

SyllableSplitter::~SyllableSplitter() = default;

void SyllableSplitter::Prepare(std::string_view Utf8Text) {
    if (!dictionary_) return;
    const std::u32string text = Decode(Utf8Text);
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\n' &&
            text[i] != '\r')
            continue;
        size_t first = start, last = i;
        start = i + 1;
        while (first < last && !IsLetter(text[first])) ++first;
        while (last > first && !IsLetter(text[last - 1])) --last;
        if (first >= last || last - first >= 200) continue;
        std::string bytes;
        std::vector<size_t> char_of_byte;
        if (DictionaryBytes(CoreOf(text, first, last), dictionary_->Latin1, bytes, char_of_byte))
            dictionary_->Cover(bytes);
    }
}

std::vector<std::string> SyllableSplitter::Split(std::string_view Utf8Word) const {
    // Words joined to be sung as one ("que~es", "linda~amiga") run together
    // where they meet: the last syllable of one and the first of the next
    // share a note, the others keep their own. Word by word, not by
    // recursion: a sheet may join any number of words.
    if (Utf8Word.find(' ') != std::string_view::npos) {
        std::vector<std::string> out;
        for (size_t from = 0;;) {
            const size_t space = Utf8Word.find(' ', from);
            std::vector<std::string> word = Split(Utf8Word.substr(from, space - from));
            if (out.empty()) {
                out = std::move(word);
            } else {
                out.back() += ' ';
                out.back() += word.front();
                out.insert(out.end(), std::make_move_iterator(word.begin() + 1),
                           std::make_move_iterator(word.end()));
            }
            if (space == std::string_view::npos) return out;
            from = space + 1;
        }
    }
    const std::u32string word = Decode(Utf8Word);
    size_t first = 0, last = word.size();
    while (first < last && !IsLetter(word[first])) ++first;
    while (last > first && !IsLetter(word[last - 1])) --last;
    if (first >= last) return {std::string(Utf8Word)};
    const std::u32string core = CoreOf(word, first, last);
    const bool english = language_ == "en";

    std::set<size_t> breaks;  // indices of core that open a syllable
    bool decided = false;
    if (english) {
        std::u32string bare = core;
        std::erase(bare, U'\'');
        auto it = EnglishExceptions().find(bare);
        if (it != EnglishExceptions().end() && bare == core) {
            breaks.insert(it->second.begin(), it->second.end());
            decided = true;
        }
    }
    if (!decided && dictionary_ && core.size() < 200) {
        std::string bytes;
        std::vector<size_t> char_of_byte;
        const bool fits = DictionaryBytes(core, dictionary_->Latin1, bytes, char_of_byte);
        if (fits) {
            std::vector<char> hyphens(bytes.size() + 5, 0);
            std::vector<char> hyphenated(bytes.size() * 2 + 5, 0);
            char** rep = nullptr;
            int* pos = nullptr;
            int* cut = nullptr;
            dictionary_->Cover(bytes);
            HyphenDict* dict = dictionary_->Loaded();
            if (dict)
                hnj_hyphen_hyphenate3(dict, bytes.c_str(), static_cast<int>(bytes.size()),
                                      hyphens.data(), hyphenated.data(), &rep, &pos, &cut, 1, 1, 1,
                                      1);
            if (rep) {
                for (size_t i = 0; i < bytes.size(); ++i) std::free(rep[i]);
                std::free(rep);
            }
            std::free(pos);
            std::free(cut);
            for (size_t b = 0; b + 1 < bytes.size(); ++b) {
                // A break after byte b, where b ends a character.
                if ((hyphens[b] & 1) && char_of_byte[b] != char_of_byte[b + 1])
                    breaks.insert(char_of_byte[b] + 1);
            }
        }
    }
    if (!decided) {
        const auto groups = VowelGroups(core, english, HiatusesOf(language_));
        auto group_of = [&](size_t i) {
            for (size_t g = 0; g < groups.size(); ++g)
                if (i >= groups[g].first && i < groups[g].second) return static_cast<int>(g);
            return -1;
        };
        // No break inside a vowel group ("real-ly", not "re-al-ly").
        if (english) {
            std::erase_if(breaks, [&](size_t b) {
                return group_of(b) >= 0 && group_of(b) == group_of(b - 1);
            });
        }
        // Every piece gets exactly one vowel group: pieces without one join
        // the piece before, pieces with more are split between them.
        std::vector<size_t> bounds = {0};
        bounds.insert(bounds.end(), breaks.begin(), breaks.end());
        bounds.push_back(core.size());
        std::set<size_t> sung;
        size_t g = 0;
        for (size_t p = 0; p + 1 < bounds.size(); ++p) {
            const size_t from = bounds[p], to = bounds[p + 1];
            std::vector<size_t> inside;
            while (g < groups.size() && groups[g].first < to) {
                if (groups[g].first >= from) inside.push_back(g);
                ++g;
            }
            // A part of a compound ending in a silent "e" ("some-times",
            // "come-back"): the "e" is no syllable of its own.
            if (english && inside.size() > 1 && to < core.size()) {
                const auto& [e_start, e_end] = groups[inside.back()];
                if (e_start + 1 == to && e_end == to && core[e_start] == 'e' &&
                    !IsVowelLetter(core[e_start - 1]) && core[e_start - 1] != 'l')
                    inside.pop_back();
            }
            if (inside.empty()) continue;
            // A piece opens at its own start unless it is the first piece
            // with a vowel.
            if (from > 0 && inside.front() > 0) sung.insert(from);
            for (size_t k = 1; k < inside.size(); ++k)
                sung.insert(
                    BreakBetween(core, groups[inside[k - 1]].second, groups[inside[k]].first));
        }
        breaks = std::move(sung);
    }
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t b : breaks) {
        if (b == 0 || b >= core.size()) continue;
        out.push_back(Encode(std::u32string_view(word).substr(start, first + b - start)));
        start = first + b;
    }
    out.push_back(Encode(std::u32string_view(word).substr(start)));
    return out;
}

}  // namespace verselane::align
