// The melody of a song: its lines of notes (a track, or one channel of a
// track that plays several), and the one that the words go on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "align/aligner.h"
#include "model/song.h"

namespace verselane::align {

struct NoteLine {
    int16_t Track = 0;
    int Channel = 0;                // 0-15; 9 is the drum channel
    std::string Name;               // the track's name as the song holds it
    std::vector<MelodyNote> Notes;  // one at a time, in order
    double Chords = 0;              // share of note starts with more than one note
    double MedianPitch = 0;
};

// Every line of notes: one per track and channel that plays notes, in the
// order of tracks, then channels.
std::vector<NoteLine> NoteLines(const Song& song);

// Why a line was chosen, as values that each program words: what speaks for
// it and the counts it was weighed by.
struct MelodyChoice {
    int Line = -1;                // index into the lines, -1 when there is none
    bool Named = false;           // its track's name suggests a melody (NoteLine::Name)
    bool OneNoteAtATime = false;  // hardly any chords
    bool InVoiceRange = false;    // its median pitch lies where a voice sings
    size_t Notes = 0;             // its notes
    size_t Syllables = 0;         // the syllables to place
    bool PartOfSong = false;      // the sheet holds the words of a part of the song only (far
                                  // fewer syllables than the song has room for), so the count
                                  // only ruled out lines with too few notes
};

// The line the words go on: a single line of notes in the range of a voice,
// about as many notes as syllables or more (for a sheet of a part of the
// song: notes enough), a name such as Melody, Vocal, Voice or Lead; never
// drums. `BeatTicks` is the song's ticks per beat. With `Track` >= 0 only
// lines of that track are considered.
MelodyChoice ChooseMelody(const std::vector<NoteLine>& Lines, size_t SyllableCount,
                          int32_t BeatTicks, int Track = -1);

// The metre of the song by its time signatures (every track), in tick order.
std::vector<Metre> MetresOf(const Song& song);

}  // namespace verselane::align
