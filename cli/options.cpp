#include "cli/options.h"

#include "encoding/text_encoding.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

namespace verselane::cli {

namespace {

constexpr const char* kProgramHelp =
    "Usage: verselane-cli COMMAND [ARGS]\n"
    "\n"
    "Moves song lyrics inside Standard MIDI Files: lyric events to Soft Karaoke\n"
    "text and back.\n"
    "\n"
    "Commands:\n"
    "  info FILE             the header, the tracks, tempo, signatures, texts, and\n"
    "                        the track that each conversion would take\n"
    "  lyrics FILE           the words as a karaoke player shows them, line by line\n"
    "  to-karaoke IN...      lyric events to Soft Karaoke text (NAME.kar)\n"
    "  to-lyrics IN...       Soft Karaoke text to lyric events (NAME.lyrics.mid)\n"
    "  copy IN OUT           read IN and write it unchanged to OUT\n"
    "  check FILE...         what will not show, or show wrong, in which players\n"
    "  fix IN...             the repairs that are safe (NAME.fixed.mid)\n"
    "  render FILE -o OUT    play the song into a WAV file\n"
    "  align SONG SHEET      words from a lyric sheet onto the melody (NAME.kar)\n"
    "  retime SONG --pin I=TICK  the words re-aligned around pinned syllables\n"
    "                        (NAME.retimed.EXT)\n"
    "\n"
    "The inputs of to-karaoke, to-lyrics, check and fix are songs or folders of\n"
    "songs.\n"
    "\n"
    "Options:\n"
    "  -h, --help            show this help, or with a command that command's help\n"
    "  --version             show the version\n"
    "\n"
    "Exit status: 0 when everything succeeded, 1 when a file failed (could not be\n"
    "read, or read only in part; could not be written; for check, a finding at\n"
    "its --level; writing to the standard output failed), 2 for a command line\n"
    "that could not be understood. A song without words to convert is no\n"
    "failure. 'verselane-cli COMMAND --help' tells each command's own.\n";

constexpr const char* kInfoHelp =
    "Usage: verselane-cli info FILE [--encoding NAME]\n"
    "\n"
    "Shows the header, the tracks (numbered from 0, with their lyric and text\n"
    "events), tempo, time signature, key signature (\"2 flats, G minor\"; \"not\n"
    "set\" for what FILE does not set), the text encoding, the karaoke text and\n"
    "the lyric text of FILE line by line, and which track each conversion would\n"
    "take when no --track is given.\n"
    "\n"
    "Options:\n"
    "  --encoding NAME       read the texts in this encoding (default: detected;\n"
    "                        see 'verselane-cli lyrics --help' for the names)\n"
    "\n"
    "A damaged FILE (one that could be read only in part) is shown as far as it\n"
    "could be read, after what is damaged.\n"
    "\n"
    "Exit status: 0 when FILE was read whole and shown, 1 when it could not be\n"
    "read whole or the output could not be written, 2 for a command line that\n"
    "could not be understood (an encoding iconv does not know among them).\n";

constexpr const char* kLyricsHelp =
    "Usage: verselane-cli lyrics FILE [--from lyrics|karaoke] [--track N]\n"
    "                                 [--encoding NAME] [--follow] [--syllables]\n"
    "\n"
    "Prints the words as a karaoke player shows them: one line per sung line,\n"
    "each with its start time as minutes:seconds.hundredths, and an empty line\n"
    "between paragraphs. Karaoke text lines of information (\"@\") are left out.\n"
    "\n"
    "Options:\n"
    "  --from lyrics         take the words from lyric events\n"
    "  --from karaoke        take the words from karaoke text events\n"
    "                        (default: karaoke text when the song has a Soft\n"
    "                        Karaoke track, else lyric events, else text events)\n"
    "  --track N             take them from track N (as 'info' numbers them)\n"
    "  --follow              print each line when it is due, as the song plays\n"
    "                        (no sound; Ctrl+C ends it)\n"
    "  --syllables           print each sung syllable instead, numbered from 1 as\n"
    "                        'retime' counts them: NUMBER, TICK, TIME and the text\n"
    "                        (\\ opens a paragraph, / a line, - goes on a word)\n"
    "  --encoding NAME       read the texts in this encoding; by default UTF-8\n"
    "                        when they are valid UTF-8, else the encoding detected\n"
    "                        over all texts of the song, else WINDOWS-1252.\n"
    "                        Common names: UTF-8, WINDOWS-1252, ISO-8859-1,\n"
    "                        SHIFT_JIS, GBK, BIG5, EUC-KR, WINDOWS-1251, KOI8-R,\n"
    "                        WINDOWS-1250, ISO-8859-2, TIS-620, WINDOWS-1258\n"
    "                        (any name that iconv knows is taken, in any case,\n"
    "                        and the labels that 'info' prints, such as\n"
    "                        \"Vietnamese (Windows-1258)\")\n"
    "\n"
    "Exit status: 0 when FILE was read whole and its words shown, 1 when it could\n"
    "not be read whole (what could be read is shown), holds no words to show\n"
    "(none of the kind or in the track asked for), or the output could not be\n"
    "written, 2 for a command line that could not be understood.\n";

// How the conversions and fix treat their inputs and outputs, told after
// each one's options.
constexpr const char* kBatchRules =
    "\n"
    "A folder among the inputs stands for the songs in it (.mid, .midi, .kar,\n"
    ".rmi); with -r also those of its subfolders, which --out-dir keeps as\n"
    "subfolders. Folders are made only when a file is written into them.\n"
    "The batch ends with one line such as \"38 written, 5 without words, 2\n"
    "failed\" (fix: \"5 with nothing to repair\") on the error output; on a\n"
    "terminal a progress line is shown there meanwhile when the batch takes more\n"
    "than a second.\n"
    "\n"
    "No input is ever written over, not even with --force (a conversion in place\n"
    "would lose the original if anything went wrong, and other jobs of the batch\n"
    "may be reading it). Each file that fails is reported with its name and the\n"
    "others go on. A damaged file (one that could be read only in part) fails\n"
    "with what is damaged, unless --salvage takes what could be read; each track\n"
    "of such an output is closed properly.\n";

// The exit statuses of a batch command.
constexpr const char* kConversionStatus =
    "\n"
    "Exit status: 0 when every song was converted or holds no words to convert\n"
    "(reported, and counted apart), 1 when a file failed (it could not be read,\n"
    "was damaged, could not be written, or a folder held no song), 2 for a\n"
    "command line that could not be understood.\n";

constexpr const char* kToKaraokeHelp =
    "Usage: verselane-cli to-karaoke IN... [-o OUT | --out-dir DIR] [--track N]\n"
    "                                 [--language L] [--title T] [--artist A]\n"
    "                                 [--encoding NAME] [--drop-lyrics] [--force]\n"
    "                                 [--salvage] [-r] [-j N]\n"
    "\n"
    "Turns the lyric events of one track into Soft Karaoke text: a \"Soft Karaoke\"\n"
    "track and a \"Words\" track are inserted behind track 0. The lyric events\n"
    "stay where they are (for keyboards, which read them) unless --drop-lyrics is\n"
    "given. A format 0 song becomes format 1.\n"
    "\n"
    "Options:\n"
    "  -o OUT                the output file (one song only)\n"
    "  --out-dir DIR         write NAME.kar into DIR (made when missing);\n"
    "                        default: NAME.kar beside each input\n"
    "  --track N             the track of the lyrics, numbered from 0 as 'info'\n"
    "                        shows; default: the track whose name suggests words\n"
    "                        (\"Lyrics\", \"Words\", \"Vocals\", ...) if it holds lyric\n"
    "                        events, else the track holding the most\n"
    "  --language L          the \"@L\" line (default: the song's, else ENGL)\n"
    "  --title T             the first \"@T\" line (default: the song's \"@T\" title,\n"
    "                        else the name of track 0 unless it is generic)\n"
    "  --artist A            the second \"@T\" line (default: the song's, else empty)\n"
    "  --encoding NAME       write the typed lines in this encoding (default: the\n"
    "                        encoding of the song's words; UTF-8 when they are\n"
    "                        UTF-8 or that encoding cannot hold the text, with a\n"
    "                        note on stderr)\n"
    "  --drop-lyrics         remove the lyric events of the converted track, so the\n"
    "                        words are in the song once, as karaoke text\n"
    "  --force               replace output files that exist already\n"
    "  -r, --recursive       take the songs of the subfolders of input folders too\n"
    "  --salvage             convert damaged files as far as they could be read\n"
    "  -j N                  convert N files at a time (default: one per processor)\n";

constexpr const char* kToLyricsHelp =
    "Usage: verselane-cli to-lyrics IN... [-o OUT | --out-dir DIR] [--track N]\n"
    "                                [--replace] [--force] [--salvage] [-r] [-j N]\n"
    "\n"
    "Turns the karaoke text events of one track into lyric events. By default\n"
    "each text event stays and its lyric is added behind it; with --replace the\n"
    "text events become the lyrics. Each lyric holds its syllable without the\n"
    "mark; a \"\\\" mark becomes LF CR and a \"/\" mark CR at the end of the\n"
    "lyric before it, where a gap that opens a syllable goes too. \"@\" lines\n"
    "are not sung: they stay text events.\n"
    "\n"
    "Options:\n"
    "  -o OUT                the output file (one song only)\n"
    "  --out-dir DIR         write NAME.lyrics.mid into DIR (made when missing);\n"
    "                        default: NAME.lyrics.mid beside each input\n"
    "  --track N             the track of the karaoke text, numbered from 0 as\n"
    "                        'info' shows; default: the track whose name suggests\n"
    "                        words (\"Words\", \"Lyrics\", ...) if it holds text\n"
    "                        events, else the track holding the most\n"
    "  --replace             replace the text events instead of keeping them\n"
    "  --force               replace output files that exist already\n"
    "  -r, --recursive       take the songs of the subfolders of input folders too\n"
    "  --salvage             convert damaged files as far as they could be read\n"
    "  -j N                  convert N files at a time (default: one per processor)\n";

constexpr const char* kRenderHelp =
    "Usage: verselane-cli render FILE -o OUT.wav [--soundfont SF2] [--max-length L]\n"
    "\n"
    "Plays the song with FluidSynth into a WAV file (44.1 kHz, 16-bit stereo):\n"
    "every track with its tempo changes, then a second for the last notes to\n"
    "ring out. A song longer than --max-length, or whose WAV file would not fit\n"
    "the free space where it goes, is not rendered.\n"
    "\n"
    "Options:\n"
    "  -o OUT                the WAV file to write (replaced whole when it exists);\n"
    "                        a named pipe, a character device or - (standard\n"
    "                        output) is written as a stream\n"
    "  --max-length L        the longest song to render: 3h, 90m, 45s or seconds\n"
    "                        (default 2h)\n"
    "  --soundfont SF2       the SoundFont to play with; default FluidR3_GM.sf2\n"
    "                        (fluid-soundfont-gm) when installed, else\n"
    "                        TimGM6mb.sf2 (timgm6mb-soundfont)\n";

constexpr const char* kCopyHelp =
    "Usage: verselane-cli copy IN OUT [--salvage]\n"
    "\n"
    "Reads IN and writes the song unchanged to OUT (replacing OUT). OUT may be a\n"
    "character device or a named pipe, written in place, or - for standard\n"
    "output. A damaged IN (one that could be read only in part) is not written,\n"
    "unless --salvage writes what could be read, each track closed properly.\n";

constexpr const char* kCheckHelp =
    "Usage: verselane-cli check FILE... [--json] [--level LEVEL]\n"
    "                                   [--for soft-karaoke|lyrics|both]\n"
    "                                   [--salvage] [-r]\n"
    "\n"
    "Checks the words of each song against what players need and prints one line\n"
    "per finding:\n"
    "  FILE: LEVEL: PLAYERS: track N event M at TIME: what is wrong [repair: NAME]\n"
    "then a summary line. LEVEL is \"will not show\", \"shows wrong\" or \"advice\";\n"
    "PLAYERS is soft-karaoke (players of Soft Karaoke text), lyrics (keyboards and\n"
    "players that read lyric events) or both. 'verselane-cli fix' makes the repairs.\n"
    "\n"
    "Options:\n"
    "  --json                one JSON document instead of the lines\n"
    "  --level LEVEL         exit 1 when a file has a finding at LEVEL or worse:\n"
    "                        will-not-show (default), shows-wrong or advice\n"
    "  --for PLAYERS         only the findings for these players (default both)\n"
    "  --salvage             check damaged files on what could be read\n"
    "  -r, --recursive       take the songs of the subfolders of input folders too\n"
    "\n"
    "A folder among the files stands for the songs in it (.mid, .midi, .kar,\n"
    ".rmi); with -r also those of its subfolders. A damaged file (one that could\n"
    "be read only in part) is reported with what is damaged and not checked,\n"
    "unless --salvage checks what could be read (still reporting the damage).\n"
    "\n"
    "With --json the output is one JSON array, in ASCII (other characters as\n"
    "\\u escapes), one object per file: \"file\" (its name; bytes that are not\n"
    "UTF-8 are replaced by U+FFFD, and \"file_hex\" then holds the name's bytes\n"
    "in hexadecimal), \"read\" (\"complete\", \"partial\" or \"failed\"),\n"
    "\"checked\" (true or false), \"failed\" (true when the file makes the exit\n"
    "status 1), \"error\" (why it was not checked, when it was not),\n"
    "\"damage\" (what is damaged, for a partial read) and \"findings\".\n"
    "\n"
    "Exit status: 0 when every file was checked and none has a finding at --level\n"
    "or worse, 1 when one has, or could not be read whole (without --salvage) or\n"
    "at all, or a folder held no song; 2 for a command line that could not be\n"
    "understood.\n";

constexpr const char* kFixHelp =
    "Usage: verselane-cli fix IN... [-o OUT | --out-dir DIR]\n"
    "                        [--for soft-karaoke|lyrics|both] [--encoding NAME]\n"
    "                        [--force] [--salvage] [-r] [-j N]\n"
    "\n"
    "Makes the safe repairs of what 'verselane-cli check' finds for the players\n"
    "named, and writes NAME.fixed.EXT beside each input. Each repair changes only\n"
    "what it names; the sung words stay the same. With --for soft-karaoke the\n"
    "lyric events that repeat the karaoke text go, with --for lyrics the karaoke\n"
    "text that repeats the lyrics; with both (the default) both stay. A song\n"
    "that needs no repair is reported (\"nothing to repair\") and not written.\n"
    "\n"
    "Options:\n"
    "  -o OUT                the output file (one input only)\n"
    "  --out-dir DIR         write the repaired files into DIR (made when missing)\n"
    "  --for PLAYERS         soft-karaoke, lyrics or both (default)\n"
    "  --encoding NAME       put every text into this encoding (UTF-8, or a code\n"
    "                        page such as WINDOWS-1252, SHIFT_JIS, WINDOWS-1251);\n"
    "                        default: only a song that mixes encodings, into UTF-8\n"
    "  --force               replace output files that exist already\n"
    "  -r, --recursive       take the songs of the subfolders of input folders too\n"
    "  --salvage             repair damaged files as far as they could be read\n"
    "  -j N                  repair N files at a time (default: one per processor)\n";

constexpr const char* kFixStatus =
    "\n"
    "Exit status: 0 when every song was repaired or needed no repair, 1 when a\n"
    "file failed (it could not be read, was damaged, could not be written, or a\n"
    "folder held no song), 2 for a command line that could not be understood.\n";

// Walks the arguments of one command: options with a value (as "--name VALUE"
// or "--name=VALUE"), switches, and the remaining words.
class ArgumentWalker {
  public:
    explicit ArgumentWalker(const std::vector<std::string>& args) : args_(args) {}

