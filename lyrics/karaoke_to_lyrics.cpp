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
#include "model/errors.h"

namespace verselane {

namespace {

// A text event that turns into a lyric: karaoke text, but not an "@" tag
// ("@KMIDI KARAOKE FILE", "@L", "@T" lines), which players do not sing.
bool IsSungText(const Track& track, const Event& e) {
    return e.IsText() && !track.Body(e).starts_with('@');
}

// The lyric made of a sung text: its syllable as it stands, without the
// mark. A mark becomes a line end at the end of the previous lyric of
// `track`: LF CR for "\" (new paragraph), CR for "/" (new line). Spaces that
// open the syllable are the gap before its word: they move to the end of the
// previous lyric, ahead of the line end, as lyric events carry their gaps.
std::string LyricOf(std::string_view text, Track& track, std::optional<int32_t> last_lyric) {
    std::string_view line_end;
    if (text.starts_with('\\')) line_end = "\n\r";
    if (text.starts_with('/')) line_end = "\r";
    if (!line_end.empty()) text.remove_prefix(1);
    if (last_lyric) {
        const size_t gap = std::min(text.find_first_not_of(" \r\n"), text.size());
        if (gap > 0 || !line_end.empty()) {
            std::string previous(track.Body(track[*last_lyric]));
            previous.append(gap, ' ');
            previous += line_end;
            track.SetBody(*last_lyric, previous);
        }
        text.remove_prefix(gap);
    }
    // Karaoke text joins a carriage return or line feed inside a syllable as
    // a space; in a lyric it would end the line.
    std::string lyric(text);
    for (char& c : lyric) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return lyric;
}

}  // namespace

void KaraokeToLyrics(Song& song, int16_t SourceTrack, bool KeepKaraoke) {
    Track& source = song.At(SourceTrack);
    const int32_t n = source.Size();
    // The most recently converted event of the track being built or edited.
    // Any index counts, 0 included: the lyric at the very start of a track
    // still receives the break of the mark that follows it.
    std::optional<int32_t> last_lyric;

    if (!KeepKaraoke) {
        for (int32_t i = 0; i < n; ++i) {
            if (!IsSungText(source, source[i])) continue;
            // Copied out first: storing a body may move the pool it lies in.
            const std::string text(source.Body(source[i]));
            const std::string lyric = LyricOf(text, source, last_lyric);
            source.Record(i).Data1 = kMetaLyric;
            source.SetBody(i, lyric);
            last_lyric = i;
        }
        return;
    }

    // Keep mode builds a new track and moves it in once it is whole; it has
    // neither name nor instrument of its own. It is taken once, at its size:
    // a track of millions of events must not grow by doubling.
    Track built;
    int64_t texts = 0;
    for (const Event& e : source) texts += IsSungText(source, e);
    built.Reserve(static_cast<int32_t>(std::min<int64_t>(n + texts, INT32_MAX)),
                  source.PoolBytes() * 2);
    for (const Event& e : source) {
        const std::string_view body = source.Body(e);
        built.Append(e, body);
        if (!IsSungText(source, e)) continue;
        const int32_t k = built.Size();
        Event lyric = e;
        lyric.Data1 = kMetaLyric;
        built.Append(lyric, LyricOf(body, built, last_lyric));
        last_lyric = k;
    }
    source = std::move(built);
}

}  // namespace verselane
