#include "cli/check_commands.h"

#include <filesystem>
#include <map>
#include <ostream>
#include <stdexcept>

#include "cli/batch.h"
#include "encoding/song_recoding.h"
#include "encoding/text_encoding.h"
#include "lyrics/sung_lines.h"
#include "model/errors.h"
#include "reader/midi_reader.h"

namespace verselane::cli {

namespace {

std::string Json(std::string_view text) {
    std::string out = "\"";
    for (char c : Printable(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n' || c == '\t') {
            out += c == '\n' ? "\\n" : "\\t";
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Where(const MidiFile& song, const Finding& f) {
    if (f.Track < 0) return "song";
    std::string where = "track " + std::to_string(f.Track);
    if (f.Event >= 0) {
        where += " event " + std::to_string(f.Event) + " at " +
                 FormatTimestamp(TempoMap(song, static_cast<int16_t>(f.Track)).Seconds(f.Time));
    }
    return where;
}

void PrintJson(std::ostream& out, const std::string& file, const MidiFile* song,
               const std::vector<Finding>& findings, const std::string& problem, bool first) {
    out << (first ? "" : ",\n") << "  {\"file\": " << Json(file);
    if (!problem.empty()) out << ", \"error\": " << Json(problem);
    out << ", \"findings\": [";
    for (size_t k = 0; k < findings.size(); ++k) {
        const Finding& f = findings[k];
        out << (k ? ",\n" : "\n") << "    {\"id\": " << Json(f.Id)
            << ", \"level\": " << Json(SeverityName(f.Level))
            << ", \"players\": " << Json(FamilyName(f.Family)) << ", \"track\": " << f.Track
            << ", \"event\": " << f.Event << ", \"tick\": " << f.Time;
        if (song && f.Time >= 0) {
            out << ", \"seconds\": "
                << TempoMap(*song, static_cast<int16_t>(f.Track)).Seconds(f.Time);
        }
        out << ", \"text\": " << Json(f.Text) << ", \"repair\": "
            << (f.Fix == Repair::None ? std::string("null") : Json(RepairName(f.Fix))) << "}";
    }
    out << (findings.empty() ? "]}" : "\n  ]}");
}

}  // namespace

std::vector<std::string> RepairSong(MidiFile& Song, PlayerFamily For, const std::string& Encoding) {
    std::vector<std::string> made;
    auto wanted = [&](Repair fix) {
        for (const Finding& f : FindingsFor(CheckSong(Song), For)) {
            if (f.Fix == fix) return true;
        }
        return false;
    };
    if (wanted(Repair::RemoveNul) && RemoveNulBytes(Song)) made.emplace_back("remove-nul");
    bool mixed = false;
    for (const Finding& f : CheckSong(Song)) mixed = mixed || f.Id == "enc-mixed";
    if (!Encoding.empty() || mixed) {
        const RecodeOutcome recoded = RecodeSongTexts(Song, Encoding.empty() ? "UTF-8" : Encoding);
        if (recoded.Changed > 0) made.emplace_back("one-encoding");
        // What the target encoding cannot hold stays as it was, and says so.
        if (recoded.Kept > 0) {
            made.push_back("(" + std::to_string(recoded.Kept) + " texts left: not convertible)");
        }
    }
    for (Repair fix : {Repair::MakeFormat1, Repair::MoveKaraokeHeader, Repair::NameWordsTrack,
                       Repair::DropDuplicate, Repair::JoinSplitWords, Repair::AddLineEnds,
                       Repair::SplitLongLines}) {
        if (wanted(fix) && ApplyRepair(Song, fix, For)) made.emplace_back(RepairName(fix));
    }
    return made;
}

std::string FixedOutputName(const std::string& Input, const std::string& OutputDir) {
    namespace fs = std::filesystem;
    const fs::path in(Input);
    const std::string ext = in.has_extension() ? in.extension().string() : std::string(".mid");
    const fs::path dir = OutputDir.empty() ? in.parent_path() : fs::path(OutputDir);
    return (dir / (in.stem().string() + ".fixed" + ext)).string();
}

int RunCheck(const CheckCommand& Command, std::ostream& out, std::ostream& err) {
    std::map<Severity, int> counts;
    int failing = 0;
    if (Command.Json) out << "[\n";
    for (size_t n = 0; n < Command.Files.size(); ++n) {
        const std::string& file = Command.Files[n];
        MidiFile song;
        ResetMidiFile(song);
        const ReadOutcome outcome = ReadMidiFile(song, file);
        const bool read = outcome.SongUsable();
        for (const std::string& message : outcome.Messages) {
            err << PrintableName(file) << ": " << PrintableName(message) << "\n";
        }
        std::vector<Finding> findings;
        if (read) findings = FindingsFor(CheckSong(song), Command.For);
        bool fails = !read;
        for (const Finding& f : findings) {
            ++counts[f.Level];
            fails = fails || f.Level >= Command.Level;
        }
        failing += fails;
        if (Command.Json) {
            PrintJson(out, file, read ? &song : nullptr, findings, outcome.Message(), n == 0);
            continue;
        }
        for (const Finding& f : findings) {
            out << file << ": " << SeverityName(f.Level) << ": " << FamilyName(f.Family) << ": "
                << Where(song, f) << ": " << f.Id << ": " << f.Text;
            if (f.Fix != Repair::None) out << " [repair: " << RepairName(f.Fix) << "]";
            out << "\n";
        }
    }
    if (Command.Json) {
        out << "\n]\n";
    } else {
        const size_t files = Command.Files.size();
        out << files << (files == 1 ? " file" : " files")
            << " checked: " << counts[Severity::WillNotShow] << " will not show, "
            << counts[Severity::ShowsWrong] << " shows wrong, " << counts[Severity::Advice]
            << " advice; " << failing << " at \"" << SeverityName(Command.Level) << "\" or worse\n";
    }
    return failing > 0 ? 1 : 0;
}

int RunFix(const FixCommand& Command, std::ostream& out, std::ostream& err) {
    if (!Command.Encoding.empty()) {
        try {
            TextDecoder check(Command.Encoding);
        } catch (const std::invalid_argument&) {
            err << "verselane-cli: unknown encoding: " << Command.Encoding << "\n";
            return 2;
        }
    }
    const std::vector<Job> jobs = PlanJobs(
        Command.Inputs, Command.Output,
        [&](const std::string& input) { return FixedOutputName(input, Command.OutputDir); });
    auto fix = [&](const Job& job) {
        JobResult result;
        MidiFile song;
        if (!ReadJobInput(job, Command.Force, false, song, result)) return result;
        try {
            const std::vector<std::string> made = RepairSong(song, Command.For, Command.Encoding);
            result.Note = made.empty() ? "nothing to repair" : "repaired:";
            for (const std::string& name : made) result.Note += " " + name;
            WriteJobOutput(song, job, Command.Force, result);
        } catch (const RuntimeError& e) {
            result.Problem = std::string(kErrorPrefix) + e.what();
        }
        return result;
    };
    return RunJobs(jobs, Command.Jobs, fix, out, err) == 0 ? 0 : 1;
}

}  // namespace verselane::cli
