#include "workflow/words_track.h"

namespace verselane::workflow {

int16_t WordsTrack(const Song& Song, ConversionDirection Direction) {
    return ChooseSourceTrack(Song, Direction);
}

ConversionDirection DirectionFrom(LineSource From) {
    return From == LineSource::Lyrics ? ConversionDirection::LyricsToKaraoke
                                      : ConversionDirection::KaraokeToLyrics;
}

std::optional<WordsSource> SongWords(const Song& Song) {
    const std::optional<LineSource> from = PreferredLineSource(Song);
    if (!from) return std::nullopt;
    return WordsSource{*from, WordsTrack(Song, DirectionFrom(*from))};
}

}  // namespace verselane::workflow
