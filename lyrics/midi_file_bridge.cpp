// The lyrics folder's functions for callers that still hold a MidiFile: each
// converts the file to a Song, calls the Song function and, where the song
// changes, puts the result back. They go when the callers move onto Song.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "lyrics/converters.h"
#include "lyrics/song_info.h"
#include "lyrics/sung_lines.h"
#include "lyrics/track_choice.h"
#include "model/errors.h"

namespace verselane {

namespace {

// The song of a file, with slot `t` among its tracks: a spare slot behind
// the real tracks comes as an empty track (and so do the spares before it);
// a slot that is not there raises SubscriptOutOfRange.
Song SongWithSlot(const MidiFile& file, int16_t t) {
    file.Count(t);
    Song song = ToSong(file);
    if (t >= song.TrackCount()) song.Tracks.resize(static_cast<size_t>(t) + 1);
    return song;
}

// The changed song back into the file: tracks and header from the song, the
// facts the reader gathered from the file, and the file's slot sizes, grown
// by the tracks the song gained. A track beyond the file's event slots
// raises SubscriptOutOfRange with the file unchanged, as the slots did.
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

void LyricsToKaraoke(MidiFile& Song, int16_t& SourceTrack, const KaraokeInfo& Info,
                     bool KeepLyrics) {
    const int16_t real = RealTrackCount(Song);
    verselane::Song song = SongWithSlot(Song, SourceTrack);
    int16_t source = SourceTrack;
    LyricsToKaraoke(song, source, Info, KeepLyrics);
    // A spare slot converted as an empty track stays a spare.
    song.Tracks.resize(std::min<size_t>(song.Tracks.size(), static_cast<size_t>(real) + 2));
    TakeBack(Song, song);
    SourceTrack = source;
}

void KaraokeToLyrics(MidiFile& Song, int16_t SourceTrack, bool KeepKaraoke) {
    if (SourceTrack >= RealTrackCount(Song)) {
        // A spare slot holds nothing to convert; keep mode leaves it without names.
        Song.Count(SourceTrack);
        if (KeepKaraoke) {
            Song.NameOf(SourceTrack).clear();
            Song.InstrumentOf(SourceTrack).clear();
        }
        return;
    }
    verselane::Song song = ToSong(Song);
    KaraokeToLyrics(song, SourceTrack, KeepKaraoke);
    TakeBack(Song, song);
}

TrackMaterial MaterialOf(const MidiFile& Song, int16_t Track) {
    return MaterialOf(SongWithSlot(Song, Track), Track);
}

std::vector<TrackMaterial> MaterialOfTracks(const MidiFile& Song) {
    return MaterialOfTracks(ToSong(Song));
}

int16_t ChooseSourceTrack(const MidiFile& Song, ConversionDirection Direction) {
    return ChooseSourceTrack(ToSong(Song), Direction);
}

KaraokeInfo SongKaraokeInfo(const MidiFile& Song) {
    return SongKaraokeInfo(ToSong(Song));
}

std::vector<SungLine> SungLines(const MidiFile& Song, int16_t Track, LineSource From,
                                SungDetail Detail) {
    return SungLines(SongWithSlot(Song, Track), Track, From, Detail);
}

std::vector<std::string> TitleLines(const MidiFile& Song, int16_t Track, LineSource From) {
    return TitleLines(SongWithSlot(Song, Track), Track, From);
}

std::optional<LineSource> PreferredLineSource(const MidiFile& Song) {
    return PreferredLineSource(ToSong(Song));
}

}  // namespace verselane
