// Lyric events to Soft Karaoke text: a "Soft Karaoke" header track and a
// "Words" track behind track 0, one text event per piece of a lyric between
// line ends, with the "\" and "/" marks worked out from those line ends.
#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lyrics/converters.h"
#include "lyrics/text_rules.h"
#include "lyrics/track_editing.h"
#include "model/errors.h"

namespace verselane {

namespace {

constexpr int16_t kHeaderTrack = 1;
constexpr int16_t kWordsTrack = 2;

// Appends an event to the words track, within the track's capacity.
void AppendWord(MidiFile& Song, const MidiEvent& e) {
    int32_t& count = Song.Count(kWordsTrack);
    Song.Track(kWordsTrack).Event(count) = e;
    count = AddLong(count, 1);
}

// White space: what separates words.
constexpr std::string_view kGaps = " \t\v\f";

bool IsGap(char c) {
    return kGaps.find(c) != std::string_view::npos;
}

// A karaoke screen shows rows of 40 characters, four at a time; players wrap
// a longer line, but one longer than the whole screen cannot be shown.
constexpr size_t kRowWidth = 40;
constexpr size_t kScreenWidth = 4 * kRowWidth;

bool IsMarked(std::string_view text) {
    return text.starts_with('\\') || text.starts_with('/');
}

// Breaks each line of the words track longer than a whole screen (lyrics
// that end no line, or few) at word gaps into lines of at most a row, where
// the words allow: the word opening a new line gets a "/" and loses the
// spaces in front of it, which no screen shows at a line's start. Times and
// the words stay.
void BreakEndlessLines(MidiFile& Song) {
    MidiTrack& track = Song.Track(kWordsTrack);
    std::vector<int32_t> line;  // the word events of the line being read
    auto finish = [&] {
        size_t width = 0;
        for (int32_t i : line) width += track.Event(i).Data.view().size();
        if (width > kScreenWidth + 1) {
            size_t row = 0;
            for (size_t k = 0; k < line.size(); ++k) {
                ByteString& data = track.Event(line[k]).Data;
                const std::string_view text = data.view();
                const std::string_view before = k > 0 ? track.Event(line[k - 1]).Data.view() : "";
                const bool word_starts = k > 0 && ((!text.empty() && IsGap(text[0])) ||
                                                   (!before.empty() && IsGap(before.back())));
                if (word_starts && row > 0 && row + text.size() > kRowWidth) {
                    const size_t word = std::min(text.find_first_not_of(kGaps), text.size());
                    data = std::string_view("/" + std::string(text.substr(word)));
                    row = 0;
                }
                row += data.view().size();
            }
        }
        line.clear();
    };
    const int32_t n = Song.Count(kWordsTrack);
    for (int32_t i = 0; i < n; ++i) {
        const MidiEvent& e = std::as_const(track).Event(i);
        if (!e.IsText() || e.Data.view().starts_with('@')) {
            continue;
        }
        if (IsMarked(e.Data.view())) finish();
        line.push_back(i);
    }
    finish();
}

// The words, one text event per piece of a lyric between line ends, added
// lyric by lyric to the words track. Line ends wait until the next word,
// which then opens with the mark: "\" for a paragraph (a line feed, or more
// than one line end with no word between: an empty line), "/" for a line.
// The song opens a paragraph.
class WordsWriter {
  public:
    explicit WordsWriter(MidiFile& song) : song_(song) {}

    void AddLyric(const MidiEvent& e) {
        // NUL bytes show nothing: they are left out before anything else.
        std::string bytes = e.Data.str();
        std::erase(bytes, '\0');
        std::string_view text = bytes;
        // A lyric may mark its own line start, as karaoke text does.
        if (text.starts_with('\\') || text.starts_with('/')) {
            ++line_ends_;
            paragraph_ = paragraph_ || text[0] == '\\';
            text.remove_prefix(1);
        }
        while (true) {
            const size_t stop = std::min(text.find_first_of("\r\n"), text.size());
            AddPiece(e, text.substr(0, stop));
            if (stop == text.size()) break;
            ++line_ends_;
            paragraph_ = paragraph_ || text[stop] == '\n';
            text.remove_prefix(stop + 1);
        }
    }

    // One end of track closes the words track, at `end_time` (the end of the
    // source track, -1 for none) or at the last word when that comes later.
    void Close(int32_t end_time) {
        if (end_time < 0 && last_word_ < 0) return;
        const int32_t last = last_word_ >= 0 ? Words().Event(last_word_).Time : 0;
        AppendWord(song_, MetaEvent(std::max(end_time, last), kMetaEndOfTrack, ""));
    }

  private:
    MidiTrack& Words() { return song_.Track(kWordsTrack); }

