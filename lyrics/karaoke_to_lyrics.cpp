// Soft Karaoke text to lyric events: each sung text event (meta type 1)
// becomes a lyric (meta type 5) whose text carries the line breaks as control
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

// A text event that turns into a lyric: karaoke text, but not an "@" tag
// ("@KMIDI KARAOKE FILE", "@L", "@T" lines), which players do not sing.
bool IsSungText(const MidiEvent& e) {
    return e.IsText() && !e.Data.view().starts_with('@');
}

// Turns X into a lyric holding its syllable as it stands, without the mark.
// A mark becomes a line end at the end of the previous lyric: LF CR for "\"
// (new paragraph), CR for "/" (new line). Spaces that open the syllable are
// the gap before its word: they move to the end of the previous lyric, ahead
// of the line end, as lyric events carry their gaps.
void ConvertText(MidiEvent& x, MidiTrack& track, std::optional<int32_t> last_lyric) {
    x.Channel = kMetaLyric;
    std::string_view text = x.Data.view();
    std::string_view line_end;
    if (text.starts_with('\\')) line_end = "\n\r";
    if (text.starts_with('/')) line_end = "\r";
    if (!line_end.empty()) text.remove_prefix(1);
    if (last_lyric) {
        const size_t gap = std::min(text.find_first_not_of(" \r\n"), text.size());
        ByteString& previous = track.Event(*last_lyric).Data;
        previous.Append(std::string(gap, ' '));
        previous.Append(line_end);
        text.remove_prefix(gap);
    }
    // Karaoke text joins a carriage return or line feed inside a syllable as
    // a space; in a lyric it would end the line.
    std::string lyric(text);
    for (char& c : lyric) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    x.Data = std::string_view(lyric);
}

}  // namespace

void KaraokeToLyrics(MidiFile& Song, int16_t SourceTrack, bool KeepKaraoke) {
    const int32_t n = Song.Count(SourceTrack);
    // The most recently converted event of the track being built or edited.
    // Any index counts, 0 included: the lyric at the very start of a track
    // still receives the break of the mark that follows it.
    std::optional<int32_t> last_lyric;

    if (!KeepKaraoke) {
        MidiTrack& track = Song.Track(SourceTrack);
        for (int32_t i = 0; i < n; ++i) {
            if (!IsSungText(std::as_const(track).Event(i))) continue;
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
    scratch.EventSlots = Song.EventSlots;
    ResizeTracks(scratch, 1, true);
    MidiTrack& built = scratch.Track(0);
    int32_t& count = scratch.Count(0);
    const MidiTrack& source = std::as_const(Song).Track(SourceTrack);
    // The new track is taken once, at its size: a track of millions of
    // events must not grow by doubling.
    int64_t texts = 0;
    for (int32_t i = 0; i < n; ++i) texts += IsSungText(source.Event(i));
    built.Reserve(static_cast<int32_t>(std::min<int64_t>(n + texts, built.Upper() + int64_t{1})));
    for (int32_t i = 0; i < n; ++i) {
        const MidiEvent& e = source.Event(i);
        built.Event(count) = e;
        count = AddLong(count, 1);
        if (!IsSungText(e)) continue;
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
