// Bridges for callers that still hold a MidiFile; they go when the callers
// move onto Song.
#include "editing/timed_words.h"

namespace verselane::editing {

TimedWords::TimedWords(const MidiFile& song, std::optional<LineSource> from, int16_t track)
    : TimedWords(ToSong(song), from, track) {}

MidiFile TimedWords::Song() const {
    return ToMidiFile(song_);
}

MidiFile TimedWords::SongToSave(SaveAs as) const {
    return ToMidiFile(SongToWrite(as));
}

}  // namespace verselane::editing
