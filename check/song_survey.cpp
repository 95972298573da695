#include "check/song_survey.h"

#include <algorithm>
#include <cctype>

#include "lyrics/text_rules.h"
#include "lyrics/track_choice.h"
#include "model/errors.h"
#include "model/utf8.h"

namespace verselane::check_detail {

namespace {

// A character a screen shows: not a space, a control character or DEL.
bool IsVisible(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte != 0x7F;
}

// The words joined by a stream: marks and line ends are gaps, NUL is nothing.
std::vector<std::string> WordsOf(const std::vector<std::string_view>& syllables) {
    std::vector<std::string> words;
    std::string word;
    auto gap = [&] {
        if (!word.empty()) words.push_back(std::move(word));
        word.clear();
    };
    for (std::string_view s : syllables) {
        if (!s.empty() && IsMark(s[0])) {
            gap();
            s.remove_prefix(1);
        }
        for (char c : s) {
            if (c == '\0') continue;
            if (IsSpace(c)) {
                gap();
            } else {
                word += c;
            }
        }
    }
    gap();
    return words;
}

// Whether two word lists are mostly the same words.
// Compared without case and punctuation: karaoke files often write the words
// in capitals, and the two streams punctuate differently.
bool SameWords(std::vector<std::string> a, std::vector<std::string> b) {
    for (auto* list : {&a, &b}) {
        for (std::string& word : *list) {
            std::erase_if(word, [](char c) { return c > 0 && !std::isalnum(c); });
            for (char& c : word) {
                if (c > 0) c = static_cast<char>(std::tolower(c));
            }
        }
    }
    if (a.empty() || b.empty()) return false;
    if (a.size() > b.size()) std::swap(a, b);
    if (a.size() * 2 < b.size()) return false;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    std::vector<std::string> common;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(common));
    return common.size() * 5 >= a.size() * 4;
}

}  // namespace

bool IsMark(char c) {
    return c == '\\' || c == '/';
}

// An information line: "@" at the start, behind a mark or not.
bool IsTag(std::string_view text) {
    if (!text.empty() && IsMark(text[0])) text.remove_prefix(1);
    return !text.empty() && text[0] == '@';
}

bool IsKaraokeHeader(const Track& track, const Event& e) {
    return e.IsText() && track.Body(e).substr(0, 2) == "@K";
}

