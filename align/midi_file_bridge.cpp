// Bridges for callers that still hold a MidiFile; they go when the callers
// move onto Song.
#include "align/melody.h"
#include "align/song_words.h"

#include <algorithm>
#include <cstdint>

#include "writer/midi_writer.h"

namespace verselane::align {

MidiFile ToMidiFileAsRead(const Song& song) {
    MidiFile file = ToMidiFile(song);
    const std::string bytes = EncodeSong(song);
    // The chunks: four bytes of type, four of length, then the body.
    int64_t longest = 0;
    for (size_t at = 0; at + 8 <= bytes.size();) {
        uint32_t length = 0;
        for (size_t i = 4; i < 8; ++i) length = length << 8 | static_cast<uint8_t>(bytes[at + i]);
        if (at > 0) longest = std::max<int64_t>(longest, length);
        at += 8 + size_t{length};
    }
    const int64_t slots = std::min<int64_t>(longest / 2 + 100, INT32_MAX);
    if (slots > file.EventSlots) ResizeEvents(file, static_cast<int32_t>(slots), false);
    return file;
}

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

void PutWords(MidiFile& song, const std::vector<std::string>& Texts, const Alignment& Placement,
              WordsOutput Output, const KaraokeInfo& Info, bool Replace,
              const std::function<std::string(std::string_view)>& ToSongBytes) {
    Song moved = ToSong(song);
    SongFacts facts;
    facts.HasLyrics = song.HasLyrics;
    facts.HasKaraokeText = song.HasKaraokeText;
    facts.LyricText = song.LyricText;
    facts.KaraokeText = song.KaraokeText;
    PutWords(moved, facts, Texts, Placement, Output, Info, Replace, ToSongBytes);
    // The tracks and events anew; what the reader learnt stays, but for the
    // words.
    MidiFile out = ToMidiFileAsRead(moved);
    if (song.EventSlots > out.EventSlots) ResizeEvents(out, song.EventSlots, false);
    out.Tempo = song.Tempo;
    out.KeySignature = song.KeySignature;
    out.KeyMode = song.KeyMode;
    out.TimeSigNumerator = song.TimeSigNumerator;
    out.TimeSigDenominator = song.TimeSigDenominator;
    out.Copyright = song.Copyright;
    out.FileLength = song.FileLength;
    out.HasLyrics = facts.HasLyrics;
    out.HasKaraokeText = facts.HasKaraokeText;
    out.LyricText = facts.LyricText;
    out.KaraokeText = facts.KaraokeText;
    song = std::move(out);
}

}  // namespace verselane::align
