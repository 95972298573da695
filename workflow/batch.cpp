#include "workflow/batch.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "encoding/text_encoding.h"
#include "lyrics/converters.h"
#include "lyrics/song_info.h"
#include "model/errors.h"
#include "workflow/information.h"
#include "workflow/output_names.h"
#include "workflow/song_files.h"
#include "workflow/words_track.h"
#include "writer/midi_writer.h"

namespace verselane::workflow {

namespace fs = std::filesystem;

namespace {

// A path in one spelling for comparisons: absolute, with "." and ".." and
// symbolic links of its existing part resolved.
std::string SamePathKey(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec) return fs::absolute(path).lexically_normal().string();
    return p.string();
}

// Makes the folder of an output (and the folders above it) once there is
// something to write there.
void MakeFolderOf(const std::string& output) {
    const fs::path folder = fs::path(output).parent_path();
    std::error_code ec;
    if (folder.empty() || fs::is_directory(folder, ec)) return;
    fs::create_directories(folder, ec);
    if (ec)
        Raise(ErrorKind::FileAccess,
              "cannot make the folder " + folder.string() + ": " + ec.message());
}

// The information lines: those typed, in the encoding of the song's words
// (or the request's encoding), the others as the song gives them.
KaraokeInfo InformationFor(const Song& song, const ConversionRequest& request,
                           std::vector<TypedLineNote>& notes) {
    KaraokeInfo info = ProposedInformation(song);
    const std::string encoding =
        request.Encoding.empty() ? DetectEncoding(SongTexts(song)) : request.Encoding;
    struct Typed {
        const char* field;
        const std::optional<std::string>* text;
        std::string* stored;
    };
    const Typed typed[] = {
        {"language", &request.Language, &info.Language},
        {"title", &request.Title, &info.Title},
        {"artist", &request.Artist, &info.Artist},
    };
    for (const auto& [field, text, stored] : typed) {
        if (!*text) continue;
        TypedBytes bytes = TypedText(**text, encoding);
        if (bytes.Replaced > 0 || bytes.DroppedControls > 0) {
            notes.push_back({TypedLineNote::Adjusted,
                             field,
                             static_cast<int>(bytes.Replaced),
                             static_cast<int>(bytes.DroppedControls),
                             bytes.Text,
                             {}});
        }
        if (bytes.KeptUtf8) {
            notes.push_back({TypedLineNote::KeptUtf8, field, 0, 0, bytes.Text, encoding});
        }
        *stored = std::move(bytes.Bytes);
    }
    return info;
}

}  // namespace

std::vector<Job> PlanJobs(const ConversionRequest& Request) {
    // Each input may have its own folder in the output folder (the subfolders
    // of an input folder are kept there); names are asked for in input order.
    size_t i = 0;
    const OutputKind kind = Request.Direction == ConversionDirection::LyricsToKaraoke
                                ? OutputKind::Karaoke
                                : OutputKind::Lyrics;
    return PlanJobs(Request.Inputs, Request.Output, [&](const std::string& input) {
        const std::string& dir =
            i < Request.OutputDirs.size() ? Request.OutputDirs[i] : Request.OutputDir;
        ++i;
        return OutputName(input, kind, dir);
    });
}

std::vector<Job> PlanJobs(const std::vector<std::string>& Inputs, const std::string& Output,
                          const std::function<std::string(const std::string&)>& NameOf) {
    std::vector<Job> jobs;
    for (const std::string& input : Inputs) {
        Job job;
        job.Input = input;
        job.Output = Output.empty() ? NameOf(input) : Output;
        jobs.push_back(job);
    }
    // No output may land on an input (its own or another's: the batch may be
    // reading it at that moment), nor on the output of an earlier input. Each
    // path is resolved once, so a batch of thousands of files stays quick.
    std::map<std::string, std::string> inputs;  // path key -> input
    std::set<std::pair<dev_t, ino_t>> input_files;
    for (const std::string& input : Inputs) {
        inputs.emplace(SamePathKey(input), input);
        if (auto id = FileIdentity(input)) input_files.insert(*id);
    }
    std::map<std::string, std::string> taken;  // output key -> input that writes it
    for (Job& job : jobs) {
        const std::string key = SamePathKey(job.Output);
        auto input = inputs.find(key);
        const std::optional<std::pair<dev_t, ino_t>> id = FileIdentity(job.Output);
        // A missing input fails when it is read, whatever its output.
        if (!FileIdentity(job.Input)) continue;
        if (input != inputs.end() || (id && input_files.count(*id))) {
            job.Problem = PlanProblem::OverInput;
            job.Other = input != inputs.end() ? input->second : std::string();
            continue;
        }
        auto [it, fresh] = taken.emplace(key, job.Input);
        if (!fresh) {
            job.Problem = PlanProblem::OutputTaken;
            job.Other = it->second;
        }
    }
    return jobs;
}

