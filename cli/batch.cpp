#include "cli/batch.h"

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <ostream>
#include <utility>

#include "align/lyric_sheet.h"
#include "cli/outcome_text.h"
#include "encoding/text_encoding.h"
#include "model/errors.h"

namespace verselane::cli {

namespace {

const char* MaterialName(ConversionDirection direction) {
    return direction == ConversionDirection::LyricsToKaraoke ? "lyric events"
                                                             : "karaoke text events";
}

}  // namespace

namespace {

// What is damaged, a line for each fault.
std::string DamageLines(const ReadOutcome& Read) {
    std::string text;
    for (const ReadFault& fault : Read.Faults) text += "\n  " + PrintableName(FaultMessage(fault));
    return text;
}

}  // namespace

std::string DamageReport(const ReadOutcome& Read, bool Salvage) {
    return (Salvage ? "damaged; written as far as it could be read (--salvage):"
                    : "damaged; not written (--salvage writes what could be read):") +
           DamageLines(Read);
}

bool ReadWholeSong(const std::string& FileName, Song& Song, SongFacts& Facts, std::ostream& err) {
    const ReadOutcome read = ReadSong(Song, Facts, FileName);
    if (!read.SongUsable()) {
        err << PrintableName(FileName) << ": " << PrintableName(ReadMessage(read)) << "\n";
        return false;
    }
    if (read.Result == ReadResult::Partial) {
        // These commands take no --salvage: "copy --salvage" mends the file first.
        err << PrintableName(FileName)
            << ": damaged; not worked on (verselane-cli copy --salvage writes what could be "
               "read):"
            << DamageLines(read) << "\n";
        return false;
    }
    return true;
}

std::string SongEncodingRefusal(const std::string& Encoding) {
    try {
        TextDecoder check(Encoding);
    } catch (const std::invalid_argument&) {
        return "unknown encoding: " + Encoding;
    }
    if (KeepsAscii(Encoding)) return {};
    return "the encoding " + Encoding +
           " does not write plain letters as single bytes; a song's texts are never in it";
}

void WarnOfWhatIsNotKept(const std::string& Input, const SongFacts& Facts, std::ostream& err) {
    if (const std::string lost = workflow::NotKeptWarning(Facts); !lost.empty())
        err << PrintableName(Input) << ": warning: " << lost << "\n";
}

std::string OutputFileName(const std::string& FileName) {
    return FileName == "-" ? std::string("standard output") : PrintableName(FileName);
}

bool WritesToStandardOutput(const std::string& Output) {
    if (Output == "-") return true;
    struct stat standard_output;
    if (::fstat(STDOUT_FILENO, &standard_output) != 0) return false;
    const auto id = FileIdentity(Output);
    return id && *id == std::make_pair(standard_output.st_dev, standard_output.st_ino);
}

std::string OverwritesInput(const std::string& Output,
                            const std::vector<std::pair<std::string, std::string>>& Inputs) {
    const auto output = FileIdentity(Output);
    if (!output) return {};
    for (const auto& [file, what] : Inputs) {
        if (file.empty() || file == "-") continue;
        if (FileIdentity(file) == output)
            return PrintableName(Output) + ": is the " + what + " being read; name another output";
    }
    return {};
}

std::string TextFileName(const std::string& FileName) {
    return FileName == "-" ? std::string("standard input") : PrintableName(FileName);
}

bool ReadTextFile(const std::string& FileName, std::string_view What, std::string& Bytes,
                  std::ostream& err) {
    auto refuse = [&](const std::string& why) {
        err << TextFileName(FileName) << ": cannot read the " << What << ": " << why << "\n";
        return false;
    };
    // Read in chunks, never beyond one more than the longest sheet.
    auto read_bounded = [&](std::istream& in) {
        Bytes.clear();
        char chunk[1 << 16];
        while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
            Bytes.append(chunk, static_cast<size_t>(in.gcount()));
            if (Bytes.size() > align::kLongestSheetBytes) return false;
        }
        return true;
    };
    const std::string too_long = "longer than " + std::to_string(align::kLongestSheetBytes >> 20) +
                                 " MB, more than any song's words";
    if (FileName == "-") {
        if (!read_bounded(std::cin)) return refuse(too_long);
        if (std::cin.bad())
            return refuse("a read error after " + std::to_string(Bytes.size()) + " bytes");
        return true;
    }
    namespace fs = std::filesystem;
    std::error_code failed;
    const fs::file_status status = fs::status(FileName, failed);
    if (status.type() == fs::file_type::not_found) return refuse("no such file");
    if (fs::is_directory(status)) return refuse("it is a folder");
    // A device would give bytes without end (/dev/zero).
    if (!failed && !fs::is_regular_file(status) && !fs::is_fifo(status))
        return refuse("not a regular file");
    std::ifstream file(FileName, std::ios::binary);
    if (!file) return refuse("not readable");
    if (!read_bounded(file)) return refuse(too_long);
    // The stream ends at a read error as at the file's end: the regular
    // file's length tells them apart.
    const uintmax_t length = fs::is_regular_file(status) ? fs::file_size(FileName, failed) : 0;
    if (file.bad() || (!failed && Bytes.size() < length))
        return refuse("a read error after " + std::to_string(Bytes.size()) + " bytes");
    return true;
}

