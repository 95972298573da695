#include "lyrics/sung_lines.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "lyrics/text_rules.h"
#include "lyrics/track_choice.h"

namespace verselane {

namespace {

// Builds the lines syllable by syllable; the same rules serve both sources.
class LineBuilder {
  public:
    LineBuilder(const TempoMap& tempo, bool lyrics, bool syllables = true)
        : tempo_(tempo), lyrics_(lyrics), syllables_(syllables) {}

    void Syllable(int32_t tick, std::string_view bytes) {
        // NUL bytes in lyrics show nothing: they are left out before anything else.
        std::string kept;
        if (lyrics_ && bytes.find('\0') != bytes.npos) {
            kept = bytes;
            std::erase(kept, '\0');
            bytes = kept;
        }
        std::string_view text = bytes;
        if (!lyrics_ && text.starts_with('@')) {  // a tag, not words
            Information(text);
            return;
        }
        if (text.starts_with('\\') || text.starts_with('/')) {
            LineEnd(text[0] == '\\');
            text.remove_prefix(1);
        }
        // In lyrics a carriage return ends a line and a line feed a
        // paragraph; in karaoke text they are only spaces.
        size_t start = 0;
        while (true) {
            const size_t stop = lyrics_ ? text.find_first_of("\r\n", start) : text.npos;
            const std::string_view piece = text.substr(start, stop - start);
            const bool word = piece.find_first_not_of(" \r\n") != piece.npos;
            // A line starts with its first word: spaces before it are trimmed anyway.
            if (word && !open_) StartLine(tick);
            if (open_) {
                std::string shown(piece);
                std::replace(shown.begin(), shown.end(), '\r', ' ');
                std::replace(shown.begin(), shown.end(), '\n', ' ');
                lines_.back().Text += shown;
                if (syllables_) {
                    lines_.back().Syllables.push_back(
                        {tick, tempo_.Seconds(tick), std::move(shown)});
                }
            }
            word_in_line_ = word_in_line_ || word;
            if (stop == text.npos) break;
            LineEnd(text[stop] == '\n');
            start = stop + 1;
        }
    }

    const std::vector<std::string>& Titles() const { return titles_; }

    std::vector<SungLine> Finish() {
        for (SungLine& line : lines_) line.Text = std::string(TrimSpaces(line.Text));
        return std::move(lines_);
    }

  private:
    // A title line ("@T") is kept, without the tag, for showing above the words.
    void Information(std::string_view text) {
        if (!text.starts_with("@T")) return;
        std::string title(text.substr(2));
        std::replace(title.begin(), title.end(), '\r', ' ');
        std::replace(title.begin(), title.end(), '\n', ' ');
        titles_.emplace_back(TrimSpaces(title));
    }

    // A line feed or "\\" ends a paragraph; so does the end of an empty line.
    void LineEnd(bool paragraph) {
        paragraph_ = paragraph_ || paragraph || !word_in_line_;
        open_ = false;
        word_in_line_ = false;
    }

    void StartLine(int32_t tick) {
        SungLine line;
        line.Tick = tick;
        line.Seconds = tempo_.Seconds(tick);
        line.NewParagraph = paragraph_ || lines_.empty();
        lines_.push_back(std::move(line));
        open_ = true;
        paragraph_ = false;
    }

    const TempoMap& tempo_;
    const bool lyrics_;
    const bool syllables_;  // each line keeps its syllables
    std::vector<SungLine> lines_;
    std::vector<std::string> titles_;
    bool open_ = false;          // a line is being filled
    bool paragraph_ = false;     // the next line opens a paragraph
    bool word_in_line_ = false;  // the line since the last line end holds a word
};

}  // namespace

namespace {

void FeedTrack(const Track& track, LineSource From, LineBuilder& builder) {
    const uint8_t type = From == LineSource::Lyrics ? kMetaLyric : kMetaText;
    for (const Event& e : track) {
        if (e.IsMeta(type)) builder.Syllable(e.Tick, track.Body(e));
    }
}

}  // namespace

std::vector<SungLine> SungLines(const Song& song, int16_t Track, LineSource From,
                                SungDetail Detail) {
    const verselane::Track& track = song.At(Track);
    const TempoMap tempo(song, Track);
    LineBuilder builder(tempo, From == LineSource::Lyrics, Detail == SungDetail::Syllables);
    FeedTrack(track, From, builder);
    return builder.Finish();
}

std::vector<std::string> TitleLines(const Song& song, int16_t Track, LineSource From) {
    const verselane::Track& track = song.At(Track);
    const TempoMap tempo(song, Track);
    LineBuilder builder(tempo, From == LineSource::Lyrics);
    FeedTrack(track, From, builder);
    return builder.Titles();
}

std::optional<LineSource> PreferredLineSource(const Song& song) {
    int64_t lyrics = 0;
    int64_t texts = 0;
    for (const TrackMaterial& m : MaterialOfTracks(song)) {
        lyrics += m.LyricEvents;
        texts += m.TextEvents;
    }
    if (HasKaraokeHeader(song) && texts > 0) return LineSource::Karaoke;
    if (lyrics > 0) return LineSource::Lyrics;
    if (texts > 0) return LineSource::Karaoke;
    return std::nullopt;
}

std::string FormatTimestamp(double Seconds) {
    if (!(Seconds > 0)) Seconds = 0;
    const long long hundredths = static_cast<long long>(std::floor(Seconds * 100 + 1e-6));
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%lld:%02lld.%02lld", hundredths / 6000,
                  hundredths / 100 % 60, hundredths % 100);
    return buffer;
}

std::string FormatSungLines(const std::vector<SungLine>& Lines,
                            const std::function<std::string(std::string_view)>& ToText) {
    std::string out;
    for (const SungLine& line : Lines) {
        if (line.NewParagraph && &line != &Lines.front()) out += '\n';
        out += FormatTimestamp(line.Seconds);
        if (!line.Text.empty()) {
            out += "  ";
            out += ToText ? ToText(line.Text) : line.Text;
        }
        out += '\n';
    }
    return out;
}

}  // namespace verselane
