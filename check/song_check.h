// Will the words show? A check of a song's words against what the two player
// families need, and the repairs for what can be mended safely.
//
// Soft Karaoke players look for a "@K" text event in the first two tracks and
// text events marked "\" (new paragraph) and "/" (new line), by custom in a
// track named "Words". Readers of lyric events (keyboards, most players) join
// the lyric texts as they stand: a carriage return ends a line, a line feed a
// paragraph, and a space is the only word gap.
//
// A finding's level rests on what a player family does: WillNotShow where it
// finds no words, ShowsWrong where it shows them other than meant, Advice
// where players differ or what they do is not known.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/song.h"

namespace verselane {

// How bad a finding is, from least to worst.
enum class Severity { Advice, ShowsWrong, WillNotShow };

// The players a finding concerns.
enum class PlayerFamily { SoftKaraoke, LyricReaders, Both };

// The repairs; each changes nothing but what its name says.
enum class Repair {
    None,
    MoveKaraokeHeader,  // the "@K" line into a header track at track 1
    NameWordsTrack,     // the karaoke text track named "Words"
    MakeFormat1,        // format 1: patterns laid one after another, a single track's
                        // text events into a "Words" track
    SplitLongLines,     // a "/" at the word gap nearest the end of the screen
    AddLineEnds,        // carriage returns at the word gaps before pauses in the singing
    DropDuplicate,      // one of the two streams of the same words goes
    OneEncoding,        // every text in one encoding (done outside the core: iconv)
    RemoveNul,          // NUL bytes out of the lyric and text events
    JoinSplitWords,     // one space at a word's end, none inside a word
    AddWordGaps,        // a space after each syllable that ends a word, where "-" marks the rest
};

// What a finding is about. Its text (FindingIdText) is the stable id that the
// command line and the desktop show and that JSON output carries. Each
// program words a finding from its id and values; the numbers a finding
// quotes (Finding::Numbers) are given beside the ids that have any.
enum class FindingId {
    LyricsOnly,          // "sk-lyrics-only"
    NotFormat1,          // "sk-format": {the song's format}
    NoKaraokeHeader,     // "sk-no-at-k"
    LateKaraokeHeader,   // "sk-late-at-k" (Track: where the "@K" line lies)
    EmptyKaraokeHeader,  // "sk-empty-header"
    NoWordsTrack,        // "sk-no-words-track" (Track: the karaoke text's)
    MarkInsideText,      // "sk-mark-inside"
    LongParagraph,       // "sk-long-paragraph": {lines, lines a screen shows}
    LongLine,            // "sk-long-line": {characters, characters a screen shows}
    KaraokeTextOnly,     // "ly-karaoke-only"
    SplitWords,          // "ly-split-words"
    MergedWords,         // "ly-merged-words"
    NoLineEnds,          // "ly-no-line-ends"
    LateLineEnd,         // "ly-late-line-end"
    NulBytes,            // "ly-nul": {texts holding NUL bytes}
    DuplicateWords,      // "both-duplicate"
    SeveralWordTracks,   // "both-several-tracks": {tracks holding words}
    MixedEncodings,      // "enc-mixed": {UTF-8 texts, texts in another encoding}
    LegacyEncoding,      // "enc-legacy"
    Utf8Encoding,        // "enc-utf8"
    TimeBackwards,       // "both-time-backwards"
    AfterLastNote,       // "both-after-last-note": {syllables after the last note}
};

// "sk-no-at-k", ...: the stable text of a finding's id.
std::string_view FindingIdText(FindingId Id);
// The id of a stable text; false for an unknown one.
bool ParseFindingId(std::string_view Text, FindingId& Id);

struct Finding {
    FindingId Id = FindingId::LyricsOnly;
    Severity Level = Severity::Advice;
    PlayerFamily Family = PlayerFamily::Both;
    int32_t Track = -1;  // -1: the whole song
    int32_t Event = -1;  // index in the track, -1: the whole track
    int32_t Time = -1;   // ticks, -1: none
    Repair Fix = Repair::None;
    std::array<int32_t, 2> Numbers{};  // what the finding quotes (see FindingId), else 0
};

// The longest line that a Soft Karaoke screen shows, in characters, and the
// most lines of one paragraph (one screen).
constexpr int kScreenColumns = 40;
constexpr int kScreenLines = 4;

// Which of the song's texts are UTF-8. The text encoding layer tells
// (Utf8TestFor): the double-byte characters of East Asian code pages are
// valid UTF-8 by chance, so IsValidUtf8 alone would call such a song mixed.
using Utf8Test = std::function<bool(std::string_view)>;

// Every finding, in the order of the checks (Soft Karaoke, lyric readers,
// both); within a check in the order of the song.
std::vector<Finding> CheckSong(const Song& Song, const Utf8Test& IsUtf8);

// Only the findings that concern `For` (Both: all of them) at `AtLeast` or worse.
std::vector<Finding> FindingsFor(const std::vector<Finding>& Findings, PlayerFamily For,
                                 Severity AtLeast = Severity::Advice);

std::string_view SeverityName(Severity Level);     // "will not show", "shows wrong", "advice"
std::string_view FamilyName(PlayerFamily Family);  // "soft-karaoke", "lyrics", "both"
std::string_view RepairName(Repair Fix);           // "move-karaoke-header", ...; "" for None
bool ParseSeverity(std::string_view Text, Severity& Level);
bool ParseFamily(std::string_view Text, PlayerFamily& Family);

// The repairs. Each returns whether it changed the song; a song that does not
// need it is left exactly as it was.
bool MoveKaraokeHeader(Song& Song);
bool NameWordsTrack(Song& Song);
// Format 1 from format 0 or 2. A format 0 song's single track gives its text
// events to a new "Words" track. The patterns of a format 2 song are laid one
// after another, as they play: each pattern's events move later by the end
// of the patterns before it, and a pattern that does not set its tempo at its
// start gets the tempo it plays at (the default of 120 beats per minute)
// there, since in format 1 every track shares one tempo map.
bool MakeFormat1(Song& Song);
bool SplitLongLines(Song& Song);
bool AddLineEnds(Song& Song);
// Keeps the karaoke text when `Keep` is SoftKaraoke (the lyric events go),
// the lyric events when it is LyricReaders (the karaoke text and its "@K"
// header go); Both keeps both and changes nothing.
bool DropDuplicate(Song& Song, PlayerFamily Keep);
bool RemoveNulBytes(Song& Song);
// Lyrics whose every syllable ends in a space and whose words end in two
// (as some converters write them): the space inside a word goes and a
// word's two become one; line ends, times and every other event stay.
bool JoinSplitWords(Song& Song);
// Lyrics that run their words together but end each syllable inside a word
// with "-": a space after every other syllable, before the line end it
// carries, unless a line end follows. False when the song has no such lyrics.
bool AddWordGaps(Song& Song);

// Runs the repair of `Fix` (all but OneEncoding, which needs iconv); `Keep`
// is for DropDuplicate.
bool ApplyRepair(Song& Song, Repair Fix, PlayerFamily Keep = PlayerFamily::Both);

}  // namespace verselane