    // Calls `on_value(name, value)` for options listed in `with_value`,
    // `on_switch(name)` for the others, and collects the other words.
    // Returns an error message, or the empty string.
    std::string Walk(
        const std::vector<std::string>& with_value, const std::vector<std::string>& switches,
        const std::function<std::string(const std::string&, const std::string&)>& on_value,
        const std::function<void(const std::string&)>& on_switch) {
        bool only_words = false;
        for (size_t i = 1; i < args_.size(); ++i) {
            const std::string& a = args_[i];
            if (only_words || a.size() < 2 || a[0] != '-') {
                words_.push_back(a);
                continue;
            }
            if (a == "--") {
                only_words = true;
                continue;
            }
            std::string name = a;
            std::optional<std::string> value;
            if (size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
                name = a.substr(0, eq);
                value = a.substr(eq + 1);
            }
            if (Listed(with_value, name)) {
                if (!value) {
                    if (i + 1 >= args_.size()) return "option " + name + " needs a value";
                    value = args_[++i];
                }
                std::string error = on_value(name, *value);
                if (!error.empty()) return error;
            } else if (Listed(switches, name) && !value) {
                on_switch(name);
            } else {
                return "unknown option: " + a;
            }
        }
        return {};
    }

    const std::vector<std::string>& Words() const { return words_; }

