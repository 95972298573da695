// The in-process scorer of the aligner (the figures tool, its benchmark and
// the corpus floors of the tests): songs whose words are timed, turned into
// what the aligner is scored on:
// the song without its words, the words as a lyric sheet, and the true time
// of every syllable. The same figures as ../shared/tools/align-score, worked
// out in-process so that tests and the tuning tool stay fast.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "align/aligner.h"
#include "model/song.h"

namespace verselane::scoring {

struct TimedSheet {
    Song Wordless;                 // the song with every lyric and text event removed
    std::string Sheet;             // words with "-" between the syllables, "~" inside
    std::string PlainSheet;        // the same without "-" marks
    std::vector<int32_t> Ticks;    // the true time of each syllable
    std::vector<bool> WordStarts;  // each syllable: opens a word
    std::vector<bool> LineStarts;  // each syllable: opens a line
    bool Clean = false;            // one track starts a note at 95 % of the syllables or more
    int BestTrack = -1;            // the track that starts a note at the most syllables
};

// How far from its true tick a syllable may land and still count as right:
// a 32nd note of the song's division (1 tick at the least), as align-score
// counts.
int32_t ToleranceOf(int16_t Division);
// How many of `Ticks` have a note start (`SortedStarts`) within `Tolerance`.
size_t StartsNear(const std::vector<int32_t>& SortedStarts, const std::vector<int32_t>& Ticks,
                  int32_t Tolerance);

// The timed sheet of a song, or nothing when it has fewer than 8 syllables.
std::optional<TimedSheet> TimedSheetOf(const Song& Song);

struct AlignFigures {
    size_t Syllables = 0;
    double First = 0;   // percent right with no help
    double Fixes = 0;   // pins per 100 syllables until all are right
    double Lines = 0;   // percent right (of those not pinned) with every line's first pinned
    double Words = 0;   // percent of words that start right from the plain sheet, own syllables
    std::string Error;  // why the song could not be scored
    int MelodyTrack = -1, MelodyChannel = -1;  // the line chosen
    // With no help: syllables wrong, syllables marked "close call", and
    // those of them that are wrong (a useful doubt points at a wrong one).
    size_t Wrong = 0, Doubts = 0, WrongDoubts = 0;
    // The same for the plain sheet, by words (a word is doubted when one of
    // its syllables is).
    size_t WrongWords = 0, DoubtedWords = 0, WrongDoubtedWords = 0;
};

// Scores the aligner on one timed sheet; `WithFixes` runs the fixes loop.
AlignFigures ScoreAlignment(const TimedSheet& Timed, const align::AlignWeights& Weights,
                            bool WithFixes = true);

// A sheet of a part of the song: how many of the melodies chosen for the
// first 10, 25, 50, 100 and 200 syllables of the sheet (each fewer than the
// whole) are the line chosen for the whole sheet, and how many were chosen.
struct PartSheetMelodies {
    size_t Same = 0;
    size_t Chosen = 0;
};
PartSheetMelodies MelodiesOfPartSheets(const TimedSheet& Timed);

}  // namespace verselane::scoring
