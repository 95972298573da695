// Bridges for callers that still hold a MidiFile; they go when the callers
// move onto Song.
#include "model/midi_file.h"
#include "model/song.h"
#include "model/timing.h"

namespace verselane {

namespace {

// The song's clock alone: its header and, in each track, only the tempo and
// time signature events, so that a caller asking the time of one event does
// not copy every event of the song.
Song ClockOf(const MidiFile& file) {
    Song song;
    song.HeaderLength = file.Header.Length;
    song.Format = file.Header.Format;
    song.Division = file.Header.Division;
    const int16_t tracks = RealTrackCount(file);
    song.Tracks.resize(static_cast<size_t>(tracks));
    for (int16_t t = 0; t < tracks; ++t) {
        for (const MidiEvent& e : file.Events(t)) {
            if (e.IsMeta(kMetaTempo) || e.IsMeta(kMetaTimeSignature)) {
                song.Tracks[static_cast<size_t>(t)].Append(Event::Meta(e.Time, e.Channel),
                                                           e.Data.view());
            }
        }
    }
    return song;
}

}  // namespace

TempoMap::TempoMap(const MidiFile& song, int16_t track) : TempoMap(ClockOf(song), track) {}

BarBeatMap::BarBeatMap(const MidiFile& song, int16_t track) : BarBeatMap(ClockOf(song), track) {}

}  // namespace verselane
