#include "cli/check_commands.h"

#include <filesystem>
#include <map>
#include <ostream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "cli/batch.h"
#include "cli/inputs.h"
#include "cli/outcome_text.h"
#include "encoding/song_recoding.h"
#include "encoding/text_encoding.h"
#include "lyrics/sung_lines.h"
#include "model/errors.h"
#include "reader/midi_reader.h"

namespace verselane::cli {

namespace {

// Keys stay in the order they are put, the file's name first.
using json = nlohmann::ordered_json;

// When a finding falls, in seconds by the tempo of its track.
double SecondsOf(const Song& song, const Finding& f) {
    return TempoMap(song, static_cast<int16_t>(f.Track)).Seconds(f.Time);
}

std::string Where(const Song& song, const Finding& f) {
    if (f.Track < 0) return "song";
    std::string where = "track " + std::to_string(f.Track);
    if (f.Event >= 0) {
        where += " event " + std::to_string(f.Event) + " at " + FormatTimestamp(SecondsOf(song, f));
    }
    return where;
}

std::string Hex(std::string_view bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        out += kDigits[u >> 4];
        out += kDigits[u & 15];
    }
    return out;
}

// A file's name for JSON: the name itself when it is UTF-8; otherwise the
// name with U+FFFD for each byte that is not UTF-8 (which the output's
// replacing dump does) and, beside it, the exact bytes in hexadecimal.
void PutFileName(json& entry, const std::string& file) {
    entry["file"] = file;
    try {
        (void)json(file).dump();
    } catch (const json::type_error&) {
        entry["file_hex"] = Hex(file);
    }
}

json FindingJson(const Song& song, const Finding& f) {
    json entry = {{"id", std::string(FindingIdText(f.Id))},
                  {"level", std::string(SeverityName(f.Level))},
                  {"players", std::string(FamilyName(f.Family))},
                  {"track", f.Track},
                  {"event", f.Event},
                  {"tick", f.Time}};
    if (f.Time >= 0) entry["seconds"] = SecondsOf(song, f);
    entry["text"] = FindingText(f);
    entry["repair"] = f.Fix == Repair::None ? json(nullptr) : json(std::string(RepairName(f.Fix)));
    return entry;
}

// What is told of a damaged song, then what is damaged, one line each.
std::string DamageLines(const ReadOutcome& read, std::string_view what) {
    std::string text(what);
    for (const ReadFault& fault : read.Faults) text += "\n  " + PrintableName(FaultMessage(fault));
    return text;
}

const char* ReadName(ReadResult result) {
    switch (result) {
        case ReadResult::Complete:
            return "complete";
        case ReadResult::Partial:
            return "partial";
        case ReadResult::Failed:
            break;
    }
    return "failed";
}

}  // namespace

std::vector<std::string> RepairSong(Song& Song, PlayerFamily For, const std::string& Encoding) {
    std::vector<std::string> made;
    auto wanted = [&](Repair fix) {
        for (const Finding& f : FindingsFor(CheckSong(Song, Utf8TestFor(Song)), For)) {
            if (f.Fix == fix) return true;
        }
        return false;
    };
    if (wanted(Repair::RemoveNul) && RemoveNulBytes(Song)) made.emplace_back("remove-nul");
    bool mixed = false;
    for (const Finding& f : CheckSong(Song, Utf8TestFor(Song)))
        mixed = mixed || f.Id == FindingId::MixedEncodings;
    if (!Encoding.empty() || mixed) {
        const std::string target = Encoding.empty() ? "UTF-8" : Encoding;
        const RecodeOutcome recoded = RecodeSongTexts(Song, target);
        // A recoding that would change the words is refused, and the song not written.
        if (!recoded.Refused.empty()) {
            Raise(ErrorKind::InvalidArgument, "the words cannot be put into " + target +
                                                  " unchanged: " + PrintableName(recoded.Refused));
        }
        if (recoded.Changed > 0) made.emplace_back("one-encoding");
        // What the target encoding cannot hold stays as it was, and says so.
        if (recoded.Kept > 0) {
            made.push_back("(" + std::to_string(recoded.Kept) + " texts left: not convertible)");
        }
    }
    for (Repair fix : {Repair::MakeFormat1, Repair::MoveKaraokeHeader, Repair::NameWordsTrack,
                       Repair::DropDuplicate, Repair::JoinSplitWords, Repair::AddWordGaps,
                       Repair::AddLineEnds, Repair::SplitLongLines}) {
        if (wanted(fix) && ApplyRepair(Song, fix, For)) made.emplace_back(RepairName(fix));
    }
    return made;
}

std::string FixedOutputName(const std::string& Input, const std::string& OutputDir) {
    return workflow::OutputName(Input, workflow::OutputKind::Fixed, OutputDir);
}

namespace {

// The JSON object of one file read: how it was read, whether it was checked
// and fails, why not, what is damaged, and its findings.
json CheckedFileJson(const std::string& file, const ReadOutcome& outcome, const Song& song,
                     const std::vector<Finding>& findings, bool checked, bool failed) {
    json entry;
    PutFileName(entry, file);
    entry.update({{"read", ReadName(outcome.Result)}, {"checked", checked}, {"failed", failed}});
    if (outcome.Result == ReadResult::Failed) entry["error"] = ReadMessage(outcome);
    // A damaged song checked with --salvage is no error, but its damage is
    // told all the same.
    if (outcome.Result == ReadResult::Partial && !checked) {
        entry["error"] = "damaged; not checked (--salvage checks what could be read)";
    }
    if (outcome.Result == ReadResult::Partial) {
        json damage = json::array();
        for (const ReadFault& fault : outcome.Faults) damage.push_back(FaultMessage(fault));
        entry["damage"] = damage;
    }
    entry["findings"] = json::array();
    for (const Finding& f : findings) entry["findings"].push_back(FindingJson(song, f));
    return entry;
}

}  // namespace

