// The songs the benchmarks run on: generated at benchmark time (and kept in
// a cache folder under the build tree, never in the sources) and the largest
// files of the outside corpus.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace verselane::bench {

struct BenchFile {
    std::string label;  // short name for the benchmark's name
    std::filesystem::path path;
};

// Where generated songs and the benchmarks' output files go:
// VERSELANE_BENCH_DATA, else bench-data beside the benchmark program.
std::filesystem::path DataDir();

// The song that `gen_big_midi.py ARGS` makes, generated once into DataDir().
// Throws std::runtime_error when the generator fails.
std::filesystem::path GeneratedSong(const std::string& name, const std::string& args);

// The `count` largest MIDI files of the corpus (VERSELANE_CORPUS, else
// ../shared/corpus beside the sources); none when it is absent.
std::vector<BenchFile> LargestCorpusFiles(size_t count);

}  // namespace verselane::bench
