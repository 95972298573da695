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
    std::vector<Job> jobs;
    for (const std::string& input : Command.Inputs) {
        Job job;
        job.Input = input;
        job.Output = Command.Output.empty()
                         ? DefaultOutputName(input, Command.Direction, Command.OutputDir)
                         : Command.Output;
        jobs.push_back(job);
    }
    // No output may land on an input (its own or another's: the batch may be
    // reading it at that moment), nor on the output of an earlier input. Each
    // path is resolved once, so a batch of thousands of files stays quick.
    std::map<std::string, std::string> inputs;  // path key -> input
    std::set<std::pair<dev_t, ino_t>> input_files;
    for (const std::string& input : Command.Inputs) {
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
            job.Problem = "the output " + job.Output + " would write over the input " +
                          (input != inputs.end() ? input->second : std::string("(a link to it)")) +
                          " (inputs are never replaced; use -o or --out-dir)";
            continue;
        }
        auto [it, fresh] = taken.emplace(key, job.Input);
        if (!fresh) {
            job.Problem = "the output " + job.Output + " is already the output of " + it->second;
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

JobResult ConvertFile(const ConvertCommand& Command, const Job& Job) {
    JobResult result;
    auto fail = [&](std::string problem) {
        result.Problem = std::move(problem);
        return result;
    };
    if (!Job.Problem.empty()) return fail(Job.Problem);
    std::error_code ec;
    // Only a file is replaced; devices and pipes are written as they are.
    if (!Command.Force && fs::is_regular_file(fs::status(Job.Output, ec))) {
        return fail("the output " + Job.Output + " exists already (--force replaces it)");
    }
    MidiFile song;
    ResetMidiFile(song);
    const ReadOutcome read = ReadMidiFile(song, Job.Input);
    if (!read.SongUsable()) return fail(PrintableName(read.Message()));
    if (read.Result == ReadResult::Partial) {
        // A song read in part converts only when the user asks for it.
        if (!Command.Salvage) return fail(DamageReport(read, false));
        result.Warnings.push_back(DamageReport(read, true));
        result.Salvaged = true;
    }
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
                return fail("track " + std::to_string(track) + " holds no " +
                            MaterialName(Command.Direction));
            }
        } else {
            track = ChooseSourceTrack(song, Command.Direction);
            if (track < 0)
                return fail(std::string("no ") + MaterialName(Command.Direction) + " found");
        }
        result.Track = track;
        if (Command.Direction == ConversionDirection::LyricsToKaraoke) {
            LyricsToKaraoke(song, track, Command.Info);
        } else {
            KaraokeToLyrics(song, track, 0, !Command.Replace);
        }
        // Encoded straight into the file: a big song is never held twice.
        const std::string written = WriteMidiFile(
            song, Job.Output, Command.Force ? ExistingFile::Replace : ExistingFile::Keep);
        if (!written.empty()) return fail(PrintableName(written));
    } catch (...) {
        return fail(CurrentErrorMessage());
    }
    return result;
}

int RunBatch(const ConvertCommand& Command, std::ostream& out, std::ostream& err) {
    const std::vector<Job> jobs = PlanJobs(Command);
    if (jobs.size() > 1) {
        // One song after another takes and frees the same few megabytes: keep
        // them in the process instead of handing them back to the system and
        // faulting them in again for the next song.
        ::mallopt(M_MMAP_THRESHOLD, 64 << 20);
        ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
    }
    if (!Command.OutputDir.empty()) {
        std::error_code ec;
        fs::create_directories(Command.OutputDir, ec);
        if (ec) {
            err << "verselane-cli: cannot make the folder " << PrintableName(Command.OutputDir)
                << ": " << ec.message() << "\n";
            return static_cast<int>(jobs.size());
        }
    }
    unsigned workers = Command.Jobs > 0 ? static_cast<unsigned>(Command.Jobs)
                                        : std::max(1u, std::thread::hardware_concurrency());
    workers = std::min<unsigned>(workers, static_cast<unsigned>(jobs.size()));

    // With the song on standard output, the report of each success goes to
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
    int salvaged = 0;
    std::mutex report;
    auto work = [&] {
        for (size_t i = next++; i < jobs.size(); i = next++) {
            JobResult result;
            try {
                result = ConvertFile(Command, jobs[i]);
            } catch (const std::exception& e) {  // anything unforeseen fails this file only
                result.Problem = e.what();
            }
            std::lock_guard<std::mutex> lock(report);
            const std::string input = PrintableName(jobs[i].Input);
            for (const std::string& warning : result.Warnings) {
                err << input << ": warning: " << warning << "\n";
            }
            if (result.Problem.empty()) {
                salvaged += result.Salvaged;
                done << input << " -> " << PrintableName(jobs[i].Output) << " (track "
                     << result.Track << (result.Salvaged ? ", salvaged from a damaged file" : "")
                     << ")\n";
            } else {
                ++failures;
                err << input << ": " << result.Problem << "\n";
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned w = 1; w < workers; ++w) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    if (salvaged > 0) {
        done << salvaged << " of " << jobs.size()
             << " files were damaged and converted only as far as they could be read\n";
    }
    out.flush();
    return failures;
}

}  // namespace verselane::cli
