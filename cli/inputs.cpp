#include "cli/inputs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "cli/batch.h"
#include "cli/summary.h"

namespace verselane::cli {

namespace fs = std::filesystem;

bool IsSongName(const std::string& Path) {
    std::string ext = fs::path(Path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".mid" || ext == ".midi" || ext == ".kar" || ext == ".rmi";
}

namespace {

// The songs of one folder by name, then those of its subfolders when
// `recursive`; each with its folder relative to the top one.
void CollectSongs(const fs::path& folder, const fs::path& relative, bool recursive,
                  std::vector<std::pair<std::string, std::string>>& songs, std::string& problem) {
    std::vector<fs::path> files, folders;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code type_ec;
        if (it->is_directory(type_ec) && !it->is_symlink(type_ec)) {  // no link loops
            folders.push_back(it->path());
        } else if (IsSongName(it->path().string())) {
            files.push_back(it->path());
        }
    }
    if (ec) {
        problem = folder.string() + ": cannot read the folder: " + ec.message();
        return;
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    for (const fs::path& f : files) songs.emplace_back(f.string(), relative.string());
    if (!recursive) return;
    for (const fs::path& f : folders) {
        CollectSongs(f, relative / f.filename(), true, songs, problem);
    }
}

// The inputs, each folder replaced by its songs; with the folder of each in
// `out_dir` (the same for a file named, a subfolder of it for a song found in
// a subfolder of a folder named).
std::vector<std::pair<std::string, std::string>> Expand(const std::vector<std::string>& inputs,
                                                        bool recursive, std::ostream& err,
                                                        int& problems) {
    std::vector<std::pair<std::string, std::string>> songs;
    for (const std::string& input : inputs) {
        std::error_code ec;
        if (!fs::is_directory(input, ec)) {
            songs.emplace_back(input, "");
            continue;
        }
        const size_t before = songs.size();
        std::string problem;
        CollectSongs(input, "", recursive, songs, problem);
        if (problem.empty() && songs.size() == before) {
            problem = input + ": no songs (.mid, .midi, .kar, .rmi) in this folder" +
                      (recursive ? "" : " (-r looks in its subfolders too)");
        }
        if (!problem.empty()) {
            err << problem << "\n";
            ++problems;
        }
    }
    return songs;
}

}  // namespace

int RunConversion(const ConvertCommand& Command, std::ostream& out, std::ostream& err,
                  std::ostream& terminal, bool Terminal) {
    BatchProgress progress(terminal, Terminal);
    // Messages clear the progress line and draw it again below them.
    auto* lines = dynamic_cast<MessageLines*>(err.rdbuf());
    if (lines) lines->SetProgress(&progress);
    struct Unset {
        MessageLines* lines;
        ~Unset() {
            if (lines) lines->SetProgress(nullptr);
        }
    } unset{lines};
    // -o into a folder that is not there: say so, about that folder.
    if (!Command.Output.empty()) {
        const fs::path folder = fs::path(Command.Output).parent_path();
        std::error_code ec;
        if (!folder.empty() && !fs::is_directory(folder, ec)) {
            err << folder.string() << ": no such folder (for -o " << Command.Output << ")\n";
            progress.Failed();
            progress.Finish();
            return 1;
        }
    }
    int problems = 0;
    ConvertCommand expanded = Command;
    expanded.Inputs.clear();
    for (auto& [file, folder] : Expand(Command.Inputs, Command.Recursive, err, problems)) {
        expanded.Inputs.push_back(file);
        expanded.OutputDirs.push_back(Command.OutputDir.empty() || folder.empty()
                                          ? Command.OutputDir
                                          : (fs::path(Command.OutputDir) / folder).string());
    }
    if (!Command.Output.empty() && expanded.Inputs.size() > 1) {
        err << Command.Inputs[0] << ": a folder of " << expanded.Inputs.size()
            << " songs; -o names the output of one song (use --out-dir)\n";
        progress.Failed();
        progress.Finish();
        return 1;
    }
    for (int i = 0; i < problems; ++i) progress.Failed();
    const int failures = RunBatch(expanded, out, err, &progress);
    return failures + problems == 0 ? 0 : 1;
}

}  // namespace verselane::cli
