#include "cli/batch.h"

#include <fcntl.h>
#include <malloc.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <ostream>
#include <set>
#include <thread>
#include <utility>

#include "encoding/text_encoding.h"
#include "lyrics/song_info.h"
#include "model/errors.h"
#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

namespace verselane::cli {

namespace fs = std::filesystem;

std::optional<std::pair<dev_t, ino_t>> FileIdentity(const std::string& Path) {
    struct stat st;
    if (::stat(Path.c_str(), &st) != 0) return std::nullopt;
    return std::make_pair(st.st_dev, st.st_ino);
}

namespace {

// A path in one spelling for comparisons: absolute, with "." and ".." and
// symbolic links of its existing part resolved.
std::string SamePathKey(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec) return fs::absolute(path).lexically_normal().string();
    return p.string();
}

// Makes the folder of an output in --out-dir (and the folders above it) once
// there is something to write there.
void MakeFolderOf(const std::string& output) {
    const fs::path folder = fs::path(output).parent_path();
    std::error_code ec;
    if (folder.empty() || fs::is_directory(folder, ec)) return;
    fs::create_directories(folder, ec);
    if (ec)
        Raise(ErrorKind::FileAccess,
              "cannot make the folder " + folder.string() + ": " + ec.message());
}

const char* MaterialName(ConversionDirection direction) {
    return direction == ConversionDirection::LyricsToKaraoke ? "lyric events"
                                                             : "karaoke text events";
}

}  // namespace

std::string DefaultOutputName(const std::string& Input, ConversionDirection Direction,
                              const std::string& OutputDir) {
    fs::path in(Input);
    std::string name = in.stem().string();
    name += Direction == ConversionDirection::LyricsToKaraoke ? ".kar" : ".lyrics.mid";
    fs::path dir = OutputDir.empty() ? in.parent_path() : fs::path(OutputDir);
    return (dir / name).string();
}

std::vector<Job> PlanJobs(const ConvertCommand& Command) {
    // Each input may have its own folder in --out-dir (the subfolders of an
    // input folder are kept there); names are asked for in input order.
    size_t i = 0;
    return PlanJobs(Command.Inputs, Command.Output, [&](const std::string& input) {
        const std::string& dir =
            i < Command.OutputDirs.size() ? Command.OutputDirs[i] : Command.OutputDir;
        ++i;
        return DefaultOutputName(input, Command.Direction, dir);
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
            job.Problem = "the output " + PrintableName(job.Output) +
                          " would write over the input " +
                          (input != inputs.end() ? PrintableName(input->second)
                                                 : std::string("(a link to it)")) +
                          " (inputs are never replaced; use -o or --out-dir)";
            continue;
        }
        auto [it, fresh] = taken.emplace(key, job.Input);
        if (!fresh) {
            job.Problem = "the output " + PrintableName(job.Output) + " is already the output of " +
                          PrintableName(it->second);
        }
    }
    return jobs;
}

std::string DamageReport(const ReadOutcome& Read, bool Salvage) {
    std::string text = Salvage ? "damaged; written as far as it could be read (--salvage):"
                               : "damaged; not written (--salvage writes what could be read):";
    for (const std::string& message : Read.Messages) text += "\n  " + PrintableName(message);
    return text;
}

namespace {

// The information lines: those typed, in the encoding of the song's words
// (or --encoding), the others as the song gives them.
KaraokeInfo InformationFor(const MidiFile& song, const ConvertCommand& Command,
                           std::vector<std::string>& warnings) {
    KaraokeInfo info = SongKaraokeInfo(song);
    if (info.Language.empty()) info.Language = "ENGL";
    const std::string encoding =
        Command.Encoding.empty() ? DetectEncoding(SongTexts(song)) : Command.Encoding;
    struct Typed {
        const char* option;
        const std::optional<std::string>* text;
        std::string* field;
    };
    const Typed typed[] = {
        {"--language", &Command.Language, &info.Language},
        {"--title", &Command.Title, &info.Title},
        {"--artist", &Command.Artist, &info.Artist},
    };
    for (const auto& [option, text, field] : typed) {
        if (!*text) continue;
        TypedBytes bytes = TypedText(**text, encoding);
        // The text as stored, shown on one line.
        const std::string shown = "\"" + PrintableName(bytes.Text) + "\"";
        if (bytes.Replaced > 0 || bytes.DroppedControls > 0) {
            std::string what;
            if (bytes.Replaced > 0) {
                what = std::to_string(bytes.Replaced) +
                       (bytes.Replaced == 1 ? " byte that is" : " bytes that are") +
                       " not UTF-8 replaced by U+FFFD";
            }
            if (bytes.DroppedControls > 0) {
                what +=
                    (what.empty() ? "" : ", ") + std::to_string(bytes.DroppedControls) +
                    (bytes.DroppedControls == 1 ? " control character" : " control characters") +
                    " left out";
            }
            warnings.push_back(std::string(option) + ": " + what + "; written as " + shown);
        }
        if (bytes.KeptUtf8) {
            warnings.push_back(shown + " cannot be written in " + encoding +
                               ", the encoding of the song's words: written as UTF-8");
        }
        *field = std::move(bytes.Bytes);
    }
    return info;
}

}  // namespace

