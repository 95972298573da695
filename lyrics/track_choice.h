// Which track of a song holds the words: guesses from the track names, counts
// of lyric and karaoke text events, and the choice of a conversion's source.
#pragma once

#include <cstdint>
#include <vector>

#include "model/song.h"

namespace verselane {

enum class ConversionDirection {
    LyricsToKaraoke,  // lyric events (meta type 5) become karaoke text
    KaraokeToLyrics,  // karaoke text events (meta type 1) become lyric events
};

// The track names that suggest words. Each member is the last real track
// whose name contains the pieces given (plain, case-sensitive search), or -1
// when no name does. One name may feed several guesses ("Vocals").
struct TrackNameGuesses {
    int16_t Lyrics = -1;  // "rics"
    int16_t Words = -1;   // "ords" or "cals"
    int16_t Vocal = -1;   // "oc" or "oi"

    // The track to offer first as the source of words: the lyrics guess,
    // else the words guess, else the vocal guess, else -1.
    int16_t Source() const;
};

// Guesses over every track, track 0 included.
TrackNameGuesses GuessWordsTracks(const Song& Song);

// Karaoke text is the text events (meta type 1) of a song marked as Soft
// Karaoke by an "@K" line in any track, or of a track whose texts mark their
// lines with "\" and "/" as karaoke text does: at least one in twenty of its
// texts that are not "@" tags opens with a mark (a line has fewer
// syllables), and the marks fall at two times at least (lines follow one
// another). Other texts (credits, titles, section names, instrument or
// performance notes) are not words.
bool HasKaraokeHeader(const Song& Song);
// A bad track raises SubscriptOutOfRange.
bool HasMarkedLines(const Song& Song, int16_t Track);

// What one track holds for the two directions.
struct TrackMaterial {
    int32_t LyricEvents = 0;  // meta type 5
    int32_t TextEvents = 0;   // karaoke text: meta type 1 by the rule above
    int32_t OtherTexts = 0;   // meta type 1 that is not karaoke text
};

// The material of one track; a bad track raises SubscriptOutOfRange.
TrackMaterial MaterialOf(const Song& Song, int16_t Track);

// The material of every track, indexed by track number.
std::vector<TrackMaterial> MaterialOfTracks(const Song& Song);

// Whether a track holds anything to convert in the direction given.
bool HoldsMaterial(const TrackMaterial& Material, ConversionDirection Direction);

// The track to convert when the user names none: the first of the name
// guesses (lyrics, words, vocal) that holds material for the direction, at
// least half as much as the track holding the most; else the track holding
// the most such events (the lowest number on a tie), else -1 when no track
// holds any.
int16_t ChooseSourceTrack(const Song& Song, ConversionDirection Direction);

}  // namespace verselane
