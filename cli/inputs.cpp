#include "cli/inputs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "cli/batch.h"
#include "cli/summary.h"
#include "encoding/text_encoding.h"

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
                  SongInputs& songs, std::string& problem) {
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
    for (const fs::path& f : files) {
        songs.Files.push_back(f.string());
        songs.Subfolders.push_back(relative.string());
    }
    if (!recursive) return;
    for (const fs::path& f : folders) {
        CollectSongs(f, relative / f.filename(), true, songs, problem);
    }
}

}  // namespace

SongInputs ExpandInputs(const std::vector<std::string>& Inputs, bool Recursive) {
    SongInputs songs;
    for (const std::string& input : Inputs) {
        std::error_code ec;
        if (!fs::is_directory(input, ec)) {
            songs.Files.push_back(input);
            songs.Subfolders.emplace_back();
            continue;
        }
        const size_t before = songs.Files.size();
        std::string problem;
        CollectSongs(input, "", Recursive, songs, problem);
        if (problem.empty() && songs.Files.size() == before) {
            problem = input + ": no songs (.mid, .midi, .kar, .rmi) in this folder" +
                      (Recursive ? "" : " (-r looks in its subfolders too)");
        }
        if (!problem.empty()) songs.Problems.push_back({input, problem, songs.Files.size()});
    }
    return songs;
}

std::string OutputFolderFor(const std::string& OutputDir, const std::string& Subfolder) {
    if (OutputDir.empty() || Subfolder.empty()) return OutputDir;
    return (fs::path(OutputDir) / Subfolder).string();
}

int RunBatchCommand(
    const BatchCommand& Command,
    const std::function<std::string(const std::string&, const std::string&)>& NameOf,
    const std::function<JobResult(const Job&)>& Run, std::ostream& out, std::ostream& err,
    std::ostream& terminal, bool Terminal) {
    BatchProgress progress(terminal, Terminal, Command.Kind);
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
            err << PrintableName(folder.string()) << ": no such folder (for -o "
                << PrintableName(Command.Output) << ")\n";
            progress.Failed();
            progress.Finish();
            return 1;
        }
    }
    const SongInputs songs = ExpandInputs(Command.Inputs, Command.Recursive);
    for (const SongInputs::Problem& problem : songs.Problems) {
        err << PrintableName(problem.Message) << "\n";
    }
    if (!Command.Output.empty() && songs.Files.size() > 1) {
        err << PrintableName(Command.Inputs[0]) << ": a folder of " << songs.Files.size()
            << " songs; -o names the output of one song (use --out-dir)\n";
        progress.Failed();
        progress.Finish();
        return 1;
    }
    for (size_t i = 0; i < songs.Problems.size(); ++i) progress.Failed();
    // Names are asked for in input order.
    size_t next = 0;
    const std::vector<Job> jobs =
        PlanJobs(songs.Files, Command.Output, [&](const std::string& input) {
            return NameOf(input, OutputFolderFor(Command.OutputDir, songs.Subfolders[next++]));
        });
    const int failures = RunJobs(jobs, Command.Jobs, Run, out, err, &progress);
    return failures == 0 && songs.Problems.empty() ? 0 : 1;
}

int RunConversion(const ConvertCommand& Command, std::ostream& out, std::ostream& err,
                  std::ostream& terminal, bool Terminal) {
    BatchCommand batch;
    batch.Inputs = Command.Inputs;
    batch.Recursive = Command.Recursive;
    batch.Output = Command.Output;
    batch.OutputDir = Command.OutputDir;
    batch.Jobs = Command.Jobs;
    return RunBatchCommand(
        batch,
        [&](const std::string& input, const std::string& folder) {
            return DefaultOutputName(input, Command.Direction, folder);
        },
        [&](const Job& job) { return ConvertFile(Command, job); }, out, err, terminal, Terminal);
}

}  // namespace verselane::cli
