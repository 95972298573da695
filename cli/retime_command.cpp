#include "cli/retime_command.h"

#include <algorithm>
#include <ostream>
#include <set>
#include <sstream>

#include "cli/align_command.h"
#include "cli/batch.h"
#include "cli/outcome_text.h"
#include "editing/timed_words.h"
#include "encoding/text_encoding.h"
#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

namespace verselane::cli {

const char* const kRetimeDescription =
    "Re-aligns the words SONG holds around pins: each pinned syllable lands\n"
    "exactly on its tick, the other syllables of its line are placed on the\n"
    "melody's notes around it, and the syllables of other lines and every\n"
    "other event stay where they are. I counts the sung syllables from 1 in\n"
    "the order the words are shown ('verselane-cli lyrics SONG --syllables'\n"
    "prints each with its number and tick).\n";

const char* const kRetimeStatus =
    "Exit status: 0 when the song was written, 1 when it failed, 2 for a command\n"
    "line that could not be understood.\n";

std::optional<std::pair<size_t, int32_t>> RetimePin(std::string_view Text) {
    const auto pin = ParsePin(Text);
    if (!pin || pin->first < 1) return std::nullopt;
    return pin;
}

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

namespace {

// A line end inside one event ("kle\rtwin": the event ends a line and opens
// the next) as the marks of the list: "/" for a line, "\" for a paragraph.
std::string InnerBreaksMarked(std::string_view text) {
    std::string marked;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') {
            marked += text[i];
            continue;
        }
        bool paragraph = false;
        for (; i < text.size() && (text[i] == '\r' || text[i] == '\n'); ++i)
            paragraph = paragraph || text[i] == '\n';
        --i;
        marked += paragraph ? '\\' : '/';
    }
    return marked;
}

}  // namespace

bool PrintSyllables(const Song& Song, std::optional<LineSource> From, int16_t Track,
                    const std::function<std::string(std::string_view)>& Show,
                    const std::string& Name, std::ostream& out, std::ostream& err) {
    try {
        const editing::TimedWords words(Song, From, Track);
        size_t number = 0;
        for (const editing::TimedSyllable& s : words.Syllables()) {
            const char* mark = s.ParagraphStart ? "\\" : s.LineStart ? "/" : s.WordStart ? "" : "-";
            out << ++number << "\t" << s.Tick << "\t" << FormatTimestamp(words.Seconds(s.Tick))
                << "\t" << mark << Show(InnerBreaksMarked(s.Text)) << "\n";
        }
        return true;
    } catch (const editing::EditError& e) {
        err << Name << ": " << EditFaultMessage(e.Fault()) << "\n";
        return false;
    }
}

int RunRetime(const RetimeCommand& command, std::ostream& out, std::ostream& err) {
    const std::string song_name = PrintableName(command.Song);
    std::vector<std::pair<size_t, int32_t>> pins = command.Pins;
    if (!command.LineStarts.empty()) {
        std::string text;
        if (!ReadTextFile(command.LineStarts, "line starts", text, err)) return 1;
        if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);  // a UTF-8 mark, as editors save
        std::istringstream file(text);
        size_t line_number = 0;
        for (std::string line; std::getline(file, line);) {
            ++line_number;
            while (!line.empty() &&
                   (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
                line.pop_back();
            if (line.empty()) continue;
            const auto pin = RetimePin(line);
            if (!pin) {
                err << TextFileName(command.LineStarts) << ", line " << line_number
                    << ": a line start needs I=TICK, not " << PrintableName(line) << "\n";
                return 1;
            }
            pins.push_back(*pin);
        }
    }

    Song song;
    SongFacts facts;
    if (!ReadWholeSong(command.Song, song, facts, err)) return 1;
    // Where the song ends: a pin past it makes the song longer.
    int32_t song_end = 0;
    for (const Track& track : song.Tracks)
        if (track.Size() > 0) song_end = std::max(song_end, track[track.Size() - 1].Tick);
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
        command.Output.empty() ? workflow::OutputName(command.Song, workflow::OutputKind::Retimed)
                               : command.Output;
    if (const std::string refusal = OverwritesInput(
            output, {{command.Song, "song"}, {command.LineStarts, "list of line starts"}});
        !refusal.empty()) {
        err << refusal << "\n";
        return 1;
    }
    if (const std::optional<WriteFailure> failure =
            WriteSong(words->EditedSong(), output,
                      command.Force ? ExistingFile::Replace : ExistingFile::Keep)) {
        err << PrintableName(output) << ": " << PrintableName(WriteFailureMessage(*failure))
            << "\n";
        return 1;
    }
    WarnOfWhatIsNotKept(command.Song, facts, err);
    const auto latest = std::ranges::max_element(pins, {}, [](const auto& p) { return p.second; });
    if (latest != pins.end() && latest->second > song_end) {
        err << song_name << ": warning: pin " << latest->first << " at tick " << latest->second
            << " is after the song's end (tick " << song_end << "); the song now lasts until it\n";
    }
    // The other stream's words differ from those re-timed (in text or in
    // time): they stay where they were, and the user is told.
    if (words->Other() == editing::OtherStream::Different) {
        const bool karaoke = words->Source() == LineSource::Karaoke;
        err << song_name << ": warning: its " << (karaoke ? "lyric events" : "karaoke text")
            << " (other words, or the same at other times than its "
            << (karaoke ? "karaoke text" : "lyric events")
            << ") were not re-timed; the two no longer go together\n";
    }
    // A syllable pinned twice to one tick is one pin.
    std::set<size_t> pinned;
    for (const auto& pin : pins) pinned.insert(pin.first);
    (WritesToStandardOutput(output) ? err : out)
        << "Syllables: " << words->Count() << ", " << pinned.size() << " pinned; written to "
        << OutputFileName(output) << "\n";
    return 0;
}

}  // namespace verselane::cli
