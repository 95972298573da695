// What the reader learns of a song while it reads it: the first tempo, the
// signatures, the copyright, and the words as the two streams hold them.
#pragma once

#include <cstdint>
#include <string>

namespace verselane {

struct SongFacts {
    int32_t FileLength = 0;  // bytes of the file as read
    // A RIFF "RMID" file: the bytes of its chunks besides the Standard MIDI
    // File it wraps (a sound bank, information), which no written song keeps.
    int32_t WrapperBytes = 0;
    // Bytes after the song's last track chunk (junk, a web page, a second
    // copy of the song, another program's chunks), which no written song
    // keeps either.
    int32_t TrailingBytes = 0;
    int32_t Tempo = 0;  // beats per minute of the first tempo event (0: none)
    int16_t KeySignature = 0;
    int16_t KeyMode = 0;
    int16_t TimeSigNumerator = 0;
    int32_t TimeSigDenominator = 0;  // 0: none, or beyond 2^30
    std::string Copyright;
    bool HasKaraokeText = false;  // a text event holds "@K"
    bool HasLyrics = false;       // the song holds a lyric event
    std::string KaraokeText;      // the karaoke text, lines joined by CR LF
    std::string LyricText;        // the lyrics joined as sung

    friend bool operator==(const SongFacts&, const SongFacts&) = default;
};

}  // namespace verselane
