// The reads into a MidiFile, over the reads into the song model.
#include <exception>

#include "reader/midi_reader.h"
#include "reader/song_reading.h"

namespace verselane {

namespace {

// The MidiFile of a read, as the old reader left it: the song with two spare
// track slots, each with room for EventSlots events, and the read's facts.
// A read that stopped before the tracks were made leaves the reset file with
// the file's length.
void FillMidiFile(MidiFile& file, const reading::SongRead& read) {
    if (read.TracksMade) {
        file = ToMidiFile(read.song);
        ResizeEvents(file, read.EventSlots, false);
    }
    const SongFacts& facts = read.facts;
    file.FileLength = facts.FileLength;
    file.Tempo = facts.Tempo;
    file.KeySignature = facts.KeySignature;
    file.KeyMode = facts.KeyMode;
    file.TimeSigNumerator = facts.TimeSigNumerator;
    file.TimeSigDenominator = facts.TimeSigDenominator;
    file.Copyright = facts.Copyright;
    file.HasKaraokeText = facts.HasKaraokeText;
    file.HasLyrics = facts.HasLyrics;
    file.KaraokeText = facts.KaraokeText;
    file.LyricText = facts.LyricText;
}

template <class Read>
ReadOutcome ReadIntoMidiFile(MidiFile& file, Read&& read_song) {
    reading::SongRead read;
    ReadOutcome outcome;
    try {
        outcome = read_song(read);
    } catch (...) {
        // A progress callback that stopped the read: the song as far as read.
        FillMidiFile(file, read);
        throw;
    }
    FillMidiFile(file, read);
    return outcome;
}

}  // namespace

ReadOutcome ReadMidiBytes(MidiFile& Song, std::string_view Bytes, const ReadProgress& Progress) {
    return ReadIntoMidiFile(
        Song, [&](reading::SongRead& read) { return reading::ReadBytes(read, Bytes, Progress); });
}

ReadOutcome ReadMidiFile(MidiFile& Song, const std::string& FileName,
                         const ReadProgress& Progress) {
    return ReadIntoMidiFile(
        Song, [&](reading::SongRead& read) { return reading::ReadFile(read, FileName, Progress); });
}

}  // namespace verselane