    void AddPiece(const MidiEvent& e, std::string_view piece) {
        if (line_ends_ == 0 && piece.starts_with('@')) {
            // It would read as a tag. Where it goes on the word before, that
            // piece of the word joins the word's event; else a space in
            // front keeps it sung.
            ByteString* previous = last_word_ >= 0 ? &Words().Event(last_word_).Data : nullptr;
            if (previous && !previous->view().empty() && !IsGap(previous->view().back())) {
                const size_t gap = std::min(piece.find_first_of(kGaps), piece.size());
                previous->Append(piece.substr(0, gap));
                piece.remove_prefix(gap);
            }
        }
        if (piece.find_first_not_of(kGaps) != std::string::npos) {
            std::string word;
            if (line_ends_ > 0) {
                word = (paragraph_ || line_ends_ > 1) ? "\\" : "/";
            } else if (piece.starts_with('@')) {
                word = " ";  // a word that opens with "@" would read as a tag
            }
            MidiEvent w = e;
            w.Channel = kMetaText;
            word += piece;
            w.Data = std::string_view(word);
            AppendWord(song_, w);
            last_word_ = song_.Count(kWordsTrack) - 1;
            line_ends_ = 0;
            paragraph_ = false;
        } else if (!piece.empty() && line_ends_ == 0 && last_word_ >= 0) {
            // A gap of its own: it stays between the words around it.
            Words().Event(last_word_).Data.Append(piece);
        }
    }

    MidiFile& song_;
    int line_ends_ = 1;
    bool paragraph_ = true;
    int32_t last_word_ = -1;  // index of the last word in the words track
};

// The "Soft Karaoke" header track and the start of the "Words" track, with
// the information lines, in the two slots opened behind track 0.
void StartKaraokeTracks(MidiFile& Song, const KaraokeInfo& Info) {
    // The opened slots still hold copies of the tracks that moved up; they
    // get exactly the events below and nothing of the old ones.
    Song.Track(kHeaderTrack).ResizeToLastIndex(Song.EventSlots, true);
    Song.Track(kWordsTrack).ResizeToLastIndex(Song.EventSlots, true);

    MidiTrack& header = Song.Track(kHeaderTrack);
    header.Event(0) = MetaEvent(0, kMetaTrackName, "Soft Karaoke");
    header.Event(1) = MetaEvent(0, kMetaText, "@KMIDI KARAOKE FILE");
    header.Event(2) = MetaEvent(0, kMetaEndOfTrack, "");
    Song.Count(kHeaderTrack) = 3;

    Song.Count(kWordsTrack) = 0;
    AppendWord(Song, MetaEvent(0, kMetaTrackName, "Words"));
    for (const std::string& line : InformationLines(Info)) {
        AppendWord(Song, MetaEvent(0, kMetaText, line));
    }
}

// Takes the lyric events out of the track; every other event keeps its order.
void DropLyricEvents(MidiFile& Song, int16_t t) {
    MidiTrack& track = Song.Track(t);
    const int32_t n = Song.Count(t);
    int32_t kept = 0;
    for (int32_t i = 0; i < n; ++i) {
        const MidiEvent& e = std::as_const(track).Event(i);
        if (e.IsLyric()) continue;
        if (kept != i) track.Event(kept) = std::move(track.Event(i));
        ++kept;
    }
    Song.Count(t) = kept;
}

}  // namespace

std::vector<std::string> InformationLines(const KaraokeInfo& Info) {
    return {
        "@L" + std::string(TrimSpaces(Info.Language)),
        "@T" + std::string(TrimSpaces(Info.Title)),
        "@T" + std::string(TrimSpaces(Info.Artist)),
        "@TConverted by Verselane " VERSELANE_VERSION,
    };
}

void LyricsToKaraoke(MidiFile& Song, int16_t& SourceTrack, const KaraokeInfo& Info,
                     bool KeepLyrics) {
    Song.Count(SourceTrack);  // a bad source index raises before the song changes

    InsertTrackPair(Song, 0);
    // Track 0 stays where it is when the pair opens behind it: a format 0
    // song keeps all its events, lyrics included, there.
    if (SourceTrack != 0) SourceTrack = AddInteger(SourceTrack, 2);
    const int16_t source = SourceTrack;
    // A format 0 header over more than one track is an invalid file.
    if (Song.Header.Format == 0 && Song.Header.NumTracks > 1) Song.Header.Format = 1;
    StartKaraokeTracks(Song, Info);

    WordsWriter words(Song);
    int32_t end_time = -1;  // time of the source track's last end of track
    for (const MidiEvent& e : std::as_const(Song).Events(source)) {
        if (e.IsEndOfTrack()) end_time = std::max(end_time, e.Time);
        if (e.IsLyric()) words.AddLyric(e);
    }
    words.Close(end_time);
    BreakEndlessLines(Song);
    if (!KeepLyrics) DropLyricEvents(Song, source);
}

}  // namespace verselane
