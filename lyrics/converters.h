// The two lyric conversions.
#pragma once

#include <cstdint>
#include <string>

#include "model/midi_file.h"

namespace verselane {

// The information lines of a Soft Karaoke words track.
struct KaraokeInfo {
    std::string Language;
    std::string Title;
    std::string Artist;
    std::string ExtraText;  // not written by the conversion
};

// Turns the lyric events of SourceTrack into Soft Karaoke text: a "Soft
// Karaoke" header track and a "Words" track inserted behind track 0, the words
// marked "\" for a new paragraph and "/" for a new line. A lyric that holds a
// carriage return or a line feed ends a line; a line feed among them, or a
// second line end at the tick of the one before, makes the next word open a
// paragraph. On return SourceTrack names the same track of the grown song
// (2 higher, but track 0 stays 0: it does not move). A format 0 song becomes
// format 1. A bad SourceTrack raises SubscriptOutOfRange before anything
// changes.
void LyricsToKaraoke(MidiFile& Song, int16_t& SourceTrack, const KaraokeInfo& Info);

// Turns the karaoke text events of SourceTrack into lyric events: beside
// them when KeepKaraoke (each lyric right behind its text event; the slot's
// stored names become empty), in their place otherwise. A "\" mark becomes LF
// CR and a "/" mark CR at the end of the lyric before; every lyric ends in a
// space. InsertAfter is not used: the lyrics always stay in the source track.
void KaraokeToLyrics(MidiFile& Song, int16_t SourceTrack, int16_t InsertAfter, bool KeepKaraoke);

}  // namespace verselane
