// verselane-bench: throughput of reading, writing and converting songs, in
// bytes of the song's file per second. ReadWithProgress (the read as the
// desktop program makes it) and LyricsToKaraoke / KaraokeToLyrics on the
// 20 MB song are the desktop program's waits.
//
// The songs: a 20 MB format 1 file with 20,000 lyrics and a typical 200 KB
// karaoke song, both made by ../shared/tools/gen_big_midi.py when the
// program starts (kept in the data folder for the next run), and the largest
// files of the corpus. Any benchmark option works, for instance
//   verselane-bench --benchmark_filter=Read --benchmark_min_time=2
// VERSELANE_BENCH_FILES adds songs (paths separated by ':'), named extra/NAME.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "cli/outcome_text.h"
#include "encoding/encoding_detection.h"
#include "lyrics/converters.h"
#include "lyrics/track_choice.h"
#include "model/song.h"
#include "model/song_facts.h"
#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

namespace verselane::bench {
namespace {

namespace fs = std::filesystem;

// One song read once, for the benchmarks that start from a song in memory.
struct LoadedSong {
    BenchFile file;
    int64_t size = 0;
    Song song;
    std::string message;
};

// The command line's message for a failed write, empty for a written file.
std::string WrittenOrWhy(const std::optional<WriteFailure>& failure) {
    return failure ? cli::WriteFailureMessage(*failure) : std::string();
}

LoadedSong Load(const BenchFile& file) {
    LoadedSong loaded{file, static_cast<int64_t>(fs::file_size(file.path)), {}, {}};
    SongFacts facts;
    loaded.message = cli::ReadMessage(ReadSong(loaded.song, facts, file.path.string()));
    return loaded;
}

fs::path OutputPath(const LoadedSong& s) {
    std::string name = s.file.label;
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    return DataDir() / ("out-" + name + ".mid");
}

// Whole read from disk (the file is in the page cache after the first run).
void ReadFileBench(benchmark::State& state, const LoadedSong* s) {
    for (auto _ : state) {
        Song song;
        SongFacts facts;
        std::string message = cli::ReadMessage(ReadSong(song, facts, s->file.path.string()));
        if (!message.empty()) state.SkipWithError(message.c_str());
        benchmark::DoNotOptimize(song.Tracks.data());
        state.PauseTiming();  // freeing the song is not part of the read
        song = Song{};
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * s->size);
}

// Decoding only, from bytes already in memory.
void DecodeBench(benchmark::State& state, const LoadedSong* s) {
    const std::string bytes = LoadFileBytes(s->file.path.string());
    for (auto _ : state) {
        Song song;
        SongFacts facts;
        std::string message = cli::ReadMessage(ReadSongBytes(song, facts, bytes));
        if (!message.empty()) state.SkipWithError(message.c_str());
        benchmark::DoNotOptimize(song.Tracks.data());
        state.PauseTiming();
        song = Song{};
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * s->size);
}

// Encoding into memory, no file.
void EncodeBench(benchmark::State& state, const LoadedSong* s) {
    for (auto _ : state) {
        std::string bytes = EncodeSong(s->song);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * s->size);
}

// The whole write: temporary file, fsync, rename.
void WriteFileBench(benchmark::State& state, const LoadedSong* s) {
    const std::string out = OutputPath(*s).string();
    for (auto _ : state) {
        const std::string message = WrittenOrWhy(WriteSong(s->song, out));
        if (!message.empty()) state.SkipWithError(message.c_str());
    }
    std::remove(out.c_str());
    state.SetBytesProcessed(state.iterations() * s->size);
}

// Read and write back, as `verselane-cli copy` does.
void CopyBench(benchmark::State& state, const LoadedSong* s) {
    const std::string out = OutputPath(*s).string();
    for (auto _ : state) {
        Song song;
        SongFacts facts;
        std::string message = cli::ReadMessage(ReadSong(song, facts, s->file.path.string()));
        if (message.empty()) message = WrittenOrWhy(WriteSong(song, out));
        if (!message.empty()) state.SkipWithError(message.c_str());
    }
    std::remove(out.c_str());
    state.SetBytesProcessed(state.iterations() * s->size);
}

// The read as the desktop program makes it: with a progress callback that
// lets the window repaint every 512 events.
void ReadWithProgressBench(benchmark::State& state, const LoadedSong* s) {
    int64_t calls = 0;
    const ReadProgress progress = [&](int64_t, int64_t) { ++calls; };
    for (auto _ : state) {
        Song song;
        SongFacts facts;
        std::string message =
            cli::ReadMessage(ReadSong(song, facts, s->file.path.string(), progress));
        if (!message.empty()) state.SkipWithError(message.c_str());
        state.PauseTiming();
        song = Song{};
        state.ResumeTiming();
    }
    state.counters["progress_calls"] =
        benchmark::Counter(static_cast<double>(calls), benchmark::Counter::kAvgIterations);
    state.SetBytesProcessed(state.iterations() * s->size);
}

// One conversion of the song in memory; each round starts from a fresh copy
// of the song read (the copy is not timed).
template <typename Convert>
void ConvertBench(benchmark::State& state, const Song& source, int64_t size, Convert convert) {
    for (auto _ : state) {
        state.PauseTiming();
        Song song = source;
        state.ResumeTiming();
        convert(song);
        benchmark::DoNotOptimize(song.Tracks.data());
        state.PauseTiming();
        song = Song{};
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * size);
}

const KaraokeInfo kInfo{"ENGL", "Benchmark Song", "Verselane", ""};

void LyricsToKaraokeBench(benchmark::State& state, const LoadedSong* s) {
    const int16_t track = ChooseSourceTrack(s->song, ConversionDirection::LyricsToKaraoke);
    if (track < 0) return state.SkipWithError("no lyrics");
    ConvertBench(state, s->song, s->size, [&](Song& song) {
        int16_t source = track;
        LyricsToKaraoke(song, source, kInfo);
    });
}

// From the karaoke file that LyricsToKaraoke makes of the song (or the song
// itself when it holds karaoke text already).
void KaraokeToLyricsBench(benchmark::State& state, const LoadedSong* s, bool keep) {
    Song karaoke = s->song;
    int16_t track = ChooseSourceTrack(karaoke, ConversionDirection::KaraokeToLyrics);
    if (track < 0) {
        int16_t source = ChooseSourceTrack(karaoke, ConversionDirection::LyricsToKaraoke);
        if (source < 0) return state.SkipWithError("no lyrics nor karaoke text");
        LyricsToKaraoke(karaoke, source, kInfo);
        track = ChooseSourceTrack(karaoke, ConversionDirection::KaraokeToLyrics);
    }
    ConvertBench(state, karaoke, s->size, [&](Song& song) { KaraokeToLyrics(song, track, keep); });
}

// What `verselane-cli to-karaoke` does: read, convert, write.
void ReadConvertWriteBench(benchmark::State& state, const LoadedSong* s) {
    const std::string out = OutputPath(*s).string();
    for (auto _ : state) {
        Song song;
        SongFacts facts;
        std::string message = cli::ReadMessage(ReadSong(song, facts, s->file.path.string()));
        int16_t track = ChooseSourceTrack(song, ConversionDirection::LyricsToKaraoke);
        if (message.empty() && track >= 0) {
            LyricsToKaraoke(song, track, kInfo);
            message = WrittenOrWhy(WriteSong(song, out));
        }
        if (!message.empty()) state.SkipWithError(message.c_str());
    }
    std::remove(out.c_str());
    state.SetBytesProcessed(state.iterations() * s->size);
}

std::vector<BenchFile> Songs() {
    std::vector<BenchFile> files = {
        {"big20M", GeneratedSong("big20M.mid", "")},
        {"song200K", GeneratedSong("song200K.mid", "--size 200K --lyrics 400")},
    };
    for (BenchFile& f : LargestCorpusFiles(3)) files.push_back(std::move(f));
    // More songs, for instance the sizes that scripts/bench-compare compares.
    if (const char* more = std::getenv("VERSELANE_BENCH_FILES")) {
        std::string list = more;
        for (size_t start = 0; start <= list.size();) {
            size_t end = std::min(list.find(':', start), list.size());
            if (end > start) {
                fs::path path = list.substr(start, end - start);
                files.push_back({"extra/" + path.filename().string(), path});
            }
            start = end + 1;
        }
    }
    return files;
}

}  // namespace
// Detecting the encoding of one long word in a code page (a lyric that runs
// on without a space), 4 and 64 KB: the time grows with the text, not with
// its square.
void DetectLongWord(benchmark::State& state) {
    const std::vector<std::string> texts = {
        "Song", std::string(static_cast<size_t>(state.range(0)), '\xE0')};
    const std::vector<std::string_view> views(texts.begin(), texts.end());
    for (auto _ : state) benchmark::DoNotOptimize(DetectEncoding(views));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(DetectLongWord)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);

}  // namespace verselane::bench