int RunCheck(const CheckCommand& Command, std::ostream& out, std::ostream& err) {
    std::map<Severity, int> counts;
    int at_level = 0;     // files with a finding at --level or worse
    int not_checked = 0;  // files not read whole (without --salvage) or at all, empty folders
    int checked = 0;
    json report = json::array();
    const SongInputs songs = ExpandInputs(Command.Files, Command.Recursive);
    // Folders without songs are told among the files, in the order named.
    size_t next_problem = 0;
    auto tell_problems = [&](size_t files_before) {
        for (; next_problem < songs.Problems.size() &&
               songs.Problems[next_problem].Before <= files_before;
             ++next_problem) {
            const SongInputs::Problem& problem = songs.Problems[next_problem];
            const std::string message = InputProblemText(problem, Command.Recursive);
            err << PrintableName(message) << "\n";
            ++not_checked;
            json entry;
            PutFileName(entry, problem.Input);
            entry.update({{"read", "failed"},
                          {"checked", false},
                          {"failed", true},
                          {"error", message},
                          {"findings", json::array()}});
            report.push_back(std::move(entry));
        }
    };
    for (size_t n = 0; n < songs.Files.size(); ++n) {
        tell_problems(n);
        const std::string& file = songs.Files[n];
        Song song;
        SongFacts facts;
        const ReadOutcome outcome = ReadSong(song, facts, file);
        const std::string name = PrintableName(file);
        // A song read only in part is checked only on request: its findings
        // would be about what is left, not about the song.
        const bool check = outcome.Result == ReadResult::Complete ||
                           (outcome.Result == ReadResult::Partial && Command.Salvage);
        if (!outcome.SongUsable()) {
            err << name << ": " << PrintableName(ReadMessage(outcome)) << "\n";
        } else if (outcome.Result == ReadResult::Partial) {
            err << name << ": "
                << DamageLines(outcome,
                               Command.Salvage
                                   ? "warning: damaged; checked as far as it could be read "
                                     "(--salvage):"
                                   : "damaged; not checked (--salvage checks what could be read):")
                << "\n";
        }
        std::vector<Finding> findings;
        if (check) findings = FindingsFor(CheckSong(song, Utf8TestFor(song)), Command.For);
        bool fails = false;
        for (const Finding& f : findings) {
            ++counts[f.Level];
            fails = fails || f.Level >= Command.Level;
        }
        checked += check;
        not_checked += !check;
        at_level += fails;
        if (Command.Json) {
            report.push_back(
                CheckedFileJson(file, outcome, song, findings, check, fails || !check));
            continue;
        }
        for (const Finding& f : findings) {
            out << name << ": " << SeverityName(f.Level) << ": " << FamilyName(f.Family) << ": "
                << Where(song, f) << ": " << FindingIdText(f.Id) << ": "
                << Printable(FindingText(f));
            if (f.Fix != Repair::None) out << " [repair: " << RepairName(f.Fix) << "]";
            out << "\n";
        }
    }
    tell_problems(songs.Files.size());
    if (Command.Json) {
        // ASCII only: valid whatever the bytes of names and texts, and safe on
        // a terminal (control characters are escaped).
        out << report.dump(2, ' ', true, json::error_handler_t::replace) << "\n";
    } else {
        out << checked << (checked == 1 ? " file" : " files")
            << " checked: " << counts[Severity::WillNotShow] << " will not show, "
            << counts[Severity::ShowsWrong] << " shows wrong, " << counts[Severity::Advice]
            << " advice; " << at_level << " at \"" << SeverityName(Command.Level) << "\" or worse";
        if (not_checked > 0) out << "; " << not_checked << " not checked (damaged or unreadable)";
        out << "\n";
    }
    return at_level + not_checked > 0 ? 1 : 0;
}

int RunFix(const FixCommand& Command, std::ostream& out, std::ostream& err, std::ostream& terminal,
           bool Terminal) {
    if (!Command.Encoding.empty()) {
        if (const std::string refusal = SongEncodingRefusal(Command.Encoding); !refusal.empty()) {
            err << "verselane-cli: " << refusal << "\n";
            return 2;
        }
    }
    auto fix = [&](const Job& job) {
        JobResult result;
        Song song;
        SongFacts facts;
        // An existing output matters only when there is something to write.
        if (!ReadJobInput(job, true, Command.Salvage, song, facts, result)) return result;
        try {
            const std::vector<std::string> made = RepairSong(song, Command.For, Command.Encoding);
            // A song read in part is written whole, every track closed, even
            // when its words need no repair.
            if (made.empty() && !result.Salvaged) {
                result.Note = "nothing to repair; nothing written";
                result.Unchanged = true;
                return result;
            }
            std::error_code ec;
            if (!Command.Force && std::filesystem::is_regular_file(job.Output, ec)) {
                result.Failure = workflow::JobFailure::OutputExists;
                return result;
            }
            result.Note = made.empty() ? "no repair of the words" : "repaired:";
            for (const std::string& name : made) result.Note += " " + name;
            WriteJobOutput(song, facts, job, Command.Force, result);
        } catch (const RuntimeError&) {
            result.Failure = workflow::JobFailure::Other;
            result.Error = CurrentError();
        }
        return result;
    };
    return RunBatchCommand(BatchOf(Command, BatchKind::Repair), FixedOutputName, fix, out, err,
                           terminal, Terminal);
}

}  // namespace verselane::cli
