#include "tests/support/test_support.h"

#include "codec/midi_codec.h"

#include "cli/outcome_text.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

namespace verselane::test {

namespace fs = std::filesystem;

std::string Wait(uint32_t ticks) {
    std::string out;
    for (; ticks > kLargestVarLen; ticks -= kLargestVarLen) {
        WriteVarLen(out, kLargestVarLen);
        out += Hex("FF 06 00");
    }
    WriteVarLen(out, static_cast<int32_t>(ticks));
    return out;
}

std::string Hex(std::string_view readable) {
    std::string out;
    for (size_t i = 0; i < readable.size(); ++i) {
        if (readable[i] == '\'') {
            const size_t end = readable.find('\'', i + 1);
            if (end == std::string_view::npos) throw std::invalid_argument("unclosed quote");
            out.append(readable.substr(i + 1, end - i - 1));
            i = end;
        } else if (std::isxdigit(static_cast<unsigned char>(readable[i]))) {
            out.push_back(
                static_cast<char>(std::stoi(std::string(readable.substr(i++, 2)), nullptr, 16)));
        }
    }
    return out;
}

static std::string BigEndian(uint32_t value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

std::string Chunk(std::string_view type, std::string_view body, std::optional<uint32_t> claimed) {
    std::string out(type);
    out += BigEndian(claimed.value_or(static_cast<uint32_t>(body.size())), 4);
    out.append(body);
    return out;
}

std::string SmfHeader(int format, int tracks, int division) {
    return Chunk("MThd", BigEndian(format, 2) + BigEndian(tracks, 2) + BigEndian(division, 2));
}

std::string Smf(int format, int division, std::initializer_list<std::string> tracks) {
    std::string out = SmfHeader(format, static_cast<int>(tracks.size()), division);
    for (const std::string& body : tracks) out += Chunk("MTrk", body);
    return out;
}

std::optional<fs::path> CorpusDir() {
    const char* env = std::getenv("VERSELANE_CORPUS");
    const fs::path dir =
        env && *env ? fs::path(env) : fs::path(VERSELANE_SOURCE_DIR) / ".." / "shared" / "corpus";
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return std::nullopt;
    return fs::canonical(dir, ec);
}

bool CorpusRequired() {
    const char* ci = std::getenv("CI");
    return ci && std::string_view(ci) == "true";
}

std::vector<fs::path> CorpusFiles(std::string_view subdir) {
    std::vector<fs::path> files;
    auto dir = CorpusDir();
    if (!dir) return files;
    for (const auto& entry : fs::recursive_directory_iterator(*dir / subdir)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".mid" || ext == ".kar" || ext == ".rmi")) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

Song LoadSong(const fs::path& path, std::string* message, SongFacts* facts) {
    Song song;
    SongFacts read_facts;
    std::string result = cli::ReadMessage(verselane::ReadSong(song, read_facts, path.string()));
    if (message) *message = result;
    if (facts) *facts = read_facts;
    return song;
}

std::string WriteProblem(const std::optional<WriteFailure>& failure) {
    return failure ? cli::WriteFailureMessage(*failure) : std::string();
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "verselane-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    int status = ::pclose(pipe);
    if (output) *output = std::move(text);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

::testing::AssertionResult WritesAndReadsBack(const Song& song) {
    std::string bytes;
    try {
        bytes = EncodeSong(song);
    } catch (const RuntimeError& e) {
        return ::testing::AssertionFailure() << "the song cannot be written: " << e.what();
    }
    Song back;
    SongFacts facts;
    if (const ReadOutcome read = ReadSongBytes(back, facts, bytes);
        read.Result != ReadResult::Complete)
        return ::testing::AssertionFailure()
               << "the written song reads back: " << cli::ReadMessage(read);
    if (EncodeSong(back) != bytes)
        return ::testing::AssertionFailure() << "the song read back is written otherwise";
    return ::testing::AssertionSuccess();
}

std::vector<size_t> TrackChunks(const std::string& file, size_t from) {
    std::vector<size_t> at{from + 14};
    for (int i = 0; i < ((uint8_t(file[from + 10]) << 8) | uint8_t(file[from + 11])); ++i) {
        if (at.back() + 8 > file.size()) break;
        size_t length = 0;
        for (int k = 4; k < 8; ++k) length = length * 256 + uint8_t(file[at.back() + k]);
        at.push_back(std::min(at.back() + 8 + length, file.size()));
    }
    return at;
}

}  // namespace verselane::test
