// Which track holds a song's words: the one policy of the command line, the
// desktop window and the conversion dialog.
#pragma once

#include <cstdint>
#include <optional>

#include "lyrics/sung_lines.h"
#include "lyrics/track_choice.h"
#include "model/song.h"

namespace verselane::workflow {

// The track a conversion in `Direction` takes its words from when the user
// names none: the first of the name guesses (lyrics, words, vocal) that holds
// material for the direction, else the track holding the most of it (the
// lowest number on a tie); -1 when no track holds any.
int16_t WordsTrack(const Song& Song, ConversionDirection Direction);

// The direction whose source the song's words are.
ConversionDirection DirectionFrom(LineSource From);

// A song's words when no direction is chosen yet: the kind of events the song
// sings by (karaoke text in a Soft Karaoke song that has it, else lyric
// events, else karaoke text) and the track chosen for it by WordsTrack.
struct WordsSource {
    LineSource From = LineSource::Lyrics;
    int16_t Track = -1;
};
std::optional<WordsSource> SongWords(const Song& Song);

}  // namespace verselane::workflow
