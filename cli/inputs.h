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
#include "workflow/song_files.h"

namespace verselane::cli {

using workflow::ExpandInputs;
using workflow::IsSongName;
using workflow::OutputFolderFor;
using workflow::SongInputs;

// A folder named that cannot be read or holds no song, in the command line's
// words, starting with the folder's name.
std::string InputProblemText(const SongInputs::Problem& Problem, bool Recursive);

// A command that writes one file per song.
struct BatchCommand {
    std::vector<std::string> Inputs;
    bool Recursive = false;
    std::string Output;     // -o, one song only
    std::string OutputDir;  // --out-dir
    int Jobs = 0;           // 0: one per processor
    BatchKind Kind = BatchKind::Conversion;
    // The events a conversion takes its words from, for its messages.
    ConversionDirection Direction = ConversionDirection::LyricsToKaraoke;
};

// The batch part of a command that writes one file per song (fix, the
// conversions): its inputs, -r, -o, --out-dir and -j.
template <typename SongsCommand>
BatchCommand BatchOf(const SongsCommand& Command, BatchKind Kind) {
    BatchCommand batch;
    batch.Inputs = Command.Inputs;
    batch.Recursive = Command.Recursive;
    batch.Output = Command.Output;
    batch.OutputDir = Command.OutputDir;
    batch.Jobs = Command.Jobs;
    batch.Kind = Kind;
    return batch;
}

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