bool ReadJobInput(const Job& Job, bool Force, bool Salvage, Song& Song, SongFacts& Facts,
                  JobResult& Result) {
    if (Job.Problem != PlanProblem::None) {
        Result.Failure = JobFailure::Planned;
        return false;
    }
    std::error_code ec;
    // Only a file is replaced; devices and pipes are written as they are.
    if (!Force && fs::is_regular_file(fs::status(Job.Output, ec))) {
        Result.Failure = JobFailure::OutputExists;
        return false;
    }
    const ReadOutcome read = ReadSong(Song, Facts, Job.Input);
    if (read.Result != ReadResult::Complete) Result.Read = read;
    if (!read.SongUsable()) {
        Result.Failure = JobFailure::Unreadable;
        return false;
    }
    if (read.Result == ReadResult::Partial) {
        // A song read in part is done only when the user asks for it.
        if (!Salvage) {
            Result.Failure = JobFailure::Damaged;
            return false;
        }
        Result.Salvaged = true;
    }
    return true;
}

void WriteJobOutput(const Song& Song, const SongFacts& Read, const Job& Job, bool Force,
                    JobResult& Result) {
    MakeFolderOf(Job.Output);
    // Encoded straight into the file: a big song is never held twice.
    std::optional<WriteFailure> failure =
        WriteSong(Song, Job.Output, Force ? ExistingFile::Replace : ExistingFile::Keep);
    if (failure) {
        Result.Failure = JobFailure::WriteFailed;
        Result.Write = std::move(*failure);
    } else if (std::string lost = NotKeptWarning(Read); !lost.empty()) {
        Result.Warnings.push_back(std::move(lost));
    }
}

JobResult ConvertFile(const ConversionRequest& Request, const Job& Job) {
    JobResult result;
    auto fail = [&](JobFailure failure) {
        result.Failure = failure;
        return result;
    };
    Song song;
    SongFacts facts;
    if (!ReadJobInput(Job, Request.Force, Request.Salvage, song, facts, result)) return result;
    try {
        const int16_t tracks = song.TrackCount();
        int16_t track;
        if (Request.Track) {
            result.Track = *Request.Track;
            if (*Request.Track >= tracks) {
                result.TrackCount = tracks;
                return fail(JobFailure::NoSuchTrack);
            }
            track = static_cast<int16_t>(*Request.Track);
            if (!HoldsMaterial(MaterialOf(song, track), Request.Direction)) {
                // A song with words elsewhere fails: the track named is wrong.
                result.NoWords = WordsTrack(song, Request.Direction) < 0;
                return fail(JobFailure::TrackWithoutWords);
            }
        } else {
            track = WordsTrack(song, Request.Direction);
            result.NoWords = track < 0;
            if (track < 0) return fail(JobFailure::NoWords);
        }
        result.Track = track;
        // Words the song holds in the other form already would be doubled (a
        // song converted before, met again in a folder's batch): nothing to do.
        // Karaoke text counts only in a song with its "@K" line.
        const bool to_karaoke = Request.Direction == ConversionDirection::LyricsToKaraoke;
        const int16_t there = WordsTrack(song, to_karaoke ? ConversionDirection::KaraokeToLyrics
                                                          : ConversionDirection::LyricsToKaraoke);
        if (there >= 0 && (!to_karaoke || HasKaraokeHeader(song))) {
            result.Unchanged = true;
            result.Note =
                std::string(to_karaoke ? "has karaoke text already" : "has lyric events already") +
                " (track " + std::to_string(there) + "); nothing written";
            return result;
        }
        if (Request.Direction == ConversionDirection::LyricsToKaraoke) {
            LyricsToKaraoke(song, track, InformationFor(song, Request, result.TypedLines),
                            Request.KeepLyrics);
        } else {
            KaraokeToLyrics(song, track, !Request.Replace);
        }
        WriteJobOutput(song, facts, Job, Request.Force, result);
    } catch (...) {
        result.Error = CurrentError();
        return fail(JobFailure::Other);
    }
    return result;
}

size_t RunJobs(const std::vector<Job>& Jobs, int Workers,
               const std::function<JobResult(const Job&)>& Run,
               const std::function<void(size_t, const JobResult&)>& Done,
               const std::function<bool()>& Stop) {
    unsigned workers = Workers > 0 ? static_cast<unsigned>(Workers)
                                   : std::max(1u, std::thread::hardware_concurrency());
    workers = std::min<unsigned>(workers, static_cast<unsigned>(Jobs.size()));
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    std::atomic<bool> stopped{false};
    std::mutex report;
    auto work = [&] {
        while (!stopped) {
            const size_t i = next++;
            if (i >= Jobs.size()) return;
            JobResult result;
            try {
                result = Run(Jobs[i]);
            } catch (const std::exception&) {  // anything unforeseen fails this job only
                result = {};
                result.Failure = JobFailure::Unforeseen;
                result.Error = CurrentError();
            }
            std::lock_guard<std::mutex> lock(report);
            ++done;
            if (Done) Done(i, result);
            // Asked under the lock, one at a time, after each job: the jobs
            // running end, no further one starts.
            if (Stop && Stop()) stopped = true;
        }
    };
    std::vector<std::thread> threads;
    for (unsigned w = 1; w < workers; ++w) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    return done;
}

}  // namespace verselane::workflow
