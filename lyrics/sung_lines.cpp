#include "lyrics/sung_lines.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "lyrics/text_rules.h"
#include "lyrics/track_choice.h"

namespace verselane {

namespace {

constexpr double kDefaultMicrosPerQuarter = 500000;

struct TempoEvent {
    int32_t Tick;
    double MicrosPerQuarter;
};

void CollectTempos(const MidiFile& Song, int16_t t, std::vector<TempoEvent>& out) {
    const int32_t n = Song.Count(t);
    const MidiTrack& track = Song.Track(t);
    for (int32_t i = 0; i < n; ++i) {
        const MidiEvent& e = track.Event(i);
        if (e.Kind != kKindMeta || e.Channel != kMetaTempo || e.Data.size() < 3) continue;
        const double micros = e.Data[0] * 65536.0 + e.Data[1] * 256.0 + e.Data[2];
        if (micros > 0) out.push_back({e.Time, micros});  // a tempo of 0 cannot be played
    }
}

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

TempoMap::TempoMap(const MidiFile& Song, int16_t Track) {
    const int16_t division = Song.Header.Division;
    if (IsSmpteDivision(division)) {
        // SMPTE: seconds are ticks / (frames per second x ticks per frame),
        // 29 frames meaning 29.97; tempo events play no part then.
        if (IsTimedDivision(division)) {
            seconds_per_tick_ = 1.0 / (SmpteFrameRate(division) * SmpteTicksPerFrame(division));
        }
        return;
    }
    if (division == 0) return;

    std::vector<TempoEvent> tempos;
    if (Song.Header.Format == 2) {
        if (Track >= 0 && Track < RealTrackCount(Song)) CollectTempos(Song, Track, tempos);
    } else {
        for (int16_t t = 0; t < RealTrackCount(Song); ++t) CollectTempos(Song, t, tempos);
    }
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const TempoEvent& a, const TempoEvent& b) { return a.Tick < b.Tick; });

    seconds_per_tick_ = kDefaultMicrosPerQuarter / 1e6 / division;
    double seconds = 0;
    int32_t tick = 0;
    double per_tick = seconds_per_tick_;
    for (const TempoEvent& tempo : tempos) {
        seconds += (static_cast<double>(tempo.Tick) - tick) * per_tick;
        tick = tempo.Tick;
        per_tick = tempo.MicrosPerQuarter / 1e6 / division;
        // Several changes at one tick: the last one holds.
        if (!changes_.empty() && changes_.back().Tick == tick) changes_.pop_back();
        changes_.push_back({tick, seconds, per_tick});
    }
}

double TempoMap::Seconds(int32_t Tick) const {
    auto after = std::upper_bound(changes_.begin(), changes_.end(), Tick,
                                  [](int32_t tick, const Change& c) { return tick < c.Tick; });
    if (after == changes_.begin()) return Tick * seconds_per_tick_;
    const Change& c = *(after - 1);
    return c.Seconds + (static_cast<double>(Tick) - c.Tick) * c.SecondsPerTick;
}

namespace {

void FeedTrack(const MidiFile& Song, int16_t Track, LineSource From, LineBuilder& builder) {
    const uint8_t type = From == LineSource::Lyrics ? kMetaLyric : kMetaText;
    const int32_t n = Song.Count(Track);
    const MidiTrack& track = Song.Track(Track);
    for (int32_t i = 0; i < n; ++i) {
        const MidiEvent& e = track.Event(i);
        if (e.Kind == kKindMeta && e.Channel == type) builder.Syllable(e.Time, e.Data.view());
    }
}

}  // namespace

std::vector<SungLine> SungLines(const MidiFile& Song, int16_t Track, LineSource From,
                                SungDetail Detail) {
    const TempoMap tempo(Song, Track);
    LineBuilder builder(tempo, From == LineSource::Lyrics, Detail == SungDetail::Syllables);
    FeedTrack(Song, Track, From, builder);
    return builder.Finish();
}

std::vector<std::string> TitleLines(const MidiFile& Song, int16_t Track, LineSource From) {
    const TempoMap tempo(Song, Track);
    LineBuilder builder(tempo, From == LineSource::Lyrics);
    FeedTrack(Song, Track, From, builder);
    return builder.Titles();
}

std::optional<LineSource> PreferredLineSource(const MidiFile& Song) {
    int64_t lyrics = 0;
    int64_t texts = 0;
    for (const TrackMaterial& m : MaterialOfTracks(Song)) {
        lyrics += m.LyricEvents;
        texts += m.TextEvents;
    }
    if (HasKaraokeHeader(Song) && texts > 0) return LineSource::Karaoke;
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
    for (size_t i = 0; i < Lines.size(); ++i) {
        const SungLine& line = Lines[i];
        if (line.NewParagraph && i > 0) out += '\n';
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
