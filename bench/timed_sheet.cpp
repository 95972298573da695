#include "bench/timed_sheet.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "align/song_words.h"
#include "lyrics/sung_lines.h"
#include "lyrics/track_choice.h"
#include "model/utf8.h"

namespace verselane::scoring {

namespace {

std::string Escaped(std::string_view word) {
    std::string out;
    for (char c : word) {
        if (std::string_view("-_*~|\\").find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    return out;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::optional<TimedSheet> TimedSheetOf(const Song& Song) {
    const std::optional<LineSource> from = PreferredLineSource(Song);
    if (!from) return std::nullopt;
    const int16_t track =
        ChooseSourceTrack(Song, *from == LineSource::Lyrics ? ConversionDirection::LyricsToKaraoke
                                                            : ConversionDirection::KaraokeToLyrics);
    if (track < 0) return std::nullopt;
    TimedSheet timed;
    std::string sheet, plain;
    for (const SungLine& line : SungLines(Song, track, *from)) {
        if (!sheet.empty()) {
            sheet += line.NewParagraph ? "\n\n" : "\n";
            plain += line.NewParagraph ? "\n\n" : "\n";
        }
        bool word_open = false;  // the last syllable's word goes on
        bool line_start = true;
        for (const SungSyllable& s : line.Syllables) {
            std::string_view text = s.Text;
            const bool gap_before = !text.empty() && IsSpace(text.front());
            const bool gap_after = !text.empty() && IsSpace(text.back());
            while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
            while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
            if (text.empty()) {
                if (gap_before || gap_after) word_open = false;
                continue;
            }
            // A "-" at a syllable's end says its word goes on ("can-" "dle"),
            // as align-score reads it; the mark is not sung.
            const bool goes_on = text.size() > 1 && text.back() == '-';
            if (goes_on) text.remove_suffix(1);
            if (std::any_of(text.begin(), text.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 32; }))
                return std::nullopt;  // control bytes: words of a damaged song
            // The bytes as Latin-1, as python's mido reads them for align-score.
            const std::string utf8 = Latin1AsUtf8(text);
            text = utf8;
            // Words inside one syllable are sung on one note.
            std::string joined;
            size_t at = 0;
            while (at < text.size()) {
                size_t end = at;
                while (end < text.size() && !IsSpace(text[end])) ++end;
                if (!joined.empty()) joined += '~';
                joined += Escaped(text.substr(at, end - at));
                while (end < text.size() && IsSpace(text[end])) ++end;
                at = end;
            }
            const bool new_word = !word_open || gap_before;
            if (new_word && !line_start) {
                sheet += ' ';
                plain += ' ';
            } else if (!new_word) {
                sheet += '-';
            }
            sheet += joined;
            plain += joined;
            timed.Ticks.push_back(s.Tick);
            timed.WordStarts.push_back(new_word);
            timed.LineStarts.push_back(line_start);
            line_start = false;
            word_open = goes_on || !gap_after;
        }
    }
    if (timed.Ticks.size() < 8) return std::nullopt;
    timed.Sheet = sheet + "\n";
    timed.PlainSheet = plain + "\n";
    timed.Wordless.HeaderLength = Song.HeaderLength;
    timed.Wordless.Format = Song.Format;
    timed.Wordless.Division = Song.Division;
    for (const Track& track : Song.Tracks) {
        Track& wordless = timed.Wordless.Tracks.emplace_back();
        wordless.Name = track.Name;
        wordless.Instrument = track.Instrument;
        for (const Event& e : track) {
            if (!e.IsLyric() && !e.IsText()) wordless.Append(e, track.Body(e));
        }
    }
    // Clean: one line of notes starts a note near nearly every syllable.
    const int32_t tolerance = ToleranceOf(Song.Division);
    size_t best = 0;
    for (int16_t t = 0; t < Song.TrackCount(); ++t) {
        std::vector<int32_t> starts;
        for (const Event& e : Song.Tracks[t])
            if (e.IsNoteOn()) starts.push_back(e.Tick);
        std::sort(starts.begin(), starts.end());
        const size_t hits = StartsNear(starts, timed.Ticks, tolerance);
        if (hits > best) {
            best = hits;
            timed.BestTrack = t;
        }
    }
    timed.Clean = best * 100 >= timed.Ticks.size() * 95;
    return timed;
}

int32_t ToleranceOf(int16_t Division) {
    return std::max(1, Division / 8);
}

size_t StartsNear(const std::vector<int32_t>& SortedStarts, const std::vector<int32_t>& Ticks,
                  int32_t Tolerance) {
    size_t hits = 0;
    for (int32_t tick : Ticks) {
        auto it = std::lower_bound(SortedStarts.begin(), SortedStarts.end(), tick - Tolerance);
        if (it != SortedStarts.end() && *it <= tick + Tolerance) ++hits;
    }
    return hits;
}

AlignFigures ScoreAlignment(const TimedSheet& Timed, const align::AlignWeights& Weights,
                            bool WithFixes) {
    AlignFigures figures;
    const size_t n = Timed.Ticks.size();
    figures.Syllables = n;
    const int32_t tolerance = ToleranceOf(Timed.Wordless.Division);
    align::SheetRequest request;
    request.SheetUtf8 = Timed.Sheet;
    request.AsWritten = true;
    request.Weights = Weights;
    std::vector<bool> doubted;
    auto run = [&](const align::SheetRequest& r) -> std::vector<int32_t> {
        const align::SheetAlignment a = align::AlignSheet(Timed.Wordless, r);
        doubted.clear();
        for (const auto& p : a.Placement.Syllables)
            doubted.push_back(p.Reason == align::Doubt::CloseCall);
        if (a.Melody.Line >= 0) {
            figures.MelodyTrack = a.Lines[static_cast<size_t>(a.Melody.Line)].Track;
            figures.MelodyChannel = a.Lines[static_cast<size_t>(a.Melody.Line)].Channel;
        }
        std::vector<int32_t> ticks;
        for (const auto& p : a.Placement.Syllables) ticks.push_back(p.Tick);
        return ticks;
    };
    auto wrong_of = [&](const std::vector<int32_t>& got) {
        std::vector<size_t> wrong;
        for (size_t i = 0; i < n; ++i)
            if (std::abs(got[i] - Timed.Ticks[i]) > tolerance) wrong.push_back(i);
        return wrong;
    };
    try {
        std::vector<int32_t> got = run(request);
        if (got.size() != n) {
            figures.Error =
                "wrote " + std::to_string(got.size()) + " syllables for " + std::to_string(n);
            return figures;
        }
        std::vector<size_t> wrong = wrong_of(got);
        figures.First = 100.0 * static_cast<double>(n - wrong.size()) / static_cast<double>(n);
        figures.Wrong = wrong.size();
        for (size_t i = 0; i < n; ++i) figures.Doubts += doubted[i];
        for (size_t i : wrong) figures.WrongDoubts += doubted[i];
        if (WithFixes) {
            size_t pins = 0;
            while (!wrong.empty() && pins < n) {
                request.Pins.emplace_back(wrong[0] + 1, Timed.Ticks[wrong[0]]);
                ++pins;
                wrong = wrong_of(run(request));
            }
            figures.Fixes = 100.0 * static_cast<double>(pins) / static_cast<double>(n);
        }
        request.Pins.clear();
        for (size_t i = 0; i < n; ++i)
            if (i == 0 || Timed.LineStarts[i]) request.Pins.emplace_back(i + 1, Timed.Ticks[i]);
        const std::vector<size_t> line_wrong = wrong_of(run(request));
        const size_t free = n - request.Pins.size();
        figures.Lines = 100.0 * static_cast<double>(free - line_wrong.size()) /
                        static_cast<double>(std::max<size_t>(1, free));
        request.Pins.clear();
        request.SheetUtf8 = Timed.PlainSheet;
        request.AsWritten = false;
        const align::SheetAlignment plain = align::AlignSheet(Timed.Wordless, request);
        std::vector<int32_t> word_truth, word_got;
        std::vector<bool> word_doubted;
        for (size_t i = 0; i < plain.Sheet.Syllables.size(); ++i) {
            const bool doubt = plain.Placement.Syllables[i].Reason == align::Doubt::CloseCall;
            if (plain.Sheet.Syllables[i].WordStart || word_doubted.empty())
                word_doubted.push_back(doubt);
            else if (doubt)
                word_doubted.back() = true;
        }
        for (size_t i = 0; i < n; ++i)
            if (Timed.WordStarts[i]) word_truth.push_back(Timed.Ticks[i]);
        for (size_t i = 0; i < plain.Sheet.Syllables.size(); ++i)
            if (plain.Sheet.Syllables[i].WordStart)
                word_got.push_back(plain.Placement.Syllables[i].Tick);
        if (word_got.size() != word_truth.size()) {
            figures.Error = "plain sheet: " + std::to_string(word_got.size()) + " words for " +
                            std::to_string(word_truth.size());
            return figures;
        }
        size_t right = 0;
        for (size_t i = 0; i < word_truth.size(); ++i) {
            const bool ok = std::abs(word_got[i] - word_truth[i]) <= tolerance;
            right += ok;
            figures.WrongWords += !ok;
            figures.DoubtedWords += word_doubted[i];
            figures.WrongDoubtedWords += !ok && word_doubted[i];
        }
        figures.Words = 100.0 * static_cast<double>(right) /
                        static_cast<double>(std::max<size_t>(1, word_truth.size()));
    } catch (const std::exception& e) {
        figures.Error = e.what();
    }
    return figures;
}

PartSheetMelodies MelodiesOfPartSheets(const TimedSheet& Timed) {
    PartSheetMelodies result;
    const std::vector<align::NoteLine> lines = align::NoteLines(Timed.Wordless);
    const int32_t beat = TicksPerBeat(Timed.Wordless.Division);
    const size_t whole = Timed.Ticks.size();
    const int line = align::ChooseMelody(lines, whole, beat).Line;
    for (const size_t part : {10, 25, 50, 100, 200}) {
        if (part >= whole) break;
        ++result.Chosen;
        result.Same += align::ChooseMelody(lines, part, beat).Line == line;
    }
    return result;
}

}  // namespace verselane::scoring