std::string FailureText(const Job& Job, const JobResult& Result, ConversionDirection Direction) {
    using workflow::JobFailure;
    using workflow::PlanProblem;
    switch (Result.Failure) {
        case JobFailure::None:
            return {};
        case JobFailure::Planned:
            if (Job.Problem == PlanProblem::OverInput) {
                return "the output " + PrintableName(Job.Output) + " would write over the input " +
                       (Job.Other.empty() ? std::string("(a link to it)")
                                          : PrintableName(Job.Other)) +
                       " (inputs are never replaced; use -o or --out-dir)";
            }
            return "the output " + PrintableName(Job.Output) + " is already the output of " +
                   PrintableName(Job.Other);
        case JobFailure::OutputExists:
            return "the output " + PrintableName(Job.Output) +
                   " exists already (--force replaces it)";
        case JobFailure::Unreadable:
            return PrintableName(ReadMessage(Result.Read));
        case JobFailure::Damaged:
            return DamageReport(Result.Read, false);
        case JobFailure::NoSuchTrack:
            return "there is no track " + std::to_string(Result.Track) + " (the song has " +
                   std::to_string(Result.TrackCount) + " tracks, 0 to " +
                   std::to_string(Result.TrackCount - 1) + ")";
        case JobFailure::TrackWithoutWords:
            return "track " + std::to_string(Result.Track) + " holds no " + MaterialName(Direction);
        case JobFailure::NoWords:
            return std::string("no ") + MaterialName(Direction) + " found";
        case JobFailure::WriteFailed:
            return PrintableName(WriteFailureMessage(Result.Write));
        case JobFailure::Other:
            return std::string(kErrorPrefix) + ErrorDescription(Result.Error);
        case JobFailure::Unforeseen:
            break;
    }
    return ErrorDescription(Result.Error);
}

std::vector<std::string> WarningTexts(const JobResult& Result) {
    std::vector<std::string> warnings;
    // Salvaged but not written (no words in what could be read): only damaged.
    if (Result.Salvaged && Result.Succeeded() && !Result.Unchanged)
        warnings.push_back(DamageReport(Result.Read, true));
    else if (Result.Salvaged)
        warnings.push_back("damaged; read as far as it could be:" + DamageLines(Result.Read));
    for (const workflow::TypedLineNote& note : Result.TypedLines) {
        // The text as stored, shown on one line.
        const std::string shown = "\"" + PrintableName(note.Stored) + "\"";
        if (note.What == workflow::TypedLineNote::KeptUtf8) {
            warnings.push_back(shown + " cannot be written in " + note.Encoding +
                               ", the encoding of the song's words: written as UTF-8");
            continue;
        }
        std::string what;
        if (note.Replaced > 0) {
            what = std::to_string(note.Replaced) +
                   (note.Replaced == 1 ? " byte that is" : " bytes that are") +
                   " not UTF-8 replaced by U+FFFD";
        }
        if (note.DroppedControls > 0) {
            what += (what.empty() ? "" : ", ") + std::to_string(note.DroppedControls) +
                    (note.DroppedControls == 1 ? " control character" : " control characters") +
                    " left out";
        }
        warnings.push_back("--" + std::string(note.Field) + ": " + what + "; written as " + shown);
    }
    warnings.insert(warnings.end(), Result.Warnings.begin(), Result.Warnings.end());
    return warnings;
}

int RunJobs(const std::vector<Job>& Jobs, int Workers,
            const std::function<JobResult(const Job&)>& Run, std::ostream& out, std::ostream& err,
            BatchProgress* Progress, ConversionDirection Direction) {
    if (Progress) Progress->Start(Jobs.size());
    // With the songs on standard output, the report of each success goes to
    // the error stream.
    const bool to_stdout = std::ranges::any_of(
        Jobs, [](const Job& job) { return WritesToStandardOutput(job.Output); });
    std::ostream& done = to_stdout ? err : out;
    int failures = 0;
    auto report = [&](size_t i, const JobResult& result) {
        const std::string input = PrintableName(Jobs[i].Input);
        for (const std::string& warning : WarningTexts(result)) {
            err << input << ": warning: " << warning << "\n";
        }
        if (result.Succeeded() && result.Unchanged) {
            done << input << ": " << result.Note << "\n";
        } else if (result.Succeeded()) {
            done << input << " -> " << PrintableName(Jobs[i].Output) << " ("
                 << (result.Note.empty() ? "track " + std::to_string(result.Track) : result.Note)
                 << (result.Salvaged ? ", salvaged from a damaged file" : "") << ")\n";
        } else {
            failures += !result.NoWords;
            err << input << ": " << FailureText(Jobs[i], result, Direction) << "\n";
        }
    };
    // Jobs end in any order on several workers; their lines come in the
    // order of the inputs, so that two runs print the same. A result waits
    // only while a job before it still runs.
    std::map<size_t, JobResult> waiting;
    size_t next = 0;
    workflow::RunJobs(Jobs, Workers, Run, [&](size_t i, const JobResult& result) {
        if (Progress) Progress->Done(result);
        waiting.emplace(i, result);
        for (auto it = waiting.begin(); it != waiting.end() && it->first == next;
             it = waiting.erase(it), ++next) {
            report(it->first, it->second);
        }
    });
    out.flush();
    if (Progress) Progress->Finish();
    return failures;
}

}  // namespace verselane::cli
