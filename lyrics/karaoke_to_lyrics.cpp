// Soft Karaoke text to lyric events: each text event (meta type 1) becomes a
// lyric (meta type 5) whose text carries the line breaks as control
// characters, in place of the text event or as a copy behind it.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "lyrics/converters.h"
#include "lyrics/track_editing.h"
#include "model/errors.h"

namespace verselane {

namespace {

bool IsKaraokeText(const MidiEvent& e) {
    return e.Kind == kKindMeta && e.Channel == kMetaText;
}

// Turns X into a lyric. A mark at its start becomes a line break at the end
// of the previous lyric: LF CR for "\" (new paragraph), CR for "/" (new line).
void ConvertText(MidiEvent& x, MidiTrack& track, std::optional<int32_t> last_lyric) {
    x.Channel = kMetaLyric;
    std::string data = x.Data.str() + " ";
    switch (data[0]) {
        case '@':  // an information line keeps its tag and ends its own line
            data += '\r';
            break;
        case '\\':
            if (last_lyric) track.Event(*last_lyric).Data.Append("\n\r");
            data.erase(0, 1);
            break;
        case '/':
            if (last_lyric) track.Event(*last_lyric).Data.Append("\r");
            data.erase(0, 1);
            break;
        default:
            break;
    }
    x.Data = std::string_view(data);
}

}  // namespace

void KaraokeToLyrics(MidiFile& Song, int16_t SourceTrack, [[maybe_unused]] int16_t InsertAfter,
                     bool KeepKaraoke) {
    const int32_t n = Song.Count(SourceTrack);
    // The most recently converted event of the track being built or edited.
    // Any index counts, 0 included: the lyric at the very start of a track
    // still receives the break of the mark that follows it.
    std::optional<int32_t> last_lyric;

    if (!KeepKaraoke) {
        MidiTrack& track = Song.Track(SourceTrack);
        for (int32_t i = 0; i < n; ++i) {
            if (!IsKaraokeText(std::as_const(track).Event(i))) continue;
            // Copied out and back, because converting may append to another
            // element of the same track.
            MidiEvent x = track.Event(i);
            ConvertText(x, track, last_lyric);
            track.Event(i) = std::move(x);
            last_lyric = i;
        }
        return;
    }

    // Keep mode builds the new track in a scratch song, so that the song is
    // changed only once the whole track has been built.
    MidiFile scratch;
    ResetMidiFile(scratch);
    ResizeTracks(scratch, 1, true);
    ResizeEvents(scratch, Song.EventSlots, true);
    MidiTrack& built = scratch.Track(0);
    int32_t& count = scratch.Count(0);
    const MidiTrack& source = std::as_const(Song).Track(SourceTrack);
    // The new track is taken once, at its size: a track of millions of
    // events must not grow by doubling.
    int64_t texts = 0;
    for (int32_t i = 0; i < n; ++i) texts += IsKaraokeText(source.Event(i));
    built.Reserve(static_cast<int32_t>(std::min<int64_t>(n + texts, built.Upper() + int64_t{1})));
    for (int32_t i = 0; i < n; ++i) {
        const MidiEvent& e = source.Event(i);
        built.Event(count) = e;
        count = AddLong(count, 1);
        if (!IsKaraokeText(e)) continue;
        const int32_t k = count;
        MidiEvent c = e;
        ConvertText(c, built, last_lyric);
        built.Event(k) = std::move(c);
        count = AddLong(count, 1);
        last_lyric = k;
    }
    // Put in place as CopyTrack does, but moved rather than copied, so the
    // song is never held three times.
    Song.Track(SourceTrack);
    Song.Tracks[SourceTrack] = std::move(built);
    Song.EventCount[SourceTrack] = count;
    Song.InstrumentName[SourceTrack] = std::move(scratch.InstrumentName[0]);
    Song.TrackName[SourceTrack] = std::move(scratch.TrackName[0]);
}

}  // namespace verselane
