// How a stream's events hold syllables: the text of one event split into
// the marks and gaps before the syllable, the syllable and the gaps and line
// ends after it, and the breaks (word, line, paragraph) those bytes make.
// Used by the timed words and their edits; not part of the editing API.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "editing/timed_words.h"

namespace verselane::editing {

bool IsGap(char c);

// An event's text in three parts: marks and gaps before the syllable, the
// syllable, gaps and line ends after it.
struct TextParts {
    std::string Before;
    std::string Core;
    std::string After;
};

TextParts PartsOf(std::string_view text);
std::string Joined(const TextParts& p);
std::string TrimGaps(std::string s);
// Whether PartsOf(text) has a syllable (Core), found without copying.
bool HoldsSyllable(std::string_view text);

// The breaks a run of separating bytes makes: a word, a line, a paragraph.
struct Breaks {
    bool Word = false;
    bool Line = false;
    bool Paragraph = false;
    int LineEnds = 0;
    // A slash or a backslash (seen only before a syllable) starts a line or
    // a paragraph.
    void Read(std::string_view bytes);
};

// The words of one stream of one track.
struct StreamSpec {
    int16_t Track = -1;
    uint8_t Type = kMetaLyric;
};

// Whether event `e` of `track` belongs to the stream.
inline bool InStream(const Track& track, const Event& e, const StreamSpec& s) {
    if (!e.IsMeta(s.Type)) return false;
    return s.Type != kMetaText || !track.Body(e).starts_with("@");
}

// The syllables of a stream, in order.
std::vector<TimedSyllable> ReadSyllables(const Song& song, const StreamSpec& s);

// Takes every event of the stream out of its track.
void RemoveStream(Song& song, const StreamSpec& s);

// Raises EditError when `text` cannot be a syllable's text.
void CheckText(const std::string& text, bool karaoke);

}  // namespace verselane::editing
