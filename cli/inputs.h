// The inputs of a batch command as the user names them: files and folders of
// songs; and the run of a whole command that writes one file per song
// (to-karaoke, to-lyrics, fix).
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/options.h"

namespace verselane::cli {

// Whether a file's name marks it as a song: .mid, .midi, .kar, .rmi, in any case.
bool IsSongName(const std::string& Path);

// The inputs with each folder replaced by its songs, by name (with
// `Recursive`, those of its subfolders too).
struct SongInputs {
    std::vector<std::string> Files;
    // Per file: the subfolder of the folder named that it was found in ("" for
    // a file named and for a song right in a folder named).
    std::vector<std::string> Subfolders;
    // A folder that cannot be read or holds no song.
    struct Problem {
        std::string Input;    // the folder as named
        std::string Message;  // what is wrong, starting with the folder's name
        size_t Before = 0;    // the number of files ahead of it among the inputs
    };
    std::vector<Problem> Problems;
};
SongInputs ExpandInputs(const std::vector<std::string>& Inputs, bool Recursive);

// The folder for the output of a song found in `Subfolder`: that subfolder
// of `OutputDir`, or `OutputDir` itself (empty: beside the input).
std::string OutputFolderFor(const std::string& OutputDir, const std::string& Subfolder);

// A command that writes one file per song.
struct BatchCommand {
    std::vector<std::string> Inputs;
    bool Recursive = false;
    std::string Output;     // -o, one song only
    std::string OutputDir;  // --out-dir
    int Jobs = 0;           // 0: one per processor
    BatchKind Kind = BatchKind::Conversion;
};

// Runs a batch command: its inputs expanded, its -o folder checked, each song
// named by `NameOf(input, folder)` (`folder` from OutputFolderFor) and done
// by `Run`, with a summary line at the end (and a progress line when
// `Terminal`). Returns the exit status: 0 when every song succeeded (a song
// without words is no failure), else 1.
// A folder that cannot be read or holds no song is reported and fails.
// `err` may be a `MessageLines` stream; the progress line goes to `terminal`.
int RunBatchCommand(
    const BatchCommand& Command,
    const std::function<std::string(const std::string&, const std::string&)>& NameOf,
    const std::function<JobResult(const Job&)>& Run, std::ostream& out, std::ostream& err,
    std::ostream& terminal, bool Terminal);

// Runs a conversion command by RunBatchCommand.
int RunConversion(const ConvertCommand& Command, std::ostream& out, std::ostream& err,
                  std::ostream& terminal, bool Terminal);

}  // namespace verselane::cli
