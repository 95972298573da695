#include "bench/bench_files.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace verselane::bench {

namespace fs = std::filesystem;

namespace {

fs::path SharedDir() {
    return fs::path(VERSELANE_SOURCE_DIR).parent_path() / "shared";
}

fs::path ProgramDir() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

}  // namespace

fs::path DataDir() {
    const char* env = std::getenv("VERSELANE_BENCH_DATA");
    fs::path dir = env && *env ? fs::path(env) : ProgramDir() / "bench-data";
    fs::create_directories(dir);
    return dir;
}

fs::path GeneratedSong(const std::string& name, const std::string& args) {
    fs::path out = DataDir() / name;
    if (fs::exists(out)) return out;
    fs::path partial = out;
    partial += ".partial";
    const fs::path tool = SharedDir() / "tools" / "gen_big_midi.py";
    const std::string command =
        "python3 '" + tool.string() + "' " + args + " '" + partial.string() + "' > /dev/null";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("could not generate " + name + " with " + tool.string());
    }
    fs::rename(partial, out);
    return out;
}

std::vector<BenchFile> LargestCorpusFiles(size_t count) {
    const char* env = std::getenv("VERSELANE_CORPUS");
    fs::path corpus = env && *env ? fs::path(env) : SharedDir() / "corpus";
    std::vector<BenchFile> files;
    std::error_code ec;
    if (!fs::is_directory(corpus, ec)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(corpus, ec)) {
        if (!entry.is_regular_file()) continue;
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (ext == ".mid" || ext == ".kar" || ext == ".rmi") {
            files.push_back({"corpus/" + entry.path().filename().string(), entry.path()});
        }
    }
    std::sort(files.begin(), files.end(), [](const BenchFile& a, const BenchFile& b) {
        auto sa = fs::file_size(a.path), sb = fs::file_size(b.path);
        return sa != sb ? sa > sb : a.path < b.path;
    });
    if (files.size() > count) files.resize(count);
    return files;
}

}  // namespace verselane::bench
