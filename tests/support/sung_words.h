// The words of one track as karaoke players and keyboards show them, read by
// the two conventions alone (not by the converters), so that a conversion can
// be checked for keeping them.
//
// Lyric events (meta type 5): the texts joined as they stand; a carriage
// return ends a line, a line feed a paragraph; a lyric that opens with "\" or
// "/" starts a paragraph or a line, as in karaoke text; NUL bytes are nothing.
// Karaoke text (meta type 1): an event opening with "@" is a tag, not words;
// a leading "\" starts a paragraph, a leading "/" a line; the rest is joined
// as it stands.
// Words are the joined text split at white space. Line ends with no word
// between them make an empty line, which shows as a paragraph gap.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/song.h"

namespace verselane::test {

struct SungWord {
    std::string Text;
    int32_t Tick;  // time of the event that holds the word's first character
    friend bool operator==(const SungWord&, const SungWord&) = default;
};

struct SungLineOfWords {
    bool Paragraph;  // the line opens a paragraph (the first line always does)
    std::vector<SungWord> Words;
    friend bool operator==(const SungLineOfWords&, const SungLineOfWords&) = default;
};

using SungText = std::vector<SungLineOfWords>;

// From the events of `track` of the type given (kMetaLyric or kMetaText).
SungText ReadSungWords(const Song& song, int track, uint8_t type);

// "¶ a@0 b@10 / c@20": a line per entry, ¶ for a paragraph.
std::string Show(const SungText& text);

}  // namespace verselane::test
