// Writing a MidiFile, over the writing of the song model.
#include "model/errors.h"
#include "writer/midi_writer.h"

namespace verselane {

namespace {

// The song of the tracks that the file's header announces: the real tracks,
// and any slot behind them that the header counts. A slot that is not there
// raises SubscriptOutOfRange.
Song SongToWrite(const MidiFile& file) {
    Song song = ToSong(file);
    for (int16_t t = song.TrackCount(); t < file.Header.NumTracks; ++t) {
        const MidiTrack& slot = file.Track(t);
        Track track;
        track.Name = file.TrackName[t];
        track.Instrument = file.InstrumentName[t];
        for (int32_t i = 0; i < file.Count(t); ++i) {
            const MidiEvent& e = slot.Event(i);
            track.Append(
                {e.Time, static_cast<EventKind>(e.Kind), e.IsMeta() ? uint8_t{0} : e.Channel,
                 e.IsMeta() ? e.Channel : e.Data1, e.Data2, 0},
                e.Data.view());
        }
        song.Tracks.push_back(std::move(track));
    }
    return song;
}

}  // namespace

std::string EncodeMidiFile(const MidiFile& Song) {
    if (Song.Header.NumTracks < 0) Raise(ErrorKind::Overflow, "a negative number of tracks");
    return EncodeSong(SongToWrite(Song));
}

std::optional<WriteFailure> WriteMidiFile(const MidiFile& Song, const std::string& FileName,
                                          ExistingFile Existing) {
    if (Song.Header.NumTracks < 0) {
        WriteFailure failure;
        failure.Kind = WriteFailureKind::NegativeTrackCount;
        failure.Error = ErrorKind::Overflow;
        failure.Path = FileName;
        return failure;
    }
    verselane::Song song;
    try {
        song = SongToWrite(Song);
    } catch (...) {
        return CurrentWriteFailure(FileName);
    }
    return WriteSong(song, FileName, Existing);
}

}  // namespace verselane
