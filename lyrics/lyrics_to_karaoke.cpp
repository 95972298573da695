// Lyric events to Soft Karaoke text: a "Soft Karaoke" header track and a
// "Words" track behind track 0, one text event per lyric with the "\" and "/"
// marks worked out from the line ends of the lyrics.
#include <string>
#include <string_view>
#include <utility>

#include "lyrics/converters.h"
#include "lyrics/text_rules.h"
#include "lyrics/track_editing.h"
#include "model/errors.h"

namespace verselane {

namespace {

constexpr int16_t kHeaderTrack = 1;
constexpr int16_t kWordsTrack = 2;

// The contact line of the words track, behind "@T".
constexpr std::string_view kContactNote = "Converted by Verselane, the MIDI lyrics converter";

MidiEvent MetaEvent(int32_t time, uint8_t type, std::string_view data) {
    MidiEvent e;
    e.Time = time;
    e.Kind = kKindMeta;
    e.Channel = type;
    e.Data = data;
    return e;
}

// Appends an event to the words track, within the track's capacity.
void AppendWord(MidiFile& Song, const MidiEvent& e) {
    int32_t& count = Song.Count(kWordsTrack);
    Song.Track(kWordsTrack).Event(count) = e;
    count = AddLong(count, 1);
}

}  // namespace

void LyricsToKaraoke(MidiFile& Song, int16_t& SourceTrack, const KaraokeInfo& Info) {
    Song.Count(SourceTrack);  // a bad source index raises before the song changes

    InsertTrackPair(Song, 0);
    // Track 0 stays where it is when the pair opens behind it: a format 0
    // song keeps all its events, lyrics included, there.
    if (SourceTrack != 0) SourceTrack = AddInteger(SourceTrack, 2);
    const int16_t source = SourceTrack;
    // A format 0 header over more than one track is an invalid file.
    if (Song.Header.Format == 0 && Song.Header.NumTracks > 1) Song.Header.Format = 1;

    // The opened slots still hold copies of the tracks that moved up; they
    // get exactly the events below and nothing of the old ones.
    Song.Track(kHeaderTrack).Redim(Song.EventSlots, true);
    Song.Track(kWordsTrack).Redim(Song.EventSlots, true);

    MidiTrack& header = Song.Track(kHeaderTrack);
    header.Event(0) = MetaEvent(0, kMetaTrackName, "Soft Karaoke");
    header.Event(1) = MetaEvent(0, kMetaText, "@KMIDI KARAOKE FILE");
    header.Event(2) = MetaEvent(0, kMetaEndOfTrack, "");
    Song.Count(kHeaderTrack) = 3;

    Song.Count(kWordsTrack) = 0;
    const std::string info_lines[] = {
        "@L" + std::string(TrimSpaces(Info.Language)),
        "@T" + std::string(TrimSpaces(Info.Title)),
        "@T" + std::string(TrimSpaces(Info.Artist)),
        "@TLyrics converted automaticly from lyric events",
        "@TBy: Cantorel (Alpha Version)",
        "@T" + std::string(kContactNote),
    };
    AppendWord(Song, MetaEvent(0, kMetaTrackName, "Words"));
    for (const std::string& line : info_lines) AppendWord(Song, MetaEvent(0, kMetaText, line));

    // The mark for the next word: "\" opens a paragraph, "/" a line.
    std::string prefix = "\\";
    int32_t last_break_time = 0;
    const int32_t n = Song.Count(source);
    for (int32_t i = 0; i < n; ++i) {
        const MidiEvent& e = std::as_const(Song).Track(source).Event(i);
        if (e.Kind != kKindMeta) continue;
        if (e.Channel == kMetaEndOfTrack) {
            AppendWord(Song, e);
            continue;
        }
        if (e.Channel != kMetaLyric) continue;

        MidiEvent w = e;
        w.Channel = kMetaText;
        std::string data = prefix + e.Data.str();
        if (TrimSpaces(data).empty()) {  // nothing but spaces and no mark: dropped
            prefix.clear();
            continue;
        }
        prefix.clear();
        if (data.find_first_of("\r\n") == std::string::npos) {
            w.Data = std::string_view(data);
            AppendWord(Song, w);
            continue;
        }
        // The lyric ends a line. A line feed, or a second line end at the same
        // time as the one before, makes the next word open a paragraph.
        const bool line_feed = data.find('\n') != std::string::npos;
        prefix = (line_feed || w.Time == last_break_time) ? "\\" : "/";
        last_break_time = w.Time;
        for (char& c : data) {
            if (c == '\r' || c == '\n') c = ' ';
        }
        std::string_view text = TrimSpaces(data);
        if (text.empty()) continue;
        w.Data = text;
        AppendWord(Song, w);
    }
}

}  // namespace verselane
