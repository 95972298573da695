// Converting many files: output names, the checks that keep inputs and
// existing files safe, one conversion, and the parallel run over all inputs.
#pragma once

#include <sys/types.h>

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/options.h"
#include "cli/summary.h"
#include "reader/midi_reader.h"

namespace verselane::cli {

// One input and the file its conversion goes to; `Problem` says why the input
// cannot be converted at all (its output would write over an input, or
// another input's output), and is empty otherwise.
struct Job {
    std::string Input;
    std::string Output;
    std::string Problem;
};

// NAME.kar for karaoke text, NAME.lyrics.mid for lyrics, where NAME is the
// input's file name without its last extension; beside the input, or in
// `OutputDir` when given.
std::string DefaultOutputName(const std::string& Input, ConversionDirection Direction,
                              const std::string& OutputDir);

// The identity of an existing file (device and inode): the same for every
// spelling, symbolic link or hard link that reaches it.
std::optional<std::pair<dev_t, ino_t>> FileIdentity(const std::string& Path);

// The jobs of a conversion command, in the order of its inputs.
std::vector<Job> PlanJobs(const ConvertCommand& Command);
// The same for any command that writes one file per input: `Output` for a
// single input, else `NameOf(input)`.
std::vector<Job> PlanJobs(const std::vector<std::string>& Inputs, const std::string& Output,
                          const std::function<std::string(const std::string&)>& NameOf);

// What became of one input.
struct JobResult {
    std::string Problem;                // why it failed; empty on success
    std::vector<std::string> Warnings;  // the reader's message for a damaged file
    int Track = -1;                     // the track converted
    std::string Note;                   // shown after the output's name instead of the track
    // Not done for want of the words to convert: the song holds none (no
    // failure of the batch, only counted apart).
    bool NoWords = false;
    bool Unchanged = false;  // succeeded with nothing to change: nothing written
    bool Salvaged = false;   // converted from a song read in part
    ReadOutcome Read;        // the read of a damaged or unreadable input
};

// What to tell the user of a song that was read only in part: whether it is
// written all the same (with --salvage) or not, then on lines of their own
// which tracks are damaged and how.
std::string DamageReport(const ReadOutcome& Read, bool Salvage);

// The input of a job read into `Song`: false, with `Result.Problem` said,
// when the job cannot run (a planned problem, an output that exists without
// `Force`, a file that could not be read, a damaged one without `Salvage`);
// with `Salvage` a damaged file read in part gives a warning.
bool ReadJobInput(const Job& Job, bool Force, bool Salvage, MidiFile& Song, JobResult& Result);
// Writes the song to the job's output: a new file, or in place of an existing
// one with `Force`. Raises RuntimeError, or says the writer's message in
// `Result.Problem`.
void WriteJobOutput(const MidiFile& Song, const Job& Job, bool Force, JobResult& Result);

// Converts one input.
JobResult ConvertFile(const ConvertCommand& Command, const Job& Job);

// Runs every job, `Run` doing one, `Workers` of them at a time (one per
// processor when 0); an output's folder is made only when it is written into.
// Each success is reported on `out` ("IN -> OUT (track N)", or "IN: NOTE" for
// one that changes nothing), each failure on `err` with the input's name; the
// run goes on. Returns the number of failures (a song without words is
// none). `Progress`, when given, counts the outcomes and shows the progress.
int RunJobs(const std::vector<Job>& Jobs, int Workers,
            const std::function<JobResult(const Job&)>& Run, std::ostream& out, std::ostream& err,
            BatchProgress* Progress = nullptr);

}  // namespace verselane::cli