  private:
    static bool Listed(const std::vector<std::string>& list, const std::string& name) {
        for (const std::string& s : list) {
            if (s == name) return true;
        }
        return false;
    }

    const std::vector<std::string>& args_;
    std::vector<std::string> words_;
};

std::optional<int> ParseCount(const std::string& text, int lowest) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < lowest) return std::nullopt;
    return value;
}

std::string TrackValue(const std::string& value, std::optional<int>& track) {
    track = ParseCount(value, 0);
    if (!track) return "--track needs a track number from 0: " + value;
    return {};
}

ParsedCommand ParseInfo(const std::vector<std::string>& args) {
    InfoCommand command;
    ArgumentWalker walker(args);
    std::string error = walker.Walk(
        {"--encoding"}, {},
        [&](const std::string&, const std::string& v) {
            command.Encoding = v;
            return std::string();
        },
        [](const std::string&) {});
    if (error.empty() && walker.Words().size() != 1) error = "info takes one FILE";
    if (!error.empty()) return UsageError{error, "info"};
    command.File = walker.Words()[0];
    return command;
}

ParsedCommand ParseCopy(const std::vector<std::string>& args) {
    ArgumentWalker walker(args);
    bool salvage = false;
    std::string error = walker.Walk(
        {}, {"--salvage"}, [](const std::string&, const std::string&) { return std::string(); },
        [&](const std::string&) { salvage = true; });
    if (error.empty() && walker.Words().size() != 2) error = "copy takes IN and OUT";
    if (error.empty() && walker.Words()[1].empty()) error = "the output file name is empty";
    if (!error.empty()) return UsageError{error, "copy"};
    return CopyCommand{walker.Words()[0], walker.Words()[1], salvage};
}

