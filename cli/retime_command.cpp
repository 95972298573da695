#include "cli/retime_command.h"

#include <charconv>
#include <filesystem>
#include <ostream>
#include <sstream>

#include "cli/align_command.h"
#include "cli/batch.h"
#include "cli/outcome_text.h"
#include "editing/timed_words.h"
#include "encoding/text_encoding.h"
#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

namespace verselane::cli {

namespace {

constexpr const char* kRetimeHelp =
    "Usage: verselane-cli retime SONG [-o OUT] [--force] --pin I=TICK...\n"
    "                            [--line-starts FILE]\n"
    "\n"
    "Re-aligns the words SONG holds around pins: each pinned syllable lands\n"
    "exactly on its tick, the other syllables of its line are placed on the\n"
    "melody's notes around it, and the syllables of other lines and every\n"
    "other event stay where they are. I counts the sung syllables from 1 in\n"
    "the order the words are shown ('verselane-cli lyrics SONG --syllables'\n"
    "prints each with its number and tick).\n"
    "\n"
    "Options:\n"
    "  -o OUT                the output (default NAME.retimed.EXT beside the song)\n"
    "  --force               replace an existing output file\n"
    "  --pin I=TICK          syllable I lands on TICK (repeatable)\n"
    "  --line-starts FILE    more pins, one I=TICK a line\n"
    "\n"
    "Exit status: 0 when the song was written, 1 when it failed, 2 for a command\n"
    "line that could not be understood.\n";

struct RetimeCommand {
    std::string Song;
    std::string Output;
    bool Force = false;
    std::vector<std::string> PinTexts;
    std::string LineStarts;
};

std::optional<long long> Number(std::string_view text) {
    long long value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

// "I=TICK" with I from 1 and a tick that fits a song.
std::optional<std::pair<size_t, int32_t>> PinOf(std::string_view text) {
    const size_t eq = text.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    const auto index = Number(text.substr(0, eq));
    const auto tick = Number(text.substr(eq + 1));
    if (!index || !tick || *index < 1 || *tick < 0 || *tick > 0x7FFFFFFF) return std::nullopt;
    return std::pair<size_t, int32_t>(static_cast<size_t>(*index), static_cast<int32_t>(*tick));
}

std::string ParseRetime(const std::vector<std::string>& args, RetimeCommand& command) {
    std::vector<std::string> words;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (name.size() < 2 || name[0] != '-') {
            words.push_back(name);
            continue;
        }
        if (size_t eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (name == "--force" && !value) {
            command.Force = true;
            continue;
        }
        if (name != "-o" && name != "--output" && name != "--pin" && name != "--line-starts")
            return "unknown option: " + args[i];
        if (!value) {
            if (i + 1 >= args.size()) return "option " + name + " needs a value";
            value = args[++i];
        }
        if (name == "--pin") {
            command.PinTexts.push_back(*value);
        } else if (name == "--line-starts") {
            command.LineStarts = *value;
        } else {
            if (value->empty()) return "-o needs a file name";
            command.Output = *value;
        }
    }
    if (words.size() != 1) return "retime takes one SONG";
    command.Song = words[0];
    if (command.PinTexts.empty() && command.LineStarts.empty())
        return "retime needs --pin I=TICK or --line-starts FILE";
    for (const std::string& pin : command.PinTexts)
        if (!PinOf(pin)) return "--pin needs I=TICK, a syllable from 1 and a tick: " + pin;
    return {};
}

std::string DefaultRetimeOutput(const std::string& song) {
    std::filesystem::path path(song);
    const std::string extension = path.extension().string();
    path.replace_extension(".retimed" + (extension.empty() ? std::string(".mid") : extension));
    return path.string();
}

}  // namespace

std::string EditFaultMessage(const editing::EditFault& fault) {
    using editing::EditProblem;
    const std::string syllable = std::to_string(fault.Syllable);
    const std::string tick = std::to_string(fault.Tick);
    switch (fault.Problem) {
        case EditProblem::NoSuchTrack:
            return "no such track";
        case EditProblem::NoSuchEvent:
            return "no such event";
        case EditProblem::NoSuchSyllable:
            return "no such syllable";
        case EditProblem::NothingToSing:
            return "a syllable's text must hold something to sing, without line ends or spaces "
                   "around it";
        case EditProblem::LineEndInText:
            return "a syllable's text cannot hold a line end";
        case EditProblem::TagInKaraoke:
            return "a karaoke syllable cannot start with @ (a tag)";
        case EditProblem::NoWordsStream:
            return "the song holds no lyric events or karaoke text";
        case EditProblem::NoSungWords:
            return "the song holds no sung words";
        case EditProblem::NoNoteAfter:
            return "there is no melody note after tick " + tick;
        case EditProblem::NoNoteBefore:
            return "there is no melody note before tick " + tick;
        case EditProblem::SyllableMissing:
            return "there is no syllable " + syllable + " (the song has " +
                   std::to_string(fault.Count) + ")";
        case EditProblem::BeforeSongStart:
            return "a syllable cannot go before the song's start";
        case EditProblem::BeforeSyllableAhead:
            return "syllable " + syllable + " would go before the syllable ahead of it";
        case EditProblem::PinNegativeTick:
            return "pin " + syllable + " has a negative tick";
        case EditProblem::PinnedTwice:
            return "syllable " + syllable + " is pinned twice";
        case EditProblem::PinsBackInTime:
            return "pins go back in time: syllable " + syllable + " is pinned before syllable " +
                   std::to_string(fault.Other);
        case EditProblem::PinPastLine:
            return "pin " + syllable + " goes past the line " + (fault.After ? "after" : "before") +
                   " it";
        case EditProblem::AlignRefused:
            if (fault.Align) return AlignFaultMessage(*fault.Align);
            break;
        case EditProblem::TickOutsideSong:
            return "tick " + tick + " is outside the song";
        case EditProblem::PassesSyllableBefore:
            return "syllable " + syllable + " cannot pass the syllable before it";
        case EditProblem::PassesSyllableAfter:
            return "syllable " + syllable + " cannot pass the syllable after it";
        case EditProblem::SelectionLeavesSong:
            return "the selection would leave the song";
        case EditProblem::LastHasNoneAfter:
            return "the last syllable has none after it";
        case EditProblem::NoPins:
            return "no pins given";
        case EditProblem::SplitLeavesEmptySide:
            return "a split must leave text on both sides";
        case EditProblem::FirstStartsLine:
            return "the first syllable always starts a line";
        case EditProblem::OnlySyllable:
            return "the only syllable cannot go";
        case EditProblem::NoSyllableToInsertBefore:
            return "there is no syllable " + syllable + " to insert before";
        case EditProblem::NewBeforeSyllableAhead:
            return "the new syllable cannot go before the syllable ahead of it";
        case EditProblem::NewAfterSyllableBehind:
            return "the new syllable cannot go after the syllable behind it";
    }
    return "the edit cannot be made";
}

bool PrintSyllables(const Song& Song, std::optional<LineSource> From, int16_t Track,
                    const std::function<std::string(std::string_view)>& Show,
                    const std::string& Name, std::ostream& out, std::ostream& err) {
    try {
        const editing::TimedWords words(Song, From, Track);
        size_t number = 0;
        for (const editing::TimedSyllable& s : words.Syllables()) {
            const char* mark = s.ParagraphStart ? "\\" : s.LineStart ? "/" : s.WordStart ? "" : "-";
            out << ++number << "\t" << s.Tick << "\t" << FormatTimestamp(words.Seconds(s.Tick))
                << "\t" << mark << Show(s.Text) << "\n";
        }
        return true;
    } catch (const editing::EditError& e) {
        err << Name << ": " << EditFaultMessage(e.Fault()) << "\n";
        return false;
    }
}

int RunRetimeCommand(const std::vector<std::string>& Args, std::ostream& out, std::ostream& err) {
    for (const std::string& a : Args) {
        if (a == "--") break;
        if (a == "-h" || a == "--help") {
            out << kRetimeHelp;
            return 0;
        }
    }
    RetimeCommand command;
    if (const std::string error = ParseRetime(Args, command); !error.empty()) {
        err << error << "\nTry 'verselane-cli retime --help'.\n";
        return 2;
    }
    const std::string song_name = PrintableName(command.Song);
    std::vector<std::pair<size_t, int32_t>> pins;
    for (const std::string& text : command.PinTexts) pins.push_back(*PinOf(text));
    if (!command.LineStarts.empty()) {
        std::string text;
        if (!ReadTextFile(command.LineStarts, "line starts", text, err)) return 1;
        std::istringstream file(text);
        size_t line_number = 0;
        for (std::string line; std::getline(file, line);) {
            ++line_number;
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
            if (line.empty()) continue;
            const auto pin = PinOf(line);
            if (!pin) {
                err << PrintableName(command.LineStarts) << ", line " << line_number
                    << ": a line start needs I=TICK, not " << PrintableName(line) << "\n";
                return 1;
            }
            pins.push_back(*pin);
        }
    }

    Song song;
    SongFacts facts;
    if (!ReadWholeSong(command.Song, song, facts, err)) return 1;
    std::optional<editing::TimedWords> words;
    try {
        words.emplace(std::move(song));
    } catch (const editing::EditError& e) {
        err << song_name << ": " << EditFaultMessage(e.Fault()) << "\n";
        return 1;
    }
    std::vector<std::pair<size_t, int32_t>> from_zero;
    for (const auto& [index, tick] : pins) {
        if (index > words->Count()) {
            err << song_name << ": pin " << index << " is outside the syllables 1 to "
                << words->Count() << "\n";
            return 1;
        }
        from_zero.emplace_back(index - 1, tick);
    }
    try {
        words->Apply(editing::Edit::Realign(from_zero));
    } catch (const editing::EditError& e) {
        err << song_name << ": " << EditFaultMessage(e.Fault()) << "\n";
        return 1;
    }
    const std::string output =
        command.Output.empty() ? DefaultRetimeOutput(command.Song) : command.Output;
    const auto identity = FileIdentity(command.Song);
    if (identity && identity == FileIdentity(output)) {
        err << PrintableName(output) << ": is the song being read; name another output\n";
        return 1;
    }
    if (const std::optional<WriteFailure> failure =
            WriteSong(words->EditedSong(), output,
                      command.Force ? ExistingFile::Replace : ExistingFile::Keep)) {
        err << PrintableName(output) << ": " << PrintableName(WriteFailureMessage(*failure))
            << "\n";
        return 1;
    }
    out << "Syllables: " << words->Count() << ", " << pins.size() << " pinned; written to "
        << PrintableName(output) << "\n";
    return 0;
}

}  // namespace verselane::cli
