#include "cli/batch.h"

#include <fcntl.h>
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
#include <ostream>
#include <thread>

#include "model/errors.h"
#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

namespace verselane::cli {

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

bool SameFile(const std::string& a, const std::string& b) {
    if (SamePathKey(a) == SamePathKey(b)) return true;
    std::error_code ec;
    return fs::equivalent(a, b, ec);  // hard links; false when either is missing
}

[[noreturn]] void RaiseWriteError(int err, const std::string& file) {
    Raise(ErrorKind::FileAccess, file + ": " + std::strerror(err));
}

// Reader messages after which the song was still read (in part): the
// conversion goes on and the message becomes a warning.
bool IsReadWarning(const std::string& message) {
    return message.rfind("File is cut short", 0) == 0 ||
           message.rfind("Failed to find MTrk", 0) == 0;
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
    // reading it at that moment), nor on the output of an earlier input.
    std::map<std::string, std::string> taken;  // output key -> input that writes it
    for (Job& job : jobs) {
        for (const std::string& input : Command.Inputs) {
            if (SameFile(job.Output, input)) {
                job.Problem = "the output " + job.Output + " would write over the input " + input +
                              " (inputs are never replaced; use -o or --out-dir)";
                break;
            }
        }
        if (!job.Problem.empty()) continue;
        const std::string key = SamePathKey(job.Output);
        auto [it, fresh] = taken.emplace(key, job.Input);
        if (!fresh) {
            job.Problem = "the output " + job.Output + " is already the output of " + it->second;
        }
    }
    return jobs;
}

void WriteNewFile(const std::string& FileName, const std::string& Bytes) {
    fs::path target(FileName);
    fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    // A hidden temporary file beside the target, made with the usual
    // permissions (0666 less the umask).
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = (dir / (".verselane-" + std::to_string(::getpid()) + "-" +
                       std::to_string(counter++) + ".tmp"))
                   .string();
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt > 100)) RaiseWriteError(errno, FileName);
    }
    auto fail = [&](int err) {
        if (fd >= 0) ::close(fd);
        ::unlink(temp.c_str());
        RaiseWriteError(err, FileName);
    };
    size_t done = 0;
    while (done < Bytes.size()) {
        ssize_t n = ::write(fd, Bytes.data() + done, Bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) fail(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) fail(errno);
    // Put in place only if nothing is there: atomic, so a file that appears
    // meanwhile is not replaced either.
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, FileName.c_str(), RENAME_NOREPLACE) == 0) {
        return;
    }
    int err = errno;
    if (err == EINVAL || err == ENOSYS) {  // a file system without it: a hard link does the same
        if (::link(temp.c_str(), FileName.c_str()) == 0) {
            ::unlink(temp.c_str());
            return;
        }
        err = errno;
    }
    if (err == EEXIST) {
        ::unlink(temp.c_str());
        Raise(ErrorKind::FileAccess, FileName + " exists already (--force replaces it)");
    }
    fail(err);
}

std::string ConvertFile(const ConvertCommand& Command, const Job& Job, std::string& Notes) {
    if (!Job.Problem.empty()) return Job.Problem;
    std::error_code ec;
    if (!Command.Force && fs::exists(fs::symlink_status(Job.Output, ec))) {
        return "the output " + Job.Output + " exists already (--force replaces it)";
    }
    MidiFile song;
    ResetMidiFile(song);
    std::string message = ReadMidiFile(song, Job.Input);
    if (!message.empty()) {
        if (!IsReadWarning(message)) return message;
        Notes += "warning: " + message + " (converting what could be read)\n";
    }
    try {
        const int16_t tracks = RealTrackCount(song);
        int16_t track;
        if (Command.Track) {
            if (*Command.Track >= tracks) {
                return "there is no track " + std::to_string(*Command.Track) + " (the song has " +
                       std::to_string(tracks) + " tracks, 0 to " + std::to_string(tracks - 1) + ")";
            }
            track = static_cast<int16_t>(*Command.Track);
            if (!HoldsMaterial(MaterialOf(song, track), Command.Direction)) {
                return "track " + std::to_string(track) + " holds no " +
                       MaterialName(Command.Direction);
            }
        } else {
            track = ChooseSourceTrack(song, Command.Direction);
            if (track < 0) return std::string("no ") + MaterialName(Command.Direction) + " found";
        }
        Notes += "track " + std::to_string(track);
        if (Command.Direction == ConversionDirection::LyricsToKaraoke) {
            LyricsToKaraoke(song, track, Command.Info);
        } else {
            KaraokeToLyrics(song, track, 0, !Command.Replace);
        }
        const std::string bytes = EncodeMidiFile(song);
        if (Command.Force) {
            ReplaceFileContents(Job.Output, bytes);
        } else {
            WriteNewFile(Job.Output, bytes);
        }
    } catch (const RuntimeError& e) {
        return std::string(kErrorPrefix) + e.what();
    } catch (const std::bad_alloc&) {
        return std::string(kErrorPrefix) + ErrorKindText(ErrorKind::OutOfMemory);
    }
    return {};
}

int RunBatch(const ConvertCommand& Command, std::ostream& out, std::ostream& err) {
    const std::vector<Job> jobs = PlanJobs(Command);
    if (!Command.OutputDir.empty()) {
        std::error_code ec;
        fs::create_directories(Command.OutputDir, ec);  // a failure shows in every job's write
    }
    unsigned workers = Command.Jobs > 0 ? static_cast<unsigned>(Command.Jobs)
                                        : std::max(1u, std::thread::hardware_concurrency());
    workers = std::min<unsigned>(workers, static_cast<unsigned>(jobs.size()));

    std::atomic<size_t> next{0};
    std::atomic<int> failures{0};
    std::mutex report;
    auto work = [&] {
        for (size_t i = next++; i < jobs.size(); i = next++) {
            std::string notes;
            std::string problem;
            try {
                problem = ConvertFile(Command, jobs[i], notes);
            } catch (const std::exception& e) {  // anything unforeseen fails this file only
                problem = e.what();
            }
            std::lock_guard<std::mutex> lock(report);
            size_t start = 0;
            // Warnings first, each with the file's name.
            for (size_t end; (end = notes.find('\n', start)) != std::string::npos;
                 start = end + 1) {
                err << jobs[i].Input << ": " << notes.substr(start, end - start) << "\n";
            }
            if (problem.empty()) {
                out << jobs[i].Input << " -> " << jobs[i].Output << " (" << notes.substr(start)
                    << ")\n";
            } else {
                ++failures;
                err << jobs[i].Input << ": " << problem << "\n";
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned w = 1; w < workers; ++w) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    out.flush();
    return failures;
}

}  // namespace verselane::cli
