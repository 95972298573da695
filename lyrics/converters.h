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
// Karaoke" header track and a "Words" track inserted behind track 0. On
// return SourceTrack names the same track of the grown song.
void LyricsToKaraoke(MidiFile& Song, int16_t& SourceTrack, const KaraokeInfo& Info);

// Turns the karaoke text events of SourceTrack into lyric events: beside
// them when KeepKaraoke, in their place otherwise. InsertAfter is not used:
// the lyrics always stay in the source track.
void KaraokeToLyrics(MidiFile& Song, int16_t SourceTrack, int16_t InsertAfter, bool KeepKaraoke);

}  // namespace verselane
