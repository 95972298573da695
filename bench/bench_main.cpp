// verselane-bench: throughput of reading, writing and converting songs, in
// bytes of the song's file per second.
//
// The songs: a 20 MB format 1 file with 20,000 lyrics and a typical 200 KB
// karaoke song, both made by ../shared/tools/gen_big_midi.py when the
// program starts (kept in the data folder for the next run), and the largest
// files of the corpus. Any benchmark option works, for instance
//   verselane-bench --benchmark_filter=Read --benchmark_min_time=2
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "model/midi_file.h"
#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

namespace verselane::bench {
namespace {

namespace fs = std::filesystem;

// One song read once, for the benchmarks that start from a song in memory.
struct LoadedSong {
    BenchFile file;
    int64_t size = 0;
    MidiFile song;
    std::string message;
};

LoadedSong Load(const BenchFile& file) {
    LoadedSong loaded{file, static_cast<int64_t>(fs::file_size(file.path)), {}, {}};
    ResetMidiFile(loaded.song);
    loaded.message = ReadMidiFile(loaded.song, file.path.string());
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
        MidiFile song;
        ResetMidiFile(song);
        std::string message = ReadMidiFile(song, s->file.path.string());
        if (!message.empty()) state.SkipWithError(message.c_str());
        benchmark::DoNotOptimize(song.EventCount.data());
        state.PauseTiming();  // freeing the song is not part of the read
        song = MidiFile{};
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * s->size);
}

// Decoding only, from bytes already in memory.
void DecodeBench(benchmark::State& state, const LoadedSong* s) {
    const std::string bytes = LoadFileBytes(s->file.path.string());
    for (auto _ : state) {
        MidiFile song;
        ResetMidiFile(song);
        std::string message = ReadMidiBytes(song, bytes);
        if (!message.empty()) state.SkipWithError(message.c_str());
        benchmark::DoNotOptimize(song.EventCount.data());
        state.PauseTiming();
        song = MidiFile{};
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * s->size);
}

// Encoding into memory, no file.
void EncodeBench(benchmark::State& state, const LoadedSong* s) {
    for (auto _ : state) {
        std::string bytes = EncodeMidiFile(s->song);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * s->size);
}

// The whole write: temporary file, fsync, rename.
void WriteFileBench(benchmark::State& state, const LoadedSong* s) {
    const std::string out = OutputPath(*s).string();
    for (auto _ : state) {
        std::string message = WriteMidiFile(s->song, out);
        if (!message.empty()) state.SkipWithError(message.c_str());
    }
    std::remove(out.c_str());
    state.SetBytesProcessed(state.iterations() * s->size);
}

// Read and write back, as `verselane-cli copy` does.
void CopyBench(benchmark::State& state, const LoadedSong* s) {
    const std::string out = OutputPath(*s).string();
    for (auto _ : state) {
        MidiFile song;
        ResetMidiFile(song);
        std::string message = ReadMidiFile(song, s->file.path.string());
        if (message.empty()) message = WriteMidiFile(song, out);
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
    return files;
}

}  // namespace
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
        benchmark::RegisterBenchmark(("ReadMidiFile/" + name).c_str(), ReadFileBench, song)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ReadMidiBytes/" + name).c_str(), DecodeBench, song)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("EncodeMidiFile/" + name).c_str(), EncodeBench, song)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("WriteMidiFile/" + name).c_str(), WriteFileBench, song)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ReadWrite/" + name).c_str(), CopyBench, song)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
