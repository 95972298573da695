// The driver's conversion for callers that still hold a MidiFile: the file
// becomes a Song, the Song conversion runs, and a converted song goes back
// into the file. It goes when the callers move onto Song.
#include <utility>

#include "driver/convert_lyrics.h"
#include "model/errors.h"

namespace verselane {

namespace {

// The facts the file holds from its read.
SongFacts FactsOf(const MidiFile& file) {
    SongFacts facts;
    facts.FileLength = file.FileLength;
    facts.Tempo = file.Tempo;
    facts.KeySignature = file.KeySignature;
    facts.KeyMode = file.KeyMode;
    facts.TimeSigNumerator = file.TimeSigNumerator;
    facts.TimeSigDenominator = file.TimeSigDenominator;
    facts.Copyright = file.Copyright;
    facts.HasKaraokeText = file.HasKaraokeText;
    facts.HasLyrics = file.HasLyrics;
    facts.KaraokeText = file.KaraokeText;
    facts.LyricText = file.LyricText;
    return facts;
}

// The converted song back into the file: tracks and header from the song,
// the file's facts and slot sizes (grown by the tracks the song gained). A
// track beyond the file's event slots raises SubscriptOutOfRange with the
// file unchanged, as the slots did.
void TakeBack(MidiFile& file, const Song& song) {
    for (const Track& track : song.Tracks) {
        if (track.Size() > file.EventSlots + int64_t{1}) Raise(ErrorKind::SubscriptOutOfRange);
    }
    MidiFile out = ToMidiFile(song);
    const int32_t slots = file.TrackSlots + (song.TrackCount() - RealTrackCount(file));
    if (slots > out.TrackSlots) ResizeTracks(out, slots, false);
    if (file.EventSlots > out.EventSlots) ResizeEvents(out, file.EventSlots, false);
    out.Tempo = file.Tempo;
    out.KeySignature = file.KeySignature;
    out.KeyMode = file.KeyMode;
    out.TimeSigNumerator = file.TimeSigNumerator;
    out.TimeSigDenominator = file.TimeSigDenominator;
    out.HasKaraokeText = file.HasKaraokeText;
    out.HasLyrics = file.HasLyrics;
    out.Copyright = std::move(file.Copyright);
    out.FileLength = file.FileLength;
    out.KaraokeText = std::move(file.KaraokeText);
    out.LyricText = std::move(file.LyricText);
    file = std::move(out);
}

}  // namespace

bool ConvertLyrics(MidiFile& Song, ConversionDialog& Dialog, KaraokeInfoDialog& InfoDialog,
                   ConversionHost& Host) {
    verselane::Song song = ToSong(Song);
    const bool converted = ConvertLyrics(song, FactsOf(Song), Dialog, InfoDialog, Host);
    if (converted) TakeBack(Song, song);
    return converted;
}

}  // namespace verselane
