// What the check of a song's words knows of them: which tracks hold the
// karaoke text and the lyrics, their syllables and lines, and the small text
// rules that the findings and the repairs share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/song.h"

namespace verselane::check_detail {

bool IsMark(char c);
// An information line: "@" at the start, behind a mark or not.
bool IsTag(std::string_view text);
bool IsKaraokeHeader(const Track& track, const Event& e);
// Characters as a screen counts them: code points of UTF-8, else bytes.
int32_t ScreenWidth(std::string_view text);
bool HasVisible(std::string_view text);
// Whether a NUL byte comes before something a screen would show: players that
// end a text at its first NUL then lose those characters. NULs that only pad
// the end hide nothing.
bool HidesBehindNul(std::string_view text);
bool HasLineEnd(std::string_view text);
bool IsSpace(char c);
// A lyric holding only line ends (and spaces).
bool IsLineEndOnly(std::string_view text);
// The name a track gives itself: its last track-name event (the track's
// Name is the first one as read).
std::string_view NameOfTrack(const Song& Song, int16_t t);
// The body of event i of track t.
std::string_view BodyOf(const Song& Song, int16_t t, int32_t i);
std::string WithoutLineEnds(std::string_view text);

// One line of karaoke text: its syllables (event indices) and its text.
struct KaraokeLine {
    std::vector<int32_t> Events;
    std::string Text;
    bool NewParagraph = false;
};

// What the check knows of the song's words.
struct Survey {
    int16_t Tracks = 0;
    bool SoftKaraoke = false;  // a "@K" line or marked text events
    int16_t HeaderTrack = -1;  // the track of the first "@K" line
    int32_t HeaderEvent = -1;
    int16_t KaraokeTrack = -1;              // the track holding the most karaoke syllables
    int16_t LyricTrack = -1;                // the track holding the most sung lyrics
    std::vector<int32_t> KaraokeSyllables;  // event indices in KaraokeTrack
    std::vector<int32_t> LyricSyllables;    // event indices in LyricTrack (tags left out)
    int32_t KaraokeTracks = 0;              // tracks holding marked text events
    int32_t LyricTracks = 0;                // tracks holding sung lyrics
};

Survey SurveySong(const Song& Song);
std::vector<KaraokeLine> KaraokeLines(const Song& Song, const Survey& s);
std::vector<std::string_view> TextsOf(const Song& Song, int16_t t,
                                      const std::vector<int32_t>& events);
// Whether the karaoke text and the lyrics are mostly the same words.
bool IsDuplicate(const Song& Song, const Survey& s);
// Lyrics that put a space behind every syllable and two behind every word.
bool HasSplitWords(const std::vector<std::string_view>& texts);
// Lyrics that run their words together: 8 syllables or more, mostly
// letters, none holding a space. Marked: besides, the syllables inside
// words end in "-" ("can-" "dle"), two at least and one in twenty, so that
// every other syllable ends a word and the gaps can be put back.
struct MergedWords {
    bool Merged = false;
    bool Marked = false;
};
MergedWords MergedWordsOf(const std::vector<std::string_view>& texts);
// Lyrics of more than one syllable with no line end at all.
bool NeedsLineEnds(const Song& Song, const Survey& s);
// Where a word starts at syllable k of `texts` (not the first): its own text
// opens with a space, or the one before ends with one.
bool WordStartsAt(const std::vector<std::string_view>& texts, size_t k);
// A pause in the singing: three times the usual step from syllable to
// syllable, and at least a beat.
int32_t PauseOf(const Song& Song, int16_t t, const std::vector<int32_t>& syllables);

}  // namespace verselane::check_detail
