// The words of a song as a karaoke player shows them: one entry per sung
// line, with the time at which the line starts.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/song.h"
#include "model/timing.h"

namespace verselane {

// Where the words are taken from.
enum class LineSource {
    Lyrics,   // lyric events (meta type 5)
    Karaoke,  // karaoke text events (meta type 1)
};

// One syllable of a sung line: its bytes as the line holds them (marks left
// out, CR and LF as spaces) and when it is due.
struct SungSyllable {
    int32_t Tick = 0;
    double Seconds = 0;
    std::string Text;
};

struct SungLine {
    int32_t Tick = 0;           // tick of the line's first syllable
    double Seconds = 0;         // the same, in seconds from the start of the song
    std::string Text;           // the line's bytes as the file holds them, without
                                // marks and line ends, spaces at both ends trimmed
    bool NewParagraph = false;  // the line opens a paragraph (the first always does)
    // The syllables in order; their texts joined give the line before trimming.
    std::vector<SungSyllable> Syllables;
};

// The lines of one track, as players show them.
//
// From karaoke text: every text event is a syllable; one that begins with
// "@" is a tag and is left out; a leading "\" opens a new paragraph, a
// leading "/" a new line, and the mark leaves the text.
//
// From lyric events: a carriage return ends a line, a line feed a paragraph
// (both become spaces of the line); a lyric that begins with "\" or "/"
// opens a paragraph or line before it, as in karaoke text. NUL bytes are
// nothing. Players sing every lyric, one that begins with "@" too.
//
// Either way the end of a line that holds no word (an empty line) opens a
// paragraph. A line starts at its first word; lines without words are not
// listed.
//
// `Detail` LinesOnly leaves every line's Syllables empty: what prints the
// lines needs only their text and time, and a song of a million syllables
// on one line would otherwise hold 48 bytes for each of them.
enum class SungDetail { Syllables, LinesOnly };
// A bad track raises SubscriptOutOfRange.
std::vector<SungLine> SungLines(const Song& Song, int16_t Track, LineSource From,
                                SungDetail Detail = SungDetail::Syllables);

// The title lines of the same track: the text of every information line that
// begins with "@T" (after a mark or not), without the "@T", in order.
std::vector<std::string> TitleLines(const Song& Song, int16_t Track, LineSource From);

// The source that a player would show for this song: karaoke text when the
// song has a "@K" line and karaoke text, or karaoke text and no lyric
// events; lyric events when it has them; else nothing. Karaoke text is as
// MaterialOf counts it: texts that are credits or notes are not words.
std::optional<LineSource> PreferredLineSource(const Song& Song);

// "m:ss.hh": minutes, seconds and hundredths (rounded down).
std::string FormatTimestamp(double Seconds);

// The lines as text: one line "m:ss.hh  text" per sung line, and an empty line
// before every paragraph but the first. `ToText` turns a line's bytes into
// what is printed (for instance UTF-8 for a terminal); without it the bytes
// are printed as they are.
std::string FormatSungLines(const std::vector<SungLine>& Lines,
                            const std::function<std::string(std::string_view)>& ToText = {});

}  // namespace verselane
