#include "cli/inputs.h"

#include <filesystem>
#include <system_error>

#include "cli/batch.h"
#include "cli/summary.h"
#include "encoding/text_encoding.h"

namespace verselane::cli {

namespace fs = std::filesystem;

std::string InputProblemText(const SongInputs::Problem& Problem, bool Recursive) {
    if (Problem.What == SongInputs::Problem::Unreadable)
        return Problem.Folder + ": cannot read the folder: " + Problem.Reason;
    return Problem.Input + ": no songs (.mid, .midi, .kar, .rmi) in this folder" +
           (Recursive ? "" : " (-r looks in its subfolders too)");
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
        err << PrintableName(InputProblemText(problem, Command.Recursive)) << "\n";
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
    const int failures = RunJobs(jobs, Command.Jobs, Run, out, err, &progress, Command.Direction);
    return failures == 0 && songs.Problems.empty() ? 0 : 1;
}

int RunConversion(const ConvertCommand& Command, std::ostream& out, std::ostream& err,
                  std::ostream& terminal, bool Terminal) {
    BatchCommand batch = BatchOf(Command, BatchKind::Conversion);
    batch.Direction = Command.Direction;
    const workflow::OutputKind kind = Command.Direction == ConversionDirection::LyricsToKaraoke
                                          ? workflow::OutputKind::Karaoke
                                          : workflow::OutputKind::Lyrics;
    return RunBatchCommand(
        batch,
        [&](const std::string& input, const std::string& folder) {
            return workflow::OutputName(input, kind, folder);
        },
        [&](const Job& job) { return workflow::ConvertFile(Command, job); }, out, err, terminal,
        Terminal);
}

}  // namespace verselane::cli