// Columns of a screen that shows single bytes as one column: a code page's
// text takes a column a byte (a double-byte Chinese or Japanese character
// is drawn two wide), UTF-8 a column a character, two for the wide ones of
// East Asian scripts, so that the same words measure alike in either.
int32_t ScreenWidth(std::string_view text) {
    if (!IsValidUtf8(text)) return static_cast<int32_t>(text.size());
    int32_t width = 0;
    for (size_t at = 0; at < text.size();) {
        const char32_t cp = NextCodePoint(text, at);
        const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                          (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                          (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                          (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
        width += wide ? 2 : 1;
    }
    return width;
}

bool HasVisible(std::string_view text) {
    return std::any_of(text.begin(), text.end(), IsVisible);
}

// Whether a NUL byte comes before something a screen would show: players that
// end a text at its first NUL then lose those characters. NULs that only pad
// the end hide nothing.
bool HidesBehindNul(std::string_view text) {
    const size_t nul = text.find('\0');
    return nul != std::string_view::npos && HasVisible(text.substr(nul));
}

bool HasLineEnd(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos ||
           (!text.empty() && IsMark(text[0]));
}

bool IsSpace(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}

// A lyric holding only line ends (and spaces).
bool IsLineEndOnly(std::string_view text) {
    bool end = false;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            end = true;
        } else if (c != ' ') {
            return false;
        }
    }
    return end;
}

// The name a track gives itself: its last track-name event (the track's
// Name is the first one as read).
std::string_view NameOfTrack(const Song& song, int16_t t) {
    const Track& track = song.At(t);
    for (int32_t i = track.Size() - 1; i >= 0; --i) {
        if (track[i].IsMeta(kMetaTrackName)) return track.Body(track[i]);
    }
    return {};
}

std::string_view BodyOf(const Song& song, int16_t t, int32_t i) {
    const Track& track = song.At(t);
    return track.Body(track.At(i));
}

Survey SurveySong(const Song& song) {
    Survey s;
    s.Tracks = song.TrackCount();
    int32_t most_karaoke = 0, most_lyrics = 0;
    for (int16_t t = 0; t < s.Tracks; ++t) {
        const Track& track = song.Tracks[t];
        int32_t karaoke = 0, marked = 0, lyrics = 0;
        for (int32_t i = 0; const Event& e : track) {
            if (e.IsText()) {
                std::string_view text = track.Body(e);
                if (IsKaraokeHeader(track, e) && s.HeaderTrack < 0) {
                    s.HeaderTrack = t;
                    s.HeaderEvent = i;
                }
                if (!IsTag(text)) ++karaoke;
                if (!text.empty() && IsMark(text[0])) ++marked;
            } else if (e.IsLyric() && !IsTag(track.Body(e))) {
                ++lyrics;
            }
            ++i;
        }
        // Text events count as karaoke text by the same rule as the
        // conversions' track list: marked lines, or an "@K" song (below).
        const bool marked_lines = marked > 0 && HasMarkedLines(song, t);
        if (marked_lines) ++s.KaraokeTracks;
        if (lyrics > 0) ++s.LyricTracks;
        if (marked_lines && karaoke > most_karaoke) {
            most_karaoke = karaoke;
            s.KaraokeTrack = t;
        }
        if (lyrics > most_lyrics) {
            most_lyrics = lyrics;
            s.LyricTrack = t;
        }
    }
    s.SoftKaraoke = s.HeaderTrack >= 0 || s.KaraokeTrack >= 0;
    // A karaoke song with no marks at all: its words are the unmarked text
    // events of the track holding most of them.
    if (s.HeaderTrack >= 0 && s.KaraokeTrack < 0) {
        for (int16_t t = 0; t < s.Tracks; ++t) {
            int32_t karaoke = 0;
            const Track& track = song.Tracks[t];
            for (const Event& e : track)
                if (e.IsText() && !IsTag(track.Body(e))) ++karaoke;
            if (karaoke > most_karaoke) {
                most_karaoke = karaoke;
                s.KaraokeTrack = t;
            }
        }
    }
    if (s.KaraokeTrack >= 0) {
        const Track& track = song.Tracks[s.KaraokeTrack];
        for (int32_t i = 0; const Event& e : track) {
            if (e.IsText() && !IsTag(track.Body(e))) s.KaraokeSyllables.push_back(i);
            ++i;
        }
    }
    if (s.LyricTrack >= 0) {
        const Track& track = song.Tracks[s.LyricTrack];
        for (int32_t i = 0; const Event& e : track) {
            if (e.IsLyric() && !IsTag(track.Body(e))) s.LyricSyllables.push_back(i);
            ++i;
        }
    }
    return s;
}

std::vector<KaraokeLine> KaraokeLines(const Song& song, const Survey& s) {
    std::vector<KaraokeLine> lines;
    for (int32_t i : s.KaraokeSyllables) {
        std::string_view text = BodyOf(song, s.KaraokeTrack, i);
        const bool mark = !text.empty() && IsMark(text[0]);
        if (mark || lines.empty()) {
            lines.emplace_back();
            lines.back().NewParagraph = lines.size() == 1 || text[0] == '\\';
        }
        if (mark) text.remove_prefix(1);
        lines.back().Events.push_back(i);
        lines.back().Text += text;
    }
    return lines;
}

std::vector<std::string_view> TextsOf(const Song& song, int16_t t,
                                      const std::vector<int32_t>& events) {
    std::vector<std::string_view> texts;
    for (int32_t i : events) texts.push_back(BodyOf(song, t, i));
    return texts;
}

bool IsDuplicate(const Song& song, const Survey& s) {
    if (s.KaraokeSyllables.empty() || s.LyricSyllables.empty()) return false;
    return SameWords(WordsOf(TextsOf(song, s.KaraokeTrack, s.KaraokeSyllables)),
                     WordsOf(TextsOf(song, s.LyricTrack, s.LyricSyllables)));
}

std::string WithoutLineEnds(std::string_view text) {
    std::string stripped;
    for (char c : text) {
        if (c != '\r' && c != '\n') stripped += c;
    }
    return stripped;
}

// Lyrics that put a space behind every syllable and two behind every word:
// nearly every sung syllable ends in a space, and at least one in four in
// two inside a line (words of four syllables on average would still give
// that). Two spaces before a line end only pad the line, as lyrics written
// a word to an event often do ("boat  " then the line end), and two at a
// phrase's end only here and there ("do,  ") mark no word's end either:
// joining at single spaces would then run whole words together.
bool HasSplitWords(const std::vector<std::string_view>& texts) {
    int32_t sung = 0, spaced = 0, doubled = 0;
    for (size_t k = 0; k < texts.size(); ++k) {
        const std::string stripped = WithoutLineEnds(texts[k]);
        if (TrimSpaces(stripped).empty()) continue;
        ++sung;
        if (stripped.back() == ' ') ++spaced;
        // A line end after the syllable, in its own text or opening the next.
        const size_t last = texts[k].find_last_not_of(" \r\n");
        const bool ends_line = texts[k].find_first_of("\r\n", last) != std::string_view::npos ||
                               (k + 1 < texts.size() &&
                                (texts[k + 1].starts_with('\r') || texts[k + 1].starts_with('\n')));
        if (stripped.ends_with("  ") && !ends_line) ++doubled;
    }
    return sung >= 8 && spaced * 20 >= sung * 19 && doubled * 4 >= sung;
}

MergedWords MergedWordsOf(const std::vector<std::string_view>& texts) {
    int32_t sung = 0, gaps = 0, letters = 0, bytes = 0, marked = 0;
    for (std::string_view text : texts) {
        const std::string stripped = WithoutLineEnds(text);
        if (stripped.find(' ') != std::string::npos) ++gaps;
        if (TrimSpaces(stripped).empty()) continue;
        ++sung;
        if (stripped.size() > 1 && stripped.back() == '-') ++marked;
        for (char c : stripped) {
            ++bytes;
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) ++letters;
        }
    }
    const bool merged = sung >= 8 && gaps == 0 && letters * 2 >= bytes;
    return {merged, merged && marked >= 2 && marked * 20 >= sung};
}

