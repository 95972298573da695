#include "cli/align_command.h"

#include <algorithm>
#include <charconv>
#include <iomanip>
#include <ostream>
#include <stdexcept>

#include "align/song_words.h"
#include "cli/batch.h"
#include "cli/outcome_text.h"
#include "encoding/text_encoding.h"
#include "lyrics/song_info.h"
#include "lyrics/sung_lines.h"
#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

namespace verselane::cli {

namespace {

std::optional<long long> Number(std::string_view text) {
    long long value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

// Why the melody's line was chosen: "named "Melody", one note at a time, 120
// notes for 118 syllables", and ", a sheet shorter than the song" where the
// count did not weigh.
std::string MelodyReason(const align::NoteLine& Line, const align::MelodyChoice& Choice) {
    std::string reason;
    if (Choice.Named) reason += "named \"" + Line.Name + "\", ";
    if (Choice.OneNoteAtATime) reason += "one note at a time, ";
    if (Choice.InVoiceRange) reason += "in the range of a voice, ";
    auto count = [](size_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    return reason + count(Choice.Notes, "note", "notes") + " for " +
           count(Choice.Syllables, "syllable", "syllables") +
           (Choice.PartOfSong ? ", a sheet shorter than the song" : "");
}

const char* DoubtText(align::Doubt Reason) {
    switch (Reason) {
        case align::Doubt::CloseCall:
            return "close call";
        case align::Doubt::NoNoteLeft:
            return "no note left";
        case align::Doubt::OffNote:
            return "off note";
        case align::Doubt::None:
            break;
    }
    return "";
}

const char* LanguageSourceText(align::LanguageSource From) {
    switch (From) {
        case align::LanguageSource::SongKaraokeLine:
            return "the song's @L line";
        case align::LanguageSource::GuessedFromWords:
            return "guessed from the words";
        default:
            return "given";
    }
}

// What became of a line of the sheet that is not sung as written.
std::string SheetLineNoteText(const align::SheetLineNote& Note) {
    switch (Note.What) {
        case align::SheetLineNote::Kind::Label:
            return "a section label, not sung";
        case align::SheetLineNote::Kind::Chords:
            return "chord names, not sung";
        case align::SheetLineNote::Kind::Credit:
            return "a credit, not sung";
        case align::SheetLineNote::Kind::Tablature:
            return "guitar tablature, not sung";
        case align::SheetLineNote::Kind::SungAgain:
            break;
    }
    std::string lines = Note.From == Note.To ? "line " + std::to_string(Note.From)
                                             : "lines " + std::to_string(Note.From) + " to " +
                                                   std::to_string(Note.To);
    if (Note.From == Note.Line && Note.To == Note.Line) lines = "the line";
    return lines + " sung " +
           (Note.Times == 1 ? std::string("again") : std::to_string(Note.Times) + " more times") +
           " here";
}

}  // namespace

std::string AlignFaultMessage(const align::AlignFault& Fault) {
    using align::AlignProblem;
    const std::string syllable = std::to_string(Fault.Syllable);
    switch (Fault.Problem) {
        case AlignProblem::SheetNotUtf8:
            return "the sheet is not valid UTF-8 text";
        case AlignProblem::SheetNotText:
            return "the sheet is not a text file";
        case AlignProblem::SheetTooLong:
            return std::string(Fault.Text.empty() ? "the sheet"
                                                  : "the sheet, its repeats sung out,") +
                   " is longer than " + std::to_string(align::kLongestSheetBytes >> 20) +
                   " MB, more than any song's words";
        case AlignProblem::SheetEmpty:
            return "the sheet holds no words";
        case AlignProblem::UnknownLanguage:
            return "unknown language: " + Fault.Text + " (en, de, fr, es, it, pt or nl)";
        case AlignProblem::SilentTrack:
            return "track " + std::to_string(Fault.Track) + " plays no notes";
        case AlignProblem::PinOutside:
            return "pin " + syllable + " is outside the syllables 1 to " +
                   std::to_string(Fault.Count);
        case AlignProblem::NegativeTick:
            return "pin " + syllable + " has a negative tick";
        case AlignProblem::PinnedTwice:
            return "syllable " + syllable + " is pinned twice";
        case AlignProblem::PinsBackInTime:
            return "pins go back in time: syllable " + syllable + " at tick " +
                   std::to_string(Fault.Tick) + " comes before syllable " +
                   std::to_string(Fault.Earlier) + " at tick " + std::to_string(Fault.EarlierTick);
        case AlignProblem::TooLong:
            return "the sheet (" + std::to_string(Fault.Count) + " syllables) and the melody (" +
                   std::to_string(Fault.Notes) +
                   " notes) are too long to align in one piece; pin a syllable in the middle to "
                   "split them";
    }
    return "the sheet cannot be aligned";
}

const char* const kAlignDescription =
    "Puts the words of a lyric sheet onto the melody of SONG: one lyric event per\n"
    "sung syllable at the start of its note, and the Soft Karaoke words track.\n"
    "\n"
    "The sheet is plain text (\"-\" reads it from the standard input): one sung\n"
    "line a line, a blank line between paragraphs, words separated by spaces.\n"
    "Marks, never part of the words:\n"
    "  -   between the syllables of a word (LilyPond's \" -- \" too)\n"
    "  _   the syllable before holds one more note (LilyPond's \"__\" too)\n"
    "  *   a note without words        ~   words sung on one note (one syllable)\n"
    "  |   on to the next bar          \\   the next character is a plain one\n"
    "\n"
    "Sheets from the web and from songbooks are read as a singer reads them:\n"
    "section labels (\"[Chorus]\", \"Verse 2:\"), lines of chord names and credits\n"
    "(\"Songwriters: ...\", \"\xC2\xA9 2004 ...\") are not sung; \"x2\" or \"(2x)\" at a\n"
    "line's end sings the line twice, alone on a line the lines since the last\n"
    "blank line or label; a label with nothing under it (\"[Chorus]\", \"Repeat\n"
    "chorus\") sings the section of that name again. A line with a \"\\\" in it is\n"
    "sung as written. Pins count the syllables sung out.\n";

const char* const kAlignStatus =
    "Exit status: 0 when the song was written, 1 when it failed, 2 for a command\n"
    "line that could not be understood.\n";

std::optional<std::pair<size_t, int32_t>> ParsePin(std::string_view Text) {
    const size_t eq = Text.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    const auto index = Number(Text.substr(0, eq));
    const auto tick = Number(Text.substr(eq + 1));
    if (!index || !tick || *index < 0 || *tick < 0 || *tick > 0x7FFFFFFF) return std::nullopt;
    return std::pair<size_t, int32_t>(static_cast<size_t>(*index), static_cast<int32_t>(*tick));
}

std::string SetAlignOption(const std::string& name, const std::string& v, AlignCommand& Command) {
    if (name == "-o" || name == "--output") {
        if (v.empty()) return "-o needs a file name";
        Command.Output = v;
    } else if (name == "--melody") {
        const auto n = Number(v);
        if (!n || *n < 0 || *n > 65535) return "--melody needs a track number from 0: " + v;
        Command.Melody = static_cast<int>(*n);
    } else if (name == "--language") {
        Command.Language = v;
    } else if (name == "--syllables") {
        if (v != "auto" && v != "as-written")
            return "--syllables takes auto or as-written, not " + v;
        Command.AsWritten = v == "as-written";
    } else if (name == "--pin") {
        const auto pin = ParsePin(v);
        if (!pin && v.find("=-") != std::string::npos)
            return "--pin needs a tick from 0 (ticks count from the song's start): " + v;
        if (!pin) return "--pin needs SYLLABLE=TICK with two numbers: " + v;
        Command.Pins.push_back(*pin);
    } else if (name == "--to") {
        if (v != "lyrics" && v != "karaoke" && v != "both")
            return "--to takes lyrics, karaoke or both, not " + v;
        Command.To = v;
    } else if (name == "--encoding") {
        if (std::string refusal = SongEncodingRefusal(EncodingName(v)); !refusal.empty())
            return refusal;
        Command.Encoding = EncodingName(v);
    } else if (name == "--sheet-encoding") {
        // A sheet may be UTF-16 text, which no song's texts are.
        try {
            TextDecoder check(EncodingName(v));
        } catch (const std::invalid_argument&) {
            return "unknown encoding: " + v;
        }
        Command.SheetEncoding = EncodingName(v);
    }
    return {};
}

std::string DefaultAlignOutput(const std::string& Song) {
    return workflow::OutputName(Song, workflow::OutputKind::Aligned);
}

int RunAlign(const AlignCommand& Command, std::ostream& out, std::ostream& err) {
    const std::string song_name = PrintableName(Command.Song);
    Song song;
    SongFacts facts;
    if (!ReadWholeSong(Command.Song, song, facts, err)) return 1;
    std::string sheet;
    if (!ReadTextFile(Command.Sheet, "sheet", sheet, err)) return 1;
    if (!Command.SheetEncoding.empty())
        sheet = TextDecoder(Command.SheetEncoding).ToUtf8(sheet);
    else if (std::optional<std::string> unicode = Utf16TextAsUtf8(sheet))
        sheet = std::move(*unicode);

    const bool had_words = align::SongHasWords(song, facts);
    if (had_words && !Command.Replace) {
        err << song_name
            << ": the song has words already; --replace puts the sheet's words in their place\n";
        return 1;
    }
    // The words go into the song in its own encoding when it has words.
    std::string encoding = Command.Encoding;
    if (had_words) encoding = SongDecoder(song).Encoding();

    align::SheetRequest request;
    request.SheetUtf8 = std::move(sheet);
    request.Language = Command.Language;
    request.AsWritten = Command.AsWritten;
    request.MelodyTrack = Command.Melody ? *Command.Melody : -1;
    request.Pins = Command.Pins;
    align::SheetAlignment aligned;
    try {
        aligned = align::AlignSheet(song, request);
    } catch (const align::AlignError& e) {
        // A melody track that plays no notes is the song's fault, not the sheet's.
        const bool of_song = e.Fault().Problem == align::AlignProblem::SilentTrack;
        err << (of_song ? song_name : TextFileName(Command.Sheet)) << ": "
            << AlignFaultMessage(e.Fault());
        if (e.Fault().Problem == align::AlignProblem::SheetNotText &&
            (request.SheetUtf8.starts_with("MThd") || request.SheetUtf8.starts_with("RIFF")))
            err << " but a song; the song comes first, then the sheet";
        if (e.Fault().Problem == align::AlignProblem::SheetNotUtf8) {
            // Say what the bytes look like, so that the user knows what to name.
            const std::string guess = DetectEncoding({request.SheetUtf8});
            err << "; it reads as " << EncodingLabel(guess) << " (--sheet-encoding " << guess
                << ")";
        }
        err << "\n";
        return 1;
    }
    if (!aligned.DictionaryMissingFrom.empty()) {
        err << "no hyphenation dictionary for language \"" << aligned.Language << "\" in "
            << aligned.DictionaryMissingFrom << " (install hyphen-"
            << (aligned.Language == "en" ? std::string("en-us") : aligned.Language)
            << "); words are split by rule\n";
    }
    if (aligned.Melody.Line < 0)
        err << song_name << ": the song plays no notes; the syllables are spaced evenly\n";
    if (aligned.RanOut && aligned.RanOut->BeforePin > 0) {
        const size_t pin = aligned.RanOut->BeforePin, from = aligned.RanOut->Syllable;
        err << TextFileName(Command.Sheet) << ": the pin of syllable " << pin
            << " leaves no note before it for syllable" << (from + 1 == pin ? " " : "s ") << from
            << (from + 1 == pin ? "" : " to " + std::to_string(pin - 1)) << " (line "
            << aligned.RanOut->Line << " of the sheet); "
            << (from + 1 == pin ? "it is" : "they are") << " put just before it\n";
    } else if (aligned.RanOut) {
        err << TextFileName(Command.Sheet)
            << ": the melody has too few notes: they run out at syllable "
            << aligned.RanOut->Syllable << ", line " << aligned.RanOut->Line << " of the sheet\n";
    }

    const std::string output =
        Command.Output.empty() ? DefaultAlignOutput(Command.Song) : Command.Output;
    if (const std::string refusal =
            OverwritesInput(output, {{Command.Song, "song"}, {Command.Sheet, "lyric sheet"}});
        !refusal.empty()) {
        err << refusal << "\n";
        return 1;
    }
    const align::WordsOutput to = Command.To == "lyrics"    ? align::WordsOutput::Lyrics
                                  : Command.To == "karaoke" ? align::WordsOutput::Karaoke
                                                            : align::WordsOutput::Both;
    KaraokeInfo info = SongKaraokeInfo(song);
    info.Language = align::KaraokeLanguageName(aligned.Language);
    bool kept_utf8 = false;
    const std::vector<std::string> texts =
        SungWordsIn(align::LyricTexts(aligned.Sheet), encoding, kept_utf8);
    if (kept_utf8) err << "some words do not fit " << encoding << ": all are written as UTF-8\n";
    align::PutWords(song, facts, texts, aligned.Placement, to, info, Command.Replace);
    if (const std::optional<WriteFailure> failure =
            WriteSong(song, output, Command.Force ? ExistingFile::Replace : ExistingFile::Keep)) {
        err << PrintableName(output) << ": " << PrintableName(WriteFailureMessage(*failure))
            << "\n";
        return 1;
    }
    WarnOfWhatIsNotKept(Command.Song, facts, err);

    // With the song on standard output, the report goes to the error stream.
    std::ostream& report = WritesToStandardOutput(output) ? err : out;
    const auto& placed = aligned.Placement.Syllables;
    if (aligned.Melody.Line >= 0) {
        const align::NoteLine& line = aligned.Lines[static_cast<size_t>(aligned.Melody.Line)];
        report << "Melody: track " << line.Track << ", channel " << line.Channel + 1 << " ("
               << PrintableName(MelodyReason(line, aligned.Melody)) << ")\n";
    }
    report << "Language: " << aligned.Language << " (" << LanguageSourceText(aligned.LanguageFrom)
           << ")\n";
    for (const align::SheetLineNote& note : aligned.Sheet.NotSungAsWritten)
        report << "Sheet line " << note.Line << " \"" << Printable(note.Text)
               << "\": " << SheetLineNoteText(note) << "\n";
    const size_t doubtful =
        static_cast<size_t>(std::count_if(placed.begin(), placed.end(), [](const auto& p) {
            return !p.Pinned && p.Reason != align::Doubt::None;
        }));
    report << "Syllables: " << placed.size() << ", " << doubtful << " doubtful; written to "
           << OutputFileName(output) << "\n";
    if (Command.Report) {
        const TempoMap tempo(song);
        std::vector<size_t> order;
        for (size_t i = 0; i < placed.size(); ++i)
            if (!placed[i].Pinned && placed[i].Reason != align::Doubt::None) order.push_back(i);
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return placed[a].Confidence < placed[b].Confidence;
        });
        for (size_t i : order) {
            const auto& s = aligned.Sheet.Syllables[i];
            report << "  syllable " << i + 1 << " \"" << Printable(s.Text) << "\" (line " << s.Line
                   << ") at " << FormatTimestamp(tempo.Seconds(placed[i].Tick)) << ", tick "
                   << placed[i].Tick << ": " << DoubtText(placed[i].Reason) << ", confidence "
                   << std::fixed << std::setprecision(2) << placed[i].Confidence << "\n";
        }
    }
    return 0;
}

}  // namespace verselane::cli
