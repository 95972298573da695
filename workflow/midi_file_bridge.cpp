// The workflow's functions for callers that still hold a MidiFile: each
// converts the file to a Song and calls the Song function. They go when the
// callers move onto Song.
#include "workflow/words_track.h"

namespace verselane::workflow {

std::optional<WordsSource> SongWords(const MidiFile& Song) {
    return SongWords(ToSong(Song));
}

}  // namespace verselane::workflow
