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
#include "model/errors.h"

namespace verselane {

namespace {

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

// Adds `more` to the body of event i of the track.
void AppendToBody(Track& track, int32_t i, std::string_view more) {
    if (more.empty()) return;
    std::string body(track.Body(track[i]));
    body += more;
    track.SetBody(i, body);
}

// Breaks each line of the words track longer than a whole screen (lyrics
// that end no line, or few) at word gaps into lines of at most a row, where
// the words allow: the word opening a new line gets a "/" and loses the
// spaces in front of it, which no screen shows at a line's start. Times and
// the words stay.
void BreakEndlessLines(Track& words) {
    std::vector<int32_t> line;  // the word events of the line being read
    auto finish = [&] {
        size_t width = 0;
        for (int32_t i : line) width += words.Body(words[i]).size();
        if (width > kScreenWidth + 1) {
            size_t row = 0;
            for (size_t k = 0; k < line.size(); ++k) {
                const std::string text(words.Body(words[line[k]]));
                const std::string_view before = k > 0 ? words.Body(words[line[k - 1]]) : "";
                const bool word_starts = k > 0 && ((!text.empty() && IsGap(text[0])) ||
                                                   (!before.empty() && IsGap(before.back())));
                if (word_starts && row > 0 && row + text.size() > kRowWidth) {
                    const size_t word = std::min(text.find_first_not_of(kGaps), text.size());
                    words.SetBody(line[k], "/" + text.substr(word));
                    row = 0;
                }
                row += words.Body(words[line[k]]).size();
            }
        }
        line.clear();
    };
    for (int32_t i = 0; i < words.Size(); ++i) {
        const Event& e = words[i];
        if (!e.IsText() || words.Body(e).starts_with('@')) continue;
        if (IsMarked(words.Body(e))) finish();
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
    explicit WordsWriter(Track& words) : words_(words) {}

    void AddLyric(const Event& e, std::string_view body) {
        // NUL bytes show nothing: they are left out before anything else.
        std::string bytes(body);
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

    // One end of track closes the words track, at `end_tick` (the end of the
    // source track, -1 for none) or at the last word when that comes later.
    void Close(int32_t end_tick) {
        if (end_tick < 0 && last_word_ < 0) return;
        const int32_t last = last_word_ >= 0 ? words_[last_word_].Tick : 0;
        words_.Append(Event::Meta(std::max(end_tick, last), kMetaEndOfTrack));
    }

  private:
    void AddPiece(const Event& e, std::string_view piece) {
        if (line_ends_ == 0 && piece.starts_with('@') && last_word_ >= 0) {
            // It would read as a tag. Where it goes on the word before, that
            // piece of the word joins the word's event; else a space in
            // front keeps it sung.
            const std::string_view previous = words_.Body(words_[last_word_]);
            if (!previous.empty() && !IsGap(previous.back())) {
                const size_t gap = std::min(piece.find_first_of(kGaps), piece.size());
                AppendToBody(words_, last_word_, piece.substr(0, gap));
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
            Event w = e;
            w.Data1 = kMetaText;
            word += piece;
            words_.Append(w, word);
            last_word_ = words_.Size() - 1;
            line_ends_ = 0;
            paragraph_ = false;
        } else if (!piece.empty() && line_ends_ == 0 && last_word_ >= 0) {
            // A gap of its own: it stays between the words around it.
            AppendToBody(words_, last_word_, piece);
        }
    }

    Track& words_;
    int line_ends_ = 1;
    bool paragraph_ = true;
    int32_t last_word_ = -1;  // index of the last word in the words track
};

// The "Soft Karaoke" header track.
Track KaraokeHeaderTrack() {
    Track header;
    header.Name = "Soft Karaoke";
    header.Append(Event::Meta(0, kMetaTrackName), "Soft Karaoke");
    header.Append(Event::Meta(0, kMetaText), "@KMIDI KARAOKE FILE");
    header.Append(Event::Meta(0, kMetaEndOfTrack));
    return header;
}

// The "Words" track made of the lyric events of `source`: the information
// lines, the words, and one end of track.
Track WordsTrack(const Track& source, const KaraokeInfo& info) {
    Track words;
    words.Name = "Words";
    words.Append(Event::Meta(0, kMetaTrackName), "Words");
    for (const std::string& line : InformationLines(info)) {
        words.Append(Event::Meta(0, kMetaText), line);
    }
    WordsWriter writer(words);
    int32_t end_tick = -1;  // tick of the source track's last end of track
    for (const Event& e : source) {
        if (e.IsEndOfTrack()) end_tick = std::max(end_tick, e.Tick);
        if (e.IsLyric()) writer.AddLyric(e, source.Body(e));
    }
    writer.Close(end_tick);
    BreakEndlessLines(words);
    return words;
}

// The track without its lyric events; every other event keeps its order.
Track WithoutLyrics(const Track& track) {
    Track kept;
    kept.Name = track.Name;
    kept.Instrument = track.Instrument;
    kept.Reserve(track.Size(), track.PoolBytes());
    for (const Event& e : track) {
        if (!e.IsLyric()) kept.Append(e, track.Body(e));
    }
    return kept;
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

void LyricsToKaraoke(Song& song, int16_t& SourceTrack, const KaraokeInfo& Info, bool KeepLyrics) {
    // A bad source index, or a song without room for two more tracks, raises
    // before the song changes.
    Track words = WordsTrack(song.At(SourceTrack), Info);
    AddInteger(song.TrackCount(), 2);

    song.InsertTrack(1, KaraokeHeaderTrack());
    song.InsertTrack(2, std::move(words));
    // Track 0 stays where it is when the pair opens behind it: a format 0
    // song keeps all its events, lyrics included, there.
    if (SourceTrack != 0) SourceTrack = AddInteger(SourceTrack, 2);
    // A format 0 header over more than one track is an invalid file.
    if (song.Format == 0) song.Format = 1;
    if (!KeepLyrics) {
        Track& source = song.At(SourceTrack);
        source = WithoutLyrics(source);
    }
}

}  // namespace verselane