ParsedCommand ParseLyrics(const std::vector<std::string>& args) {
    LyricsCommand command;
    ArgumentWalker walker(args);
    std::string error = walker.Walk(
        {"--from", "--track", "--encoding"}, {"--follow", "--syllables"},
        [&](const std::string& name, const std::string& v) -> std::string {
            if (name == "--track") return TrackValue(v, command.Track);
            if (name == "--encoding") {
                command.Encoding = v;
                return {};
            }
            if (v == "lyrics") {
                command.From = LineSource::Lyrics;
            } else if (v == "karaoke") {
                command.From = LineSource::Karaoke;
            } else {
                return "--from takes lyrics or karaoke, not " + v;
            }
            return {};
        },
        [&](const std::string& flag) {
            (flag == "--follow" ? command.Follow : command.Syllables) = true;
        });
    if (error.empty() && walker.Words().size() != 1) error = "lyrics takes one FILE";
    if (!error.empty()) return UsageError{error, "lyrics"};
    command.File = walker.Words()[0];
    return command;
}

std::optional<double> ParseLength(const std::string& Text) {
    double value = 0;
    size_t used = 0;
    try {
        value = std::stod(Text, &used);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    const std::string unit = Text.substr(used);
    const double scale = unit.empty() || unit == "s" ? 1
                         : unit == "m"               ? 60
                         : unit == "h"               ? 3600
                                                     : 0;
    if (scale == 0 || !(value > 0) || !std::isfinite(value)) return std::nullopt;
    return value * scale;
}

ParsedCommand ParseRender(const std::vector<std::string>& args) {
    RenderCommand command;
    ArgumentWalker walker(args);
    std::string error = walker.Walk(
        {"-o", "--output", "--soundfont", "--max-length"}, {},
        [&](const std::string& name, const std::string& v) {
            if (name == "--max-length") {
                const std::optional<double> seconds = ParseLength(v);
                if (!seconds) return "--max-length takes a length such as 2h, 90m or 600: " + v;
                command.MaxSeconds = *seconds;
                return std::string();
            }
            (name == "--soundfont" ? command.SoundFont : command.Output) = v;
            return std::string();
        },
        [](const std::string&) {});
    if (error.empty() && walker.Words().size() != 1) error = "render takes one FILE";
    if (error.empty() && command.Output.empty()) error = "render needs -o OUT.wav";
    if (!error.empty()) return UsageError{error, "render"};
    command.File = walker.Words()[0];
    return command;
}

ParsedCommand ParseConvert(const std::vector<std::string>& args, ConversionDirection direction) {
    const std::string name = args[0];
    const bool to_karaoke = direction == ConversionDirection::LyricsToKaraoke;
    ConvertCommand command;
    command.Direction = direction;
    std::vector<std::string> with_value = {"-o",      "--output", "--out-dir",
                                           "--track", "-j",       "--jobs"};
    std::vector<std::string> switches = {"--force", "--salvage", "-r", "--recursive"};
    if (to_karaoke) {
        with_value.insert(with_value.end(), {"--language", "--title", "--artist", "--encoding"});
        switches.push_back("--drop-lyrics");
    } else {
        switches.push_back("--replace");
    }
    ArgumentWalker walker(args);
    std::string error = walker.Walk(
        with_value, switches,
        [&](const std::string& option, const std::string& v) -> std::string {
            if (option == "-o" || option == "--output") {
                if (v.empty()) return "-o needs a file name";
                command.Output = v;
            } else if (option == "--out-dir") {
                if (v.empty()) return "--out-dir needs a folder name";
                command.OutputDir = v;
            } else if (option == "--track") {
                return TrackValue(v, command.Track);
            } else if (option == "-j" || option == "--jobs") {
                std::optional<int> jobs = ParseCount(v, 1);
                if (!jobs) return "-j needs a number of jobs from 1: " + v;
                command.Jobs = *jobs;
            } else if (option == "--language") {
                command.Language = v;
            } else if (option == "--title") {
                command.Title = v;
            } else if (option == "--artist") {
                command.Artist = v;
            } else if (option == "--encoding") {
                try {
                    TypedText("", v);
                } catch (const std::invalid_argument&) {
                    return "unknown encoding: " + v;
                }
                command.Encoding = v;
            }
            return {};
        },
        [&](const std::string& option) {
            if (option == "--force") command.Force = true;
            if (option == "--replace") command.Replace = true;
            if (option == "--drop-lyrics") command.KeepLyrics = false;
            if (option == "-r" || option == "--recursive") command.Recursive = true;
            if (option == "--salvage") command.Salvage = true;
        });
    command.Inputs = walker.Words();
    if (error.empty() && command.Inputs.empty()) error = name + " needs at least one input file";
    if (error.empty() && !command.Output.empty() && !command.OutputDir.empty()) {
        error = "-o and --out-dir cannot be used together";
    }
    if (error.empty() && !command.Output.empty() && command.Inputs.size() != 1) {
        error = "-o names the output of one input; use --out-dir for several";
    }
    if (!error.empty()) return UsageError{error, name};
    return command;
}

ParsedCommand ParseCheck(const std::vector<std::string>& args) {
    CheckCommand command;
    ArgumentWalker walker(args);
    std::string error = walker.Walk(
        {"--level", "--for"}, {"--json", "-r", "--recursive", "--salvage"},
        [&](const std::string& name, const std::string& v) -> std::string {
            if (name == "--level" && !ParseSeverity(v, command.Level)) {
                return "--level takes will-not-show, shows-wrong or advice, not " + v;
            }
            if (name == "--for" && !ParseFamily(v, command.For)) {
                return "--for takes soft-karaoke, lyrics or both, not " + v;
            }
            return {};
        },
        [&](const std::string& option) {
            if (option == "--json") command.Json = true;
            if (option == "-r" || option == "--recursive") command.Recursive = true;
            if (option == "--salvage") command.Salvage = true;
        });
    command.Files = walker.Words();
    if (error.empty() && command.Files.empty()) error = "check needs at least one FILE";
    if (!error.empty()) return UsageError{error, "check"};
    return command;
}

ParsedCommand ParseFix(const std::vector<std::string>& args) {
    FixCommand command;
    ArgumentWalker walker(args);
    std::string error = walker.Walk(
        {"-o", "--output", "--out-dir", "--for", "--encoding", "-j", "--jobs"},
        {"--force", "--salvage", "-r", "--recursive"},
        [&](const std::string& option, const std::string& v) -> std::string {
            if ((option == "-o" || option == "--output") && v.empty())
                return "-o needs a file name";
            if (option == "--out-dir" && v.empty()) return "--out-dir needs a folder name";
            if (option == "-o" || option == "--output") command.Output = v;
            if (option == "--out-dir") command.OutputDir = v;
            if (option == "--encoding") command.Encoding = v;
            if (option == "--for" && !ParseFamily(v, command.For)) {
                return "--for takes soft-karaoke, lyrics or both, not " + v;
            }
            if (option == "-j" || option == "--jobs") {
                std::optional<int> jobs = ParseCount(v, 1);
                if (!jobs) return "-j needs a number of jobs from 1: " + v;
                command.Jobs = *jobs;
            }
            return {};
        },
        [&](const std::string& option) {
            if (option == "--force") command.Force = true;
            if (option == "--salvage") command.Salvage = true;
            if (option == "-r" || option == "--recursive") command.Recursive = true;
        });
    command.Inputs = walker.Words();
    if (error.empty() && command.Inputs.empty()) error = "fix needs at least one input file";
    if (error.empty() && !command.Output.empty() && !command.OutputDir.empty()) {
        error = "-o and --out-dir cannot be used together";
    }
    if (error.empty() && !command.Output.empty() && command.Inputs.size() != 1) {
        error = "-o names the output of one input; use --out-dir for several";
    }
    if (!error.empty()) return UsageError{error, "fix"};
    return command;
}

bool AsksForHelp(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--") return false;
        if (a == "-h" || a == "--help") return true;
    }
    return false;
}

}  // namespace

