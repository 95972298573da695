// Bridges for callers that still hold a MidiFile; they go when the callers
// move onto Song.
#include "align/melody.h"
#include "align/song_words.h"

namespace verselane::align {

std::vector<NoteLine> NoteLines(const MidiFile& song) {
    return NoteLines(ToSong(song));
}

std::vector<Metre> MetresOf(const MidiFile& song) {
    return MetresOf(ToSong(song));
}

SheetAlignment AlignSheet(const MidiFile& song, const SheetRequest& Request) {
    return AlignSheet(ToSong(song), Request);
}

bool SongHasWords(const MidiFile& song) {
    SongFacts facts;
    facts.HasKaraokeText = song.HasKaraokeText;
    return SongHasWords(ToSong(song), facts);
}

}  // namespace verselane::align
