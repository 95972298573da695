// verselane-align-bench: the time the aligner takes for a whole song, the
// goal being under 100 ms for a 4-minute song.
//
// A made 4-minute song (120 beats a minute: 480 beats, 720 notes of eighths
// and quarters with a rest before every line, 640 syllables in lines of
// eight) is aligned with no pins, one pin in the middle, every line's
// first syllable pinned and every line's second (each pin looked for in
// every later line of as many syllables); a real karaoke song of the corpus (when there) is
// aligned from its sheet as the command does it, melody choice included;
// a German sheet is split, and a sheet of one very long word.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <optional>

#include "align/aligner.h"
#include "align/song_words.h"
#include "align/sung_syllables.h"
#include "bench/timed_sheet.h"
#include "reader/midi_reader.h"

using namespace verselane;
using namespace verselane::align;

namespace {

struct MadeSong {
    std::vector<MelodyNote> Notes;
    std::vector<SyllableShape> Syllables;
    std::vector<int32_t> LineStartTicks;
};

MadeSong FourMinuteSong() {
    MadeSong song;
    const int32_t beat = 480;
    int32_t tick = 4 * beat;
    for (int line = 0; line < 80; ++line) {
        // Eight syllables on nine notes (one melisma), then a rest.
        for (int n = 0; n < 9; ++n) {
            const int32_t length = n % 3 == 0 ? beat : beat / 2;
            song.Notes.push_back(
                {tick, tick + length - 10, static_cast<uint8_t>(60 + (n * 5 + line) % 12)});
            tick += length;
        }
        tick += 2 * beat;
        for (int s = 0; s < 8; ++s)
            song.Syllables.push_back({s % 2 == 0, s == 0, line % 4 == 0 && s == 0});
    }
    return song;
}

void AlignFourMinuteSong(benchmark::State& state) {
    const MadeSong song = FourMinuteSong();
    AlignOptions options;
    std::vector<Pin> pins;
    if (state.range(0) == 1) pins.push_back({320, song.Notes[360].Tick});
    if (state.range(0) == 2) {
        for (size_t s = 0; s < song.Syllables.size(); s += 8)
            pins.push_back({s, song.Notes[s / 8 * 9].Tick});
    }
    if (state.range(0) == 3) {  // each line's second syllable: echoes into every later line
        for (size_t s = 1; s < song.Syllables.size(); s += 8)
            pins.push_back({s, song.Notes[s / 8 * 9 + 1].Tick});
    }
    if (state.range(0) == 4) {  // every other line's start: echoes into the lines after
        for (size_t s = 0; s < song.Syllables.size(); s += 16)
            pins.push_back({s, song.Notes[s / 8 * 9].Tick});
    }
    for (auto _ : state) {
        Alignment a = AlignSyllables(song.Notes, song.Syllables, pins, options);
        benchmark::DoNotOptimize(a);
    }
    state.counters["syllables"] = static_cast<double>(song.Syllables.size());
    state.counters["notes"] = static_cast<double>(song.Notes.size());
}
BENCHMARK(AlignFourMinuteSong)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond);

void AlignCorpusSong(benchmark::State& state) {
    const char* env = std::getenv("VERSELANE_CORPUS");
    const std::filesystem::path path =
        std::filesystem::path(env && *env ? env : VERSELANE_SOURCE_DIR "/../shared/corpus") /
        "kar/bed_of_roses.kar";
    Song song;
    SongFacts facts;
    std::optional<scoring::TimedSheet> timed;
    if (ReadSong(song, facts, path.string()).SongUsable()) timed = scoring::TimedSheetOf(song);
    if (!timed) {
        state.SkipWithError(
            "the corpus song kar/bed_of_roses.kar is not here (set VERSELANE_CORPUS)");
        return;
    }
    SheetRequest request;
    request.SheetUtf8 = timed->Sheet;
    request.AsWritten = true;
    for (auto _ : state) {
        SheetAlignment a = AlignSheet(timed->Wordless, request);
        benchmark::DoNotOptimize(a);
    }
    state.counters["syllables"] = static_cast<double>(timed->Ticks.size());
}
BENCHMARK(AlignCorpusSong)->Unit(benchmark::kMillisecond);

// The German dictionary readied for a song's words and the words split, as
// the command does it for a plain sheet (the whole dictionary into libhyphen
// took about 5 s).
void SplitGermanSheet(benchmark::State& state) {
    const std::string sheet =
        "Leise flehen meine Lieder durch die Nacht zu dir\n"
        "In den stillen Hain hernieder Liebchen komm zu mir\n"
        "Flüsternd schlanke Wipfel rauschen in des Mondes Licht\n"
        "Des Verräters feindlich Lauschen fürchte holde nicht\n";
    for (auto _ : state) {
        SyllableSplitter splitter("de");
        if (!splitter.MissingFrom().empty()) {
            state.SkipWithError("no German hyphenation dictionary");
            return;
        }
        splitter.Prepare(sheet);
        size_t pieces = 0;
        for (const char* word : {"Leise", "flehen", "Lieder", "hernieder", "Verräters"})
            pieces += splitter.Split(word).size();
        benchmark::DoNotOptimize(pieces);
    }
}
BENCHMARK(SplitGermanSheet)->Unit(benchmark::kMillisecond);

// A sheet of one word of 200,000 letters ("abab..."): its 100,000 sung
// syllables, as the command makes them before aligning. Each piece once
// copied the whole word, which took seconds here and grew with the square
// of the word.
void SplitOneLongWord(benchmark::State& state) {
    std::string word;
    for (int i = 0; i < 100'000; ++i) word += "ab";
    const LyricSheet sheet = ParseLyricSheet(word);
    SyllableSplitter splitter("en");
    splitter.Prepare(word);
    for (auto _ : state) {
        const LyricSheet sung = SungSyllables(sheet, splitter);
        benchmark::DoNotOptimize(sung.Syllables.size());
    }
}
BENCHMARK(SplitOneLongWord)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
