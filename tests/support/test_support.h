// Helpers shared by the tests: readable byte fixtures, the outside corpus,
// checks of whole songs, temporary folders.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/song.h"
#include "model/song_facts.h"
#include "writer/write_failure.h"

namespace verselane::test {

// "00 90 3C 64" -> the four bytes; '|' and line breaks may separate groups,
// and "'text'" stands for the bytes of the text.
std::string Hex(std::string_view readable);
// The delta time of `ticks` for the next event of a track, with empty
// marker events before it for as long a wait as a delta cannot hold (at most
// 0x0FFFFFFF ticks each): a track can go on to the last tick a file holds.
std::string Wait(uint32_t ticks);

// A chunk: its 4-character type, its length (by default the body's) and body.
std::string Chunk(std::string_view type, std::string_view body,
                  std::optional<uint32_t> claimed_length = std::nullopt);
// A whole file: "MThd" header of 6 bytes, then one "MTrk" chunk per track body.
std::string Smf(int format, int division, std::initializer_list<std::string> tracks);
std::string SmfHeader(int format, int tracks, int division);

// The folder of the outside test corpus (VERSELANE_CORPUS, else the
// ../shared/corpus beside the source tree), or nothing when it is absent.
std::optional<std::filesystem::path> CorpusDir();
// Every MIDI file of the corpus (.mid, .kar, .rmi), below `subdir` if given, sorted.
std::vector<std::filesystem::path> CorpusFiles(std::string_view subdir = {});
// The corpus must be there under CI=true; elsewhere tests that need it skip.
bool CorpusRequired();

// Reads a file into a fresh song; the reader's message goes to `message`,
// what it learnt of the song to `facts`.
Song LoadSong(const std::filesystem::path& path, std::string* message = nullptr,
              SongFacts* facts = nullptr);
// The command line's message for a failed write; empty for a written file.
std::string WriteProblem(const std::optional<WriteFailure>& failure);

// Encodes the song, reads the bytes back (that read must be complete) and
// encodes the song read back to the same bytes.
::testing::AssertionResult WritesAndReadsBack(const Song& song);

// Where the announced track chunks of the Standard MIDI File at `from` in
// `file` begin, then where the last one ends (as far as the file holds them).
std::vector<size_t> TrackChunks(const std::string& file, size_t from = 0);

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

std::string ReadAll(const std::filesystem::path& path);
void WriteAll(const std::filesystem::path& path, std::string_view bytes);

// The text in single quotes for the shell, any single quote in it escaped.
std::string Quote(const std::string& s);
// Runs a shell command, returns its exit status and standard output.
int RunCommand(const std::string& command, std::string* output = nullptr);

}  // namespace verselane::test

// Skips the test (or fails it under CI=true) when the corpus is absent.
#define VERSELANE_REQUIRE_CORPUS()                                                          \
    do {                                                                                    \
        if (!::verselane::test::CorpusDir()) {                                              \
            if (::verselane::test::CorpusRequired()) {                                      \
                FAIL() << "the test corpus is missing (set VERSELANE_CORPUS); CI needs it"; \
            }                                                                               \
            GTEST_SKIP() << "the test corpus is not here (set VERSELANE_CORPUS to use it)"; \
        }                                                                                   \
    } while (0)