std::string ProgramHelp() {
    return kProgramHelp;
}

std::string CommandHelp(const std::string& Command) {
    static const std::map<std::string, const char*> kHelp = {
        {"info", kInfoHelp},
        {"lyrics", kLyricsHelp},
        {"to-karaoke", kToKaraokeHelp},
        {"to-lyrics", kToLyricsHelp},
        {"copy", kCopyHelp},
        {"check", kCheckHelp},
        {"fix", kFixHelp},
        {"render", kRenderHelp},
    };
    if (Command == "align") return AlignHelp();
    auto it = kHelp.find(Command);
    if (it == kHelp.end()) return {};
    std::string help = it->second;
    if (Command == "to-karaoke" || Command == "to-lyrics") {
        help = help + kBatchRules + kConversionStatus;
    } else if (Command == "fix") {
        help = help + kBatchRules + kFixStatus;
    }
    return help;
}

std::string VersionText() {
    return std::string("verselane-cli ") + VERSELANE_VERSION + "\n";
}

ParsedCommand ParseCommandLine(const std::vector<std::string>& Args) {
    if (Args.empty()) return UsageError{"no command given", ""};
    const std::string& command = Args[0];
    if (command == "-h" || command == "--help" || command == "help") {
        if (command == "help" && Args.size() > 1 && !CommandHelp(Args[1]).empty()) {
            return HelpRequest{CommandHelp(Args[1])};
        }
        return HelpRequest{ProgramHelp()};
    }
    if (command == "--version") return HelpRequest{VersionText()};
    if (CommandHelp(command).empty()) return UsageError{"unknown command: " + command, ""};
    if (AsksForHelp(Args)) return HelpRequest{CommandHelp(command)};

    if (command == "info") return ParseInfo(Args);
    if (command == "copy") return ParseCopy(Args);
    if (command == "lyrics") return ParseLyrics(Args);
    if (command == "check") return ParseCheck(Args);
    if (command == "fix") return ParseFix(Args);
    if (command == "render") return ParseRender(Args);
    if (command == "align") {
        AlignCommand align;
        const std::string error = ParseAlignArguments(Args, align);
        if (!error.empty()) return UsageError{error, "align"};
        return align;
    }
    if (command == "to-karaoke") return ParseConvert(Args, ConversionDirection::LyricsToKaraoke);
    return ParseConvert(Args, ConversionDirection::KaraokeToLyrics);
}

}  // namespace verselane::cli
