// Bridges for callers that still hold a MidiFile; they go when the callers
// move onto Song.
#include "align/song_words.h"
#include "editing/timed_words.h"

namespace verselane::editing {

TimedWords::TimedWords(const MidiFile& song, std::optional<LineSource> from, int16_t track)
    : TimedWords(ToSong(song), from, track) {}

MidiFile TimedWords::Song() const {
    return align::ToMidiFileAsRead(song_);
}

MidiFile TimedWords::SongToSave(SaveAs as) const {
    return align::ToMidiFileAsRead(SongToWrite(as));
}

}  // namespace verselane::editing
