// verselane-align-figures: how well the aligner puts the words of the
// corpus's timed songs back, in-process (the figures of align-score).
//
//   verselane-align-figures CORPUS [--set NAME=VALUE]... [--no-fixes] [-v] [--dump FILE]
//
// The timed songs, sorted by path, are split alternately into a tuning half
// and a held-out half; both are reported, clean songs and the rest apart.
// --set changes one weight of the alignment (AlignWeights) for a tuning run;
// --dump FILE prints one song (by file name) syllable by syllable.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "align/melody.h"
#include "align/song_words.h"
#include "bench/timed_sheet.h"
#include "model/division.h"
#include "reader/midi_reader.h"

using namespace verselane;

namespace {

struct Row {
    std::string File;
    bool Clean;
    scoring::AlignFigures Figures;
};

void Summary(const std::vector<const Row*>& rows, const char* label) {
    double n = 0, first = 0, fixes = 0, lines = 0, words = 0;
    size_t songs = 0, failed = 0, wrong = 0, doubts = 0, wrong_doubts = 0;
    size_t wrong_words = 0, doubted_words = 0, wrong_doubted_words = 0;
    for (const Row* r : rows) {
        if (!r->Figures.Error.empty()) {
            ++failed;
            continue;
        }
        const double s = static_cast<double>(r->Figures.Syllables);
        ++songs;
        n += s;
        first += r->Figures.First * s;
        fixes += r->Figures.Fixes * s;
        lines += r->Figures.Lines * s;
        words += r->Figures.Words * s;
        wrong += r->Figures.Wrong;
        doubts += r->Figures.Doubts;
        wrong_doubts += r->Figures.WrongDoubts;
        wrong_words += r->Figures.WrongWords;
        doubted_words += r->Figures.DoubtedWords;
        wrong_doubted_words += r->Figures.WrongDoubtedWords;
    }
    if (n == 0) return;
    std::printf(
        "%-20s %2zu songs %5.0f syllables %zu failed: first %5.1f %%  fixes %5.1f  lines %5.1f %%  "
        "words %5.1f %%\n",
        label, songs, n, failed, first / n, fixes / n, lines / n, words / n);
    std::printf("%-20s doubts %zu, of them wrong %zu (%.0f %%); wrong %zu, doubted %.0f %%\n", "",
                doubts, wrong_doubts, 100.0 * wrong_doubts / std::max<size_t>(1, doubts), wrong,
                100.0 * wrong_doubts / std::max<size_t>(1, wrong));
    std::printf(
        "%-20s plain sheet: words doubted %zu, of them wrong %zu (%.0f %%); wrong %zu, "
        "doubted %.0f %%\n",
        "", doubted_words, wrong_doubted_words,
        100.0 * wrong_doubted_words / std::max<size_t>(1, doubted_words), wrong_words,
        100.0 * wrong_doubted_words / std::max<size_t>(1, wrong_words));
}

// One song in detail, for finding out why it scores as it does: every line
// of notes with the number of syllables it starts a note at (the chosen
// one marked), the chosen line's notes, the timed sheet, each word of the
// plain sheet with its true tick and the tick placed, and each syllable with
// its true tick and the ticks placed with no help and with every line's
// first syllable pinned ("XX" marks the wrong ones).
void DumpSong(const scoring::TimedSheet& timed, const align::AlignWeights& weights) {
    const int32_t tolerance = scoring::ToleranceOf(timed.Wordless.Division);
    align::SheetRequest request;
    request.SheetUtf8 = timed.Sheet;
    request.AsWritten = true;
    request.Weights = weights;
    const align::SheetAlignment unpinned = align::AlignSheet(timed.Wordless, request);
    for (size_t i = 0; i < timed.Ticks.size(); ++i)
        if (i == 0 || timed.LineStarts[i]) request.Pins.emplace_back(i + 1, timed.Ticks[i]);
    const align::SheetAlignment pinned = align::AlignSheet(timed.Wordless, request);
    for (size_t l = 0; l < unpinned.Lines.size(); ++l) {
        const auto& line = unpinned.Lines[l];
        std::vector<int32_t> starts;
        for (const align::MelodyNote& note : line.Notes) starts.push_back(note.Tick);
        const size_t hits = scoring::StartsNear(starts, timed.Ticks, tolerance);
        std::printf(
            "line %zu track %d channel %d notes %zu chords %.2f median %.0f hits %zu %s%s\n", l,
            line.Track, line.Channel, line.Notes.size(), line.Chords, line.MedianPitch, hits,
            line.Name.c_str(), static_cast<int>(l) == unpinned.Melody.Line ? "  <- chosen" : "");
    }
    if (unpinned.Melody.Line >= 0)
        for (const auto& note : unpinned.Lines[static_cast<size_t>(unpinned.Melody.Line)].Notes)
            std::printf("note %d %d %d\n", note.Tick, note.End, note.Pitch);
    std::printf("ticks per beat %d\n", TicksPerBeat(timed.Wordless.Division));
    std::printf("sheet %s\n", timed.Sheet.c_str());
    // The plain sheet, split by the program: every syllable, and the true
    // tick of the word it opens.
    request.Pins.clear();
    request.SheetUtf8 = timed.PlainSheet;
    request.AsWritten = false;
    const align::SheetAlignment plain = align::AlignSheet(timed.Wordless, request);
    std::vector<int32_t> word_ticks;
    for (size_t i = 0; i < timed.Ticks.size(); ++i)
        if (timed.WordStarts[i]) word_ticks.push_back(timed.Ticks[i]);
    size_t word = 0;
    for (size_t i = 0; i < plain.Sheet.Syllables.size(); ++i) {
        const auto& syllable = plain.Sheet.Syllables[i];
        const int32_t got = plain.Placement.Syllables[i].Tick;
        if (syllable.WordStart && word < word_ticks.size()) {
            const int32_t truth = word_ticks[word++];
            std::printf("plain %s %-12s true %7d got %7d %s\n", syllable.LineStart ? "/" : " ",
                        syllable.Text.c_str(), truth, got,
                        std::abs(got - truth) <= tolerance ? "  " : "XX");
        } else {
            std::printf("plain   %-12s              got %7d%s\n", syllable.Text.c_str(), got,
                        plain.Placement.Syllables[i].SharesNote ? " shares" : "");
        }
    }
    // What each syllable costs the aligner where it is truly sung and where
    // the alignment without help put it: where the truth costs more, the
    // weights, not the search, are at fault.
    std::vector<double> true_cost, free_cost;
    if (unpinned.Melody.Line >= 0) {
        const auto& notes = unpinned.Lines[static_cast<size_t>(unpinned.Melody.Line)].Notes;
        align::AlignOptions options;
        options.Division = TicksPerBeat(timed.Wordless.Division);
        options.Metres = align::MetresOf(timed.Wordless);
        options.Weights = weights;
        std::vector<align::PlacedSyllable> truth(timed.Ticks.size());
        for (size_t i = 0; i < truth.size(); ++i) {
            const auto on = std::find_if(notes.begin(), notes.end(), [&](const auto& note) {
                return std::abs(note.Tick - timed.Ticks[i]) <= tolerance;
            });
            if (on != notes.end()) {
                truth[i].Note = static_cast<int>(on - notes.begin());
                if (i > 0 && truth[i - 1].Note == truth[i].Note) truth[i].SharesNote = true;
            } else if (i > 0 && truth[i - 1].Note >= 0) {
                truth[i].Note = truth[i - 1].Note;  // between notes: sung on the one before
                truth[i].SharesNote = true;
            }
        }
        true_cost = align::PriceAlignment(notes, unpinned.Shapes, truth, options);
        free_cost =
            align::PriceAlignment(notes, unpinned.Shapes, unpinned.Placement.Syllables, options);
    }
    double true_total = 0, free_total = 0;
    for (size_t i = 0; i < timed.Ticks.size(); ++i) {
        const auto& a = unpinned.Placement.Syllables[i];
        const auto& b = pinned.Placement.Syllables[i];
        std::printf("%4zu %s %-12s true %7d free %7d %s pinned %7d %s", i + 1,
                    timed.LineStarts[i] ? "/" : " ", unpinned.Sheet.Syllables[i].Text.c_str(),
                    timed.Ticks[i], a.Tick,
                    std::abs(a.Tick - timed.Ticks[i]) <= tolerance ? "  " : "XX", b.Tick,
                    std::abs(b.Tick - timed.Ticks[i]) <= tolerance ? "  " : "XX");
        if (i < true_cost.size() && i < free_cost.size()) {
            true_total += true_cost[i];
            free_total += free_cost[i];
            std::printf(" cost %6.2f %6.2f sum %8.2f %8.2f", true_cost[i], free_cost[i], true_total,
                        free_total);
        }
        std::printf("\n");
    }
    if (!true_cost.empty())
        std::printf("cost after the last: true %.2f free %.2f; in all: true %.2f free %.2f\n",
                    true_cost.back(), free_cost.back(), true_total + true_cost.back(),
                    free_total + free_cost.back());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::filesystem::is_directory(argv[1])) {
        std::fprintf(
            stderr,
            "usage: verselane-align-figures CORPUS [--set NAME=VALUE]... [--no-fixes] [-v] "
            "[--dump FILE]\n");
        return 2;
    }
    align::AlignWeights weights;
    std::map<std::string, double*> named = {
        {"LineStartWithoutRest", &weights.LineStartWithoutRest},
        {"LineStartRest", &weights.LineStartRest},
        {"RestInsideLine", &weights.RestInsideLine},
        {"LongRestInParagraph", &weights.LongRestInParagraph},
        {"PhraseRest", &weights.PhraseRest},
        {"Fill", &weights.Fill},
        {"FillLong", &weights.FillLong},
        {"FillOrnament", &weights.FillOrnament},
        {"LineStartAfterLong", &weights.LineStartAfterLong},
        {"FillAfterLast", &weights.FillAfterLast},
        {"PinEcho", &weights.PinEcho},
        {"PinEchoTune", &weights.PinEchoTune},
        {"LineEcho", &weights.LineEcho},
        {"LineEchoSure", &weights.LineEchoSure},
        {"LineStartUsual", &weights.LineStartUsual},
        {"Melisma", &weights.Melisma},
        {"MelismaLegato", &weights.MelismaLegato},
        {"MelismaShort", &weights.MelismaShort},
        {"MelismaRepeat", &weights.MelismaRepeat},
        {"MelismaStep", &weights.MelismaStep},
        {"MelismaStepSpare", &weights.MelismaStepSpare},
        {"MelismaDrawn", &weights.MelismaDrawn},
        {"MelismaSung", &weights.MelismaSung},
        {"MelismaLong", &weights.MelismaLong},
        {"MelismaOnBeat", &weights.MelismaOnBeat},
        {"MelismaAfterRest", &weights.MelismaAfterRest},
        {"LineEndTied", &weights.LineEndTied},
        {"MelismaAfterLong", &weights.MelismaAfterLong},
        {"OffBeat", &weights.OffBeat},
        {"WordStartOffBeat", &weights.WordStartOffBeat},
        {"WeakOffBeat", &weights.WeakOffBeat},
        {"Stressed", &weights.Stressed},
        {"ConfidenceScale", &weights.ConfidenceScale},
        {"ShareNote", &weights.ShareNote},
        {"BeforePin", &weights.BeforePin},
        {"ShareAnyNote", &weights.ShareAnyNote},
        {"ShareLong", &weights.ShareLong},
        {"NoNote", &weights.NoNote},
        {"PlaceLegato", &weights.PlaceLegato},
        {"LineEndWithoutRest", &weights.LineEndWithoutRest},
    };
    bool fixes = true, verbose = false;
    std::string dump;  // a file name: its syllables and lines of notes
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--no-fixes") {
            fixes = false;
        } else if (a == "-v") {
            verbose = true;
        } else if (a == "--dump" && i + 1 < argc) {
            dump = argv[++i];
        } else if (a == "--set" && i + 1 < argc) {
            const std::string s = argv[++i];
            const size_t eq = s.find('=');
            auto it = named.find(s.substr(0, eq));
            if (eq == std::string::npos || it == named.end()) {
                std::fprintf(stderr, "unknown weight: %s\n", s.c_str());
                return 2;
            }
            *it->second = std::atof(s.c_str() + eq + 1);
        }
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[1])) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".mid" || ext == ".kar" || ext == ".midi"))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<Row> rows;
    size_t part_same = 0, part_chosen = 0;
    for (const auto& path : files) {
        Song song;
        SongFacts facts;
        if (!ReadSong(song, facts, path.string()).SongUsable()) continue;
        const std::optional<scoring::TimedSheet> timed = scoring::TimedSheetOf(song);
        if (!timed) continue;
        if (!dump.empty() && path.filename() == dump) DumpSong(*timed, weights);
        const scoring::PartSheetMelodies parts = scoring::MelodiesOfPartSheets(*timed);
        part_same += parts.Same;
        part_chosen += parts.Chosen;
        rows.push_back(
            {path.string(), timed->Clean, scoring::ScoreAlignment(*timed, weights, fixes)});
        if (verbose) {
            const auto& f = rows.back().Figures;
            std::printf(
                "%-24s %5zu %s first %5.1f fixes %5.1f lines %5.1f words %5.1f melody %d/%d best "
                "%d %s\n",
                path.filename().c_str(), f.Syllables, timed->Clean ? "clean" : "     ", f.First,
                f.Fixes, f.Lines, f.Words, f.MelodyTrack, f.MelodyChannel, timed->BestTrack,
                f.Error.c_str());
            std::fflush(stdout);
        }
    }
    std::printf("sheets of a part of the song: %zu of %zu take the melody of the whole sheet\n",
                part_same, part_chosen);
    for (const char* half : {"all", "tuning", "held-out"}) {
        std::vector<const Row*> clean, rest;
        for (size_t i = 0; i < rows.size(); ++i) {
            if (std::string(half) == "tuning" && i % 2 != 0) continue;
            if (std::string(half) == "held-out" && i % 2 != 1) continue;
            (rows[i].Clean ? clean : rest).push_back(&rows[i]);
        }
        Summary(clean, (std::string(half) + " clean").c_str());
        Summary(rest, (std::string(half) + " not clean").c_str());
    }
    return 0;
}
