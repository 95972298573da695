// The check's functions for callers that still hold a MidiFile: each
// converts the file to a Song, calls the Song function and, where the song
// changes, puts the result back. They go when the callers move onto Song.
#include <utility>

#include "check/song_check.h"

namespace verselane {

namespace {

// Runs a repair on the song of the file and, when it changed the song, puts
// the tracks and header back; the facts the reader gathered stay.
template <typename RepairOfSong>
bool Repaired(MidiFile& file, RepairOfSong&& repair) {
    Song song = ToSong(file);
    if (!repair(song)) return false;
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
    return true;
}

}  // namespace

std::vector<Finding> CheckSong(const MidiFile& Song) {
    return CheckSong(ToSong(Song));
}

bool ApplyRepair(MidiFile& Song, Repair Fix, PlayerFamily Keep) {
    return Repaired(Song, [&](verselane::Song& song) { return ApplyRepair(song, Fix, Keep); });
}

}  // namespace verselane
