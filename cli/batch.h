// The command line's side of a batch: the workflow's outcomes in the
// command line's words, and the report of each song as the jobs run.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/summary.h"
#include "reader/midi_reader.h"
#include "workflow/batch.h"
#include "workflow/output_names.h"
#include "workflow/song_files.h"

namespace verselane::cli {

using workflow::FileIdentity;
using workflow::Job;
using workflow::JobResult;
using workflow::PlanJobs;
using workflow::ReadJobInput;
using workflow::WriteJobOutput;

// What to tell the user of a song that was read only in part: whether it is
// written all the same (with --salvage) or not, then on lines of their own
// which tracks are damaged and how.
std::string DamageReport(const ReadOutcome& Read, bool Salvage);

// Reads a song that one command works on alone (align, retime) into `Song`
// and `Facts` (fresh): true when it was read whole; otherwise says why on
// `err`, with the file's name, and gives false (a damaged song is not worked
// on).
bool ReadWholeSong(const std::string& FileName, Song& Song, SongFacts& Facts, std::ostream& err);

// Reads a text file that one command works from into `Bytes`: true when it
// was read whole; otherwise says on `err` "NAME: cannot read the WHAT: WHY"
// (no such file, a folder, not a regular file, not readable, a read error,
// longer than a lyric sheet may be) and gives false. A pipe is read to its end
// or to that length; "-" is the standard input, read the same way.
bool ReadTextFile(const std::string& FileName, std::string_view What, std::string& Bytes,
                  std::ostream& err);
// The name of such a file in messages: "standard input" for "-".
std::string TextFileName(const std::string& FileName);

// Why `Encoding` (a name for iconv) cannot be the encoding of a song's texts,
// or the empty string when it can: "unknown encoding: NAME", or one that does
// not write ASCII as ASCII (UTF-16, UTF-32, UTF-7), in which no song's texts
// are.
std::string SongEncodingRefusal(const std::string& Encoding);

// Warns on `err` ("INPUT: warning: ...") of what a song written from
// `Input` leaves out of it, as NotKeptWarning says; nothing when nothing.
void WarnOfWhatIsNotKept(const std::string& Input, const SongFacts& Facts, std::ostream& err);

// The name of an output file in messages: "standard output" for "-".
std::string OutputFileName(const std::string& FileName);

// Whether writing `Output` writes to standard output: "-", or the file or
// pipe standard output already is. A command's report then goes to the
// error stream, so that the song's bytes stay alone on standard output.
bool WritesToStandardOutput(const std::string& Output);

// The refusal to write `Output` over one of the command's own inputs (the
// song, a lyric sheet, a list of line starts; `Inputs` pairs each file with
// what it is): "OUTPUT: is the WHAT being read; name another output", or
// the empty string. Files are compared by identity, so a link or another
// spelling of an input's name is refused too.
std::string OverwritesInput(const std::string& Output,
                            const std::vector<std::pair<std::string, std::string>>& Inputs);

// Why a job failed, in the command line's words; `Direction` names the
// events a conversion missed.
std::string FailureText(const Job& Job, const JobResult& Result,
                        ConversionDirection Direction = ConversionDirection::LyricsToKaraoke);

// The warnings of a job that succeeded or failed: a damaged song salvaged,
// a typed information line not stored as typed, the command's own.
std::vector<std::string> WarningTexts(const JobResult& Result);

// Runs every job by the workflow's runner, `Workers` of them at a time (one
// per processor when 0). Each success is reported on `out` ("IN -> OUT
// (track N)", or "IN: NOTE" for one that changes nothing), each failure on
// `err` with the input's name; the run goes on. Returns the number of
// failures (a song without words is none). `Progress`, when given, counts
// the outcomes and shows the progress.
int RunJobs(const std::vector<Job>& Jobs, int Workers,
            const std::function<JobResult(const Job&)>& Run, std::ostream& out, std::ostream& err,
            BatchProgress* Progress = nullptr,
            ConversionDirection Direction = ConversionDirection::LyricsToKaraoke);

}  // namespace verselane::cli
