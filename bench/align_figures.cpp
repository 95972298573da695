// verselane-align-figures: how well the aligner puts the words of the
// corpus's timed songs back, in-process (the figures of align-score).
//
//   verselane-align-figures CORPUS [--set NAME=VALUE]... [--no-fixes] [-v]
//
// The timed songs, sorted by path, are split alternately into a tuning half
// and a held-out half; both are reported, clean songs and the rest apart.
// --set changes one weight of the alignment (AlignWeights) for a tuning run.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/timed_sheet.h"
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::filesystem::is_directory(argv[1])) {
        std::fprintf(
            stderr,
            "usage: verselane-align-figures CORPUS [--set NAME=VALUE]... [--no-fixes] [-v]\n");
        return 2;
    }
    align::AlignWeights weights;
    std::map<std::string, double*> named = {
        {"LineStartWithoutRest", &weights.LineStartWithoutRest},
        {"LineStartRest", &weights.LineStartRest},
        {"RestInsideLine", &weights.RestInsideLine},
        {"Fill", &weights.Fill},
        {"FillLong", &weights.FillLong},
        {"FillOrnament", &weights.FillOrnament},
        {"LineStartAfterLong", &weights.LineStartAfterLong},
        {"Melisma", &weights.Melisma},
        {"MelismaLegato", &weights.MelismaLegato},
        {"MelismaShort", &weights.MelismaShort},
        {"MelismaRepeat", &weights.MelismaRepeat},
        {"MelismaAfterRest", &weights.MelismaAfterRest},
        {"LineEndTied", &weights.LineEndTied},
        {"MelismaAfterLong", &weights.MelismaAfterLong},
        {"OffBeat", &weights.OffBeat},
        {"WordStartOffBeat", &weights.WordStartOffBeat},
        {"ConfidenceScale", &weights.ConfidenceScale},
        {"ShareNote", &weights.ShareNote},
        {"BeforePin", &weights.BeforePin},
        {"ShareAnyNote", &weights.ShareAnyNote},
        {"NoNote", &weights.NoNote},
        {"PlaceLegato", &weights.PlaceLegato},
        {"LineEndWithoutRest", &weights.LineEndWithoutRest},
    };
    bool fixes = true, verbose = false;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--no-fixes") {
            fixes = false;
        } else if (a == "-v") {
            verbose = true;
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
    for (const auto& path : files) {
        Song song;
        SongFacts facts;
        if (!ReadSong(song, facts, path.string()).SongUsable()) continue;
        const std::optional<scoring::TimedSheet> timed = scoring::TimedSheetOf(song);
        if (!timed) continue;
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
