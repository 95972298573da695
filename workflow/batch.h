// Many songs done alike: the jobs planned from the inputs (with the checks
// that keep inputs and other outputs safe), one conversion, and the run of
// all jobs on worker threads with a callback per song and a way to stop.
// Outcomes are values; each program words them itself.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "lyrics/track_choice.h"
#include "model/song.h"
#include "model/song_facts.h"
#include "reader/midi_reader.h"
#include "writer/write_failure.h"

namespace verselane::workflow {

// Why an input cannot be done at all, found while planning.
enum class PlanProblem {
    None,
    OverInput,    // its output would write over an input (`Other`; empty for a link to one)
    OutputTaken,  // its output is already the output of the input `Other`
};

// One input and the file it goes to.
struct Job {
    std::string Input;
    std::string Output;
    PlanProblem Problem = PlanProblem::None;
    std::string Other;  // the input the problem names
};

// What became of one input, when it did not succeed.
enum class JobFailure {
    None,
    Planned,            // the job's PlanProblem
    OutputExists,       // the output is a file already and may not be replaced
    Unreadable,         // `Read` holds the reader's outcome
    Damaged,            // read only in part and not to be salvaged (`Read`)
    NoSuchTrack,        // `Track` is not a track of the song (`TrackCount` tracks)
    TrackWithoutWords,  // `Track` holds no material for the direction
    NoWords,            // no track holds material for the direction
    WriteFailed,        // `Write` says why
    Other,              // an error while converting: `Error`
    Unforeseen,         // anything the job's run threw: `Error`
};

// A typed information line that was not stored exactly as typed.
struct TypedLineNote {
    enum Kind { Adjusted, KeptUtf8 };
    Kind What = Adjusted;
    const char* Field = "";  // "language", "title", "artist"
    int Replaced = 0;        // bytes that are not UTF-8, replaced by U+FFFD
    int DroppedControls = 0;
    std::string Stored;    // the text as stored
    std::string Encoding;  // the encoding it could not be written in (KeptUtf8)
};

struct JobResult {
    JobFailure Failure = JobFailure::None;
    WriteFailure Write;  // WriteFailed
    CaughtError Error;   // Other, Unforeseen
    int Track = -1;      // the track converted (or named, for a track failure)
    int TrackCount = 0;  // NoSuchTrack
    ReadOutcome Read;    // the read of a damaged or unreadable input
    // Not done for want of the words to convert: the song holds none (no
    // failure of the batch, only counted apart).
    bool NoWords = false;
    bool Unchanged = false;  // succeeded with nothing to change: nothing written
    bool Salvaged = false;   // done from a song read in part
    std::vector<TypedLineNote> TypedLines;
    std::vector<std::string> Warnings;  // a program's own warnings for this song
    std::string Note;                   // a program's words after the output's name

    bool Succeeded() const { return Failure == JobFailure::None; }
};

// A conversion of many songs, and the settings of each.
struct ConversionRequest {
    ConversionDirection Direction = ConversionDirection::LyricsToKaraoke;
    std::vector<std::string> Inputs;
    std::string Output;     // one input only
    std::string OutputDir;  // empty: beside each input
    std::optional<int> Track;
    // Lyrics to karaoke: the information lines typed (UTF-8); those not given
    // come from the song itself (SongKaraokeInfo).
    std::optional<std::string> Language, Title, Artist;
    std::string Encoding;    // of the typed lines; empty: the song's words
    bool Replace = false;    // to lyrics: the text events give way to the lyrics
    bool KeepLyrics = true;  // to karaoke: false removes the lyric events
    bool Force = false;      // existing files (never an input) may be replaced
    bool Salvage = false;    // convert songs that were read only in part
    int Jobs = 0;            // 0: one per processor
    bool Recursive = false;  // the songs of a folder's subfolders too
    // Per input, when given: its folder in OutputDir (subfolders of an input
    // folder are kept there).
    std::vector<std::string> OutputDirs;
};

// The jobs of a conversion, in the order of its inputs (NAME.kar or
// NAME.lyrics.mid).
std::vector<Job> PlanJobs(const ConversionRequest& Request);
// The same for anything that writes one file per input: `Output` for a
// single input, else `NameOf(input)`, asked in input order.
std::vector<Job> PlanJobs(const std::vector<std::string>& Inputs, const std::string& Output,
                          const std::function<std::string(const std::string&)>& NameOf);

// The input of a job read into `Song` (fresh), with what the read learnt in
// `Facts`: false, with `Result` said, when the job cannot run (a planned
// problem, an output that exists without `Force`, a file that could not be
// read, a damaged one without `Salvage`).
bool ReadJobInput(const Job& Job, bool Force, bool Salvage, Song& Song, SongFacts& Facts,
                  JobResult& Result);
// Writes the song to the job's output (its folder made when missing): a new
// file, or in place of an existing one with `Force`. Once written, the
// result warns of what the output leaves out of the file read (`Read`: the
// facts of that read), as NotKeptWarning says.
void WriteJobOutput(const Song& Song, const SongFacts& Read, const Job& Job, bool Force,
                    JobResult& Result);

// Converts one input.
JobResult ConvertFile(const ConversionRequest& Request, const Job& Job);

// Runs every job, `Run` doing one, `Workers` of them at a time (one per
// processor when 0). `Done` hears of each job as it ends (one call at a
// time, in the order they end); anything `Run` throws fails that job only.
// `Stop` is asked after each job ends; once it says so, no further job
// starts. Returns the number of jobs done.
size_t RunJobs(const std::vector<Job>& Jobs, int Workers,
               const std::function<JobResult(const Job&)>& Run,
               const std::function<void(size_t Index, const JobResult&)>& Done,
               const std::function<bool()>& Stop = {});

}  // namespace verselane::workflow