int main(int argc, char** argv) {
    using namespace verselane::bench;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    std::vector<std::unique_ptr<LoadedSong>> songs;
    try {
        for (const BenchFile& f : Songs()) songs.push_back(std::make_unique<LoadedSong>(Load(f)));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "verselane-bench: %s\n", e.what());
        return 1;
    }
    for (const auto& s : songs) {
        const LoadedSong* song = s.get();
        if (!song->message.empty()) {
            std::fprintf(stderr, "verselane-bench: %s: %s (skipped)\n", song->file.label.c_str(),
                         song->message.c_str());
            continue;
        }
        const std::string& name = song->file.label;
        benchmark::RegisterBenchmark(("ReadSong/" + name).c_str(), ReadFileBench, song)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ReadSongBytes/" + name).c_str(), DecodeBench, song)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("EncodeSong/" + name).c_str(), EncodeBench, song)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("WriteSong/" + name).c_str(), WriteFileBench, song)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ReadWrite/" + name).c_str(), CopyBench, song)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ReadWithProgress/" + name).c_str(), ReadWithProgressBench,
                                     song)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("LyricsToKaraoke/" + name).c_str(), LyricsToKaraokeBench,
                                     song)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("KaraokeToLyrics/keep/" + name).c_str(), KaraokeToLyricsBench,
                                     song, true)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("KaraokeToLyrics/replace/" + name).c_str(),
                                     KaraokeToLyricsBench, song, false)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ReadConvertWrite/" + name).c_str(), ReadConvertWriteBench,
                                     song)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
