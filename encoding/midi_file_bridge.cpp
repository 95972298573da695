// The encoding folder's functions for callers that still hold a MidiFile.
// They go when the callers move onto Song.
#include <algorithm>
#include <utility>

#include "encoding/song_recoding.h"
#include "encoding/text_encoding.h"

namespace verselane {

std::vector<std::string_view> SongTexts(const MidiFile& Song) {
    // Views into the file itself, so it is read where it stands.
    std::vector<std::string_view> texts;
    const size_t slots = std::min(Song.Tracks.size(), Song.EventCount.size());
    for (size_t t = 0; t < slots; ++t) {
        const std::vector<MidiEvent>& stored = Song.Tracks[t].Stored();
        const size_t n =
            std::min(stored.size(), static_cast<size_t>(std::max(0, Song.EventCount[t])));
        for (size_t i = 0; i < n; ++i) {
            const MidiEvent& e = stored[i];
            if (e.IsTextMeta() && !e.Data.empty()) texts.push_back(e.Data.view());
        }
    }
    return texts;
}

TextDecoder SongDecoder(const MidiFile& Song, const std::string& Override) {
    if (!Override.empty()) return TextDecoder(EncodingName(Override));
    return TextDecoder(DetectEncoding(SongTexts(Song)));
}

RecodeOutcome RecodeSongTexts(MidiFile& Song, const std::string& Target,
                              const std::string& Source) {
    verselane::Song song = ToSong(Song);
    RecodeOutcome outcome = RecodeSongTexts(song, Target, Source);
    if (!outcome.Refused.empty()) return outcome;
    // Only text bodies and names change: they go back into their slots.
    for (int16_t t = 0; t < song.TrackCount(); ++t) {
        const Track& track = song.Tracks[t];
        for (int32_t i = 0; i < track.Size() && outcome.Changed > 0; ++i) {
            if (track[i].IsTextMeta()) Song.Track(t).Event(i).Data = track.Body(track[i]);
        }
        Song.NameOf(t) = track.Name;
        Song.InstrumentOf(t) = track.Instrument;
    }
    return outcome;
}

}  // namespace verselane