bool NeedsLineEnds(const Song& song, const Survey& s) {
    if (s.LyricSyllables.size() < 2) return false;
    for (int32_t i : s.LyricSyllables) {
        if (HasLineEnd(BodyOf(song, s.LyricTrack, i))) return false;
    }
    return true;
}

// Where a word starts at syllable k of `texts` (not the first): its own text
// opens with a space, or the one before ends with one.
bool WordStartsAt(const std::vector<std::string_view>& texts, size_t k) {
    std::string_view own = texts[k];
    if (!own.empty() && IsMark(own[0])) own.remove_prefix(1);
    const std::string_view before = texts[k - 1];
    return (!own.empty() && IsSpace(own[0])) || (!before.empty() && IsSpace(before.back()));
}

// A pause in the singing: three times the usual step from syllable to
// syllable, and at least a beat.
int32_t PauseOf(const Song& song, int16_t t, const std::vector<int32_t>& syllables) {
    // Syllables at one time (a run of padding, a line end beside its word)
    // say nothing of the singing's pace.
    const Track& track = song.At(t);
    std::vector<int32_t> gaps;
    for (size_t k = 1; k < syllables.size(); ++k) {
        const int32_t gap = track.At(syllables[k]).Tick - track.At(syllables[k - 1]).Tick;
        if (gap > 0) gaps.push_back(gap);
    }
    const int32_t beat = TicksPerBeat(song.Division);
    if (gaps.empty()) return beat;
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    // Syllables days apart (a damaged or made file) make a pause beyond
    // any tick: it is the latest tick instead.
    const int64_t pause = std::max<int64_t>(int64_t{gaps[gaps.size() / 2]} * 3, beat);
    return static_cast<int32_t>(std::min<int64_t>(pause, INT32_MAX));
}

}  // namespace verselane::check_detail