bool ReadJobInput(const Job& Job, bool Force, bool Salvage, MidiFile& Song, JobResult& Result) {
    if (!Job.Problem.empty()) {
        Result.Problem = Job.Problem;
        return false;
    }
    std::error_code ec;
    // Only a file is replaced; devices and pipes are written as they are.
    if (!Force && fs::is_regular_file(fs::status(Job.Output, ec))) {
        Result.Problem =
            "the output " + PrintableName(Job.Output) + " exists already (--force replaces it)";
        return false;
    }
    ResetMidiFile(Song);
    const ReadOutcome read = ReadMidiFile(Song, Job.Input);
    if (read.Result != ReadResult::Complete) Result.Read = read;
    if (!read.SongUsable()) {
        Result.Problem = PrintableName(read.Message());
        return false;
    }
    if (read.Result == ReadResult::Partial) {
        // A song read in part converts only when the user asks for it.
        if (!Salvage) {
            Result.Problem = DamageReport(read, false);
            return false;
        }
        Result.Warnings.push_back(DamageReport(read, true));
        Result.Salvaged = true;
    }
    return true;
}

void WriteJobOutput(const MidiFile& Song, const Job& Job, bool Force, JobResult& Result) {
    MakeFolderOf(Job.Output);
    // Encoded straight into the file: a big song is never held twice.
    Result.Problem = PrintableName(
        WriteMidiFile(Song, Job.Output, Force ? ExistingFile::Replace : ExistingFile::Keep));
}

JobResult ConvertFile(const ConvertCommand& Command, const Job& Job) {
    JobResult result;
    auto fail = [&](std::string problem) {
        result.Problem = std::move(problem);
        return result;
    };
    MidiFile song;
    if (!ReadJobInput(Job, Command.Force, Command.Salvage, song, result)) return result;
    try {
        const int16_t tracks = RealTrackCount(song);
        int16_t track;
        if (Command.Track) {
            if (*Command.Track >= tracks) {
                return fail("there is no track " + std::to_string(*Command.Track) +
                            " (the song has " + std::to_string(tracks) + " tracks, 0 to " +
                            std::to_string(tracks - 1) + ")");
            }
            track = static_cast<int16_t>(*Command.Track);
            if (!HoldsMaterial(MaterialOf(song, track), Command.Direction)) {
                // A song with words elsewhere fails: the track named is wrong.
                result.NoWords = ChooseSourceTrack(song, Command.Direction) < 0;
                return fail("track " + std::to_string(track) + " holds no " +
                            MaterialName(Command.Direction));
            }
        } else {
            track = ChooseSourceTrack(song, Command.Direction);
            result.NoWords = track < 0;
            if (track < 0)
                return fail(std::string("no ") + MaterialName(Command.Direction) + " found");
        }
        result.Track = track;
        if (Command.Direction == ConversionDirection::LyricsToKaraoke) {
            LyricsToKaraoke(song, track, InformationFor(song, Command, result.Warnings),
                            Command.KeepLyrics);
        } else {
            KaraokeToLyrics(song, track, !Command.Replace);
        }
        WriteJobOutput(song, Job, Command.Force, result);
    } catch (...) {
        return fail(CurrentErrorMessage());
    }
    return result;
}

int RunJobs(const std::vector<Job>& jobs, int Workers,
            const std::function<JobResult(const Job&)>& Run, std::ostream& out, std::ostream& err,
            BatchProgress* Progress) {
    if (Progress) Progress->Start(jobs.size());
    if (jobs.size() > 1) {
        // One song after another takes and frees the same few megabytes: keep
        // them in the process instead of handing them back to the system and
        // faulting them in again for the next song.
        ::mallopt(M_MMAP_THRESHOLD, 64 << 20);
        ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
    }
    unsigned workers = Workers > 0 ? static_cast<unsigned>(Workers)
                                   : std::max(1u, std::thread::hardware_concurrency());
    workers = std::min<unsigned>(workers, static_cast<unsigned>(jobs.size()));

    // With the songs on standard output, the report of each success goes to
    // the error stream.
    bool to_stdout = false;
    struct stat standard_output;
    const bool known = ::fstat(STDOUT_FILENO, &standard_output) == 0;
    for (const Job& job : jobs) {
        const auto id = FileIdentity(job.Output);
        to_stdout |=
            job.Output == "-" ||
            (known && id && *id == std::make_pair(standard_output.st_dev, standard_output.st_ino));
    }
    std::ostream& done = to_stdout ? err : out;
    std::atomic<size_t> next{0};
    std::atomic<int> failures{0};
    std::mutex report;
    auto work = [&] {
        for (size_t i = next++; i < jobs.size(); i = next++) {
            JobResult result;
            try {
                result = Run(jobs[i]);
            } catch (const std::exception& e) {  // anything unforeseen fails this file only
                result.Problem = e.what();
            }
            std::lock_guard<std::mutex> lock(report);
            const std::string input = PrintableName(jobs[i].Input);
            for (const std::string& warning : result.Warnings) {
                err << input << ": warning: " << warning << "\n";
            }
            if (result.Problem.empty() && result.Unchanged) {
                done << input << ": " << result.Note << "\n";
            } else if (result.Problem.empty()) {
                done << input << " -> " << PrintableName(jobs[i].Output) << " ("
                     << (result.Note.empty() ? "track " + std::to_string(result.Track)
                                             : result.Note)
                     << (result.Salvaged ? ", salvaged from a damaged file" : "") << ")\n";
            } else {
                failures += !result.NoWords;
                err << input << ": " << result.Problem << "\n";
            }
            if (Progress) Progress->Done(result);
        }
    };
    std::vector<std::thread> threads;
    for (unsigned w = 1; w < workers; ++w) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    out.flush();
    if (Progress) Progress->Finish();
    return failures;
}

}  // namespace verselane::cli
