#include "cli/options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>

#include "encoding/text_encoding.h"

namespace verselane::cli {

namespace {

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

constexpr const char* kFixStatus =
    "\n"
    "Exit status: 0 when every song was repaired or needed no repair, 1 when a\n"
    "file failed (it could not be read, was damaged, could not be written, or a\n"
    "folder held no song), 2 for a command line that could not be understood.\n";

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

// The help of the program and of each command, written from their
// definitions in the form of GNU programs: a usage line, what the command
// does, its options, then its rules and exit status.
class HelpFormat : public CLI::Formatter {
  public:
    // What a command takes after its options, and what it does.
    struct Page {
        std::string Words;
        std::string Prose;
    };
    std::map<std::string, Page> Pages;

    std::string make_help(const CLI::App* app, std::string,
                          CLI::AppFormatMode mode) const override {
        const bool program = app->get_parent() == nullptr;
        const auto page = Pages.find(program ? std::string() : app->get_name());
        std::string help = "Usage: verselane-cli ";
        help += program ? "COMMAND [ARGS]" : app->get_name() + " [OPTIONS] " + page->second.Words;
        help += "\n\n" + page->second.Prose;
        if (program) help += make_subcommands(app, mode);
        help += Trimmed(make_groups(app, mode));
        const std::string footer = app->get_footer();
        if (!footer.empty()) help += "\n" + Trimmed(footer);
        return help;
    }

    // Ends with one line end.
    static std::string Trimmed(std::string text) {
        while (!text.empty() && text.back() == '\n') text.pop_back();
        return text + "\n";
    }

    std::string make_subcommand(const CLI::App* sub) const override {
        std::stringstream line;
        const auto page = Pages.find(sub->get_name());
        CLI::detail::format_help(
            line, sub->get_name() + (page == Pages.end() ? "" : " " + page->second.Words),
            sub->get_description(), column_width_);
        return line.str();
    }

    std::string make_option_name(const CLI::Option* option, bool positional) const override {
        std::string names = CLI::Formatter::make_option_name(option, positional);
        for (size_t at = names.find(','); at != std::string::npos; at = names.find(',', at + 2))
            names.replace(at, 1, ", ");
        return names;
    }
};

// What the options of every command hold once parsed: the words and the
// values as typed, checked and turned into a command afterwards, so that every
// message is the program's own.
struct TypedOptions {
    std::vector<std::string> words;
    std::string output, out_dir, track, jobs, language, title, artist, encoding, from, level,
        players, soundfont, max_length, melody, syllables, to, sheet_encoding;
    std::vector<std::string> pins;
    bool force = false, salvage = false, recursive = false, drop_lyrics = false, replace = false,
         follow = false, json = false, report = false, syllable_list = false;
};

// The program with its commands, their options bound to `values`. Each
// command's help is written from these definitions: what it does above its
// options, its rules and exit status below.
struct CommandLine {
    CLI::App app{
        "Moves song lyrics inside Standard MIDI Files: lyric events to Soft Karaoke\n"
        "text and back.",
        "verselane-cli"};
    TypedOptions values;
    bool version_asked = false;                 // answered before parsing; listed for the help
    std::map<std::string, CLI::Option*> given;  // "command option" -> its definition
    std::shared_ptr<HelpFormat> format = std::make_shared<HelpFormat>();

    CommandLine();

    CLI::App* Command(const std::string& name, const std::string& words, const std::string& summary,
                      const std::string& description, const std::string& footer);
    void Value(CLI::App* command, const std::string& names, std::string& value,
               const std::string& type, const std::string& help);
    void Switch(CLI::App* command, const std::string& names, bool& value, const std::string& help);
    void Words(CLI::App* command, const std::string& name, const std::string& help);
    void Output(CLI::App* command, const std::string& default_name);
    void BatchSwitches(CLI::App* command, const std::string& verb);
    bool Given(const CLI::App* command, const std::string& option) const {
        auto it = given.find(command->get_name() + " " + option);
        return it != given.end() && it->second->count() > 0;
    }
};

CLI::App* CommandLine::Command(const std::string& name, const std::string& words,
                               const std::string& summary, const std::string& description,
                               const std::string& footer) {
    CLI::App* command = app.add_subcommand(name, summary);
    command->group("Commands");
    format->Pages[name] = {words, description};
    // Unknown options are kept and reported in the program's words.
    command->allow_extras();
    command->footer(footer);
    return command;
}

void CommandLine::Value(CLI::App* command, const std::string& names, std::string& value,
                        const std::string& type, const std::string& help) {
    CLI::Option* option = command->add_option(names, value, help)->type_name(type);
    for (const std::string& each : CLI::detail::split(names, ','))
        given[command->get_name() + " " + each] = option;
}

void CommandLine::Switch(CLI::App* command, const std::string& names, bool& value,
                         const std::string& help) {
    // A switch takes no value ("--force=yes" is no switch).
    command->add_flag(names, value, help)->disable_flag_override();
}

void CommandLine::Words(CLI::App* command, const std::string& name, const std::string& help) {
    // Named in the usage line; not listed among the options.
    command->add_option(name, values.words, help)->expected(0, -1)->group("");
}

void CommandLine::Output(CLI::App* command, const std::string& default_name) {
    Value(command, "-o,--output", values.output, "OUT", "the output file (one song only)");
    Value(command, "--out-dir", values.out_dir, "DIR",
          "write " + default_name + " into DIR (made when missing);\ndefault: " + default_name +
              " beside each input");
}

void CommandLine::BatchSwitches(CLI::App* command, const std::string& verb) {
    Switch(command, "--force", values.force, "replace output files that exist already");
    Switch(command, "-r,--recursive", values.recursive,
           "take the songs of the subfolders of input folders too");
    Switch(command, "--salvage", values.salvage,
           verb + " damaged files as far as they could be read");
    Value(command, "-j,--jobs", values.jobs, "N",
          verb + " N files at a time (default: one per processor)");
}

CommandLine::CommandLine() {
    app.formatter(format);
    format->Pages[""] = {"", app.get_description() + "\n"};
    app.set_help_flag("-h,--help", "show this help, or with a command that command's help");
    app.footer(
        "The inputs of to-karaoke, to-lyrics, check and fix are songs or folders of\n"
        "songs.\n"
        "\n"
        "Exit status: 0 when everything succeeded, 1 when a file failed (could not be\n"
        "read, or read only in part; could not be written; for check, a finding at\n"
        "its --level; writing to the standard output failed), 2 for a command line\n"
        "that could not be understood. A song without words to convert is no\n"
        "failure. 'verselane-cli COMMAND --help' tells each command's own.");
    app.add_flag("--version", version_asked, "show the version");
    format->column_width(24);

    CLI::App* info =
        Command("info", "FILE",
                "the header, the tracks, tempo, signatures, texts, and\n"
                "the track that each conversion would take",
                "Shows the header, the tracks (numbered from 0, with their lyric and text\n"
                "events), tempo, time signature, key signature (\"2 flats, G minor\"; \"not\n"
                "set\" for what FILE does not set), the text encoding, the karaoke text and\n"
                "the lyric text of FILE line by line, and which track each conversion would\n"
                "take when no --track is given.\n"
                "\n"
                "A damaged FILE (one that could be read only in part) is shown as far as it\n"
                "could be read, after what is damaged.\n",
                "Exit status: 0 when FILE was read whole and shown, 1 when it could not be\n"
                "read whole or the output could not be written, 2 for a command line that\n"
                "could not be understood (an encoding iconv does not know among them).\n");
    Words(info, "FILE", "the song");
    Value(info, "--encoding", values.encoding, "NAME",
          "read the texts in this encoding (default: detected;\n"
          "see 'verselane-cli lyrics --help' for the names)");

    CLI::App* lyrics =
        Command("lyrics", "FILE", "the words as a karaoke player shows them, line by line",
                "Prints the words as a karaoke player shows them: one line per sung line,\n"
                "each with its start time as minutes:seconds.hundredths, and an empty line\n"
                "between paragraphs. Karaoke text lines of information (\"@\") are left out.\n",
                "Exit status: 0 when FILE was read whole and its words shown, 1 when it could\n"
                "not be read whole (what could be read is shown), holds no words to show\n"
                "(none of the kind or in the track asked for), or the output could not be\n"
                "written, 2 for a command line that could not be understood.\n");
    Words(lyrics, "FILE", "the song");
    Value(lyrics, "--from", values.from, "lyrics|karaoke",
          "take the words from lyric events or karaoke text\n"
          "events (default: karaoke text when the song has a\n"
          "Soft Karaoke track, else lyric events, else text\n"
          "events)");
    Value(lyrics, "--track", values.track, "N", "take them from track N (as 'info' numbers them)");
    Switch(lyrics, "--follow", values.follow,
           "print each line when it is due, as the song plays\n(no sound; Ctrl+C ends it)");
    Switch(lyrics, "--syllables", values.syllable_list,
           "print each sung syllable instead, numbered from 1 as\n"
           "'retime' counts them: NUMBER, TICK, TIME and the text\n"
           "(\\ opens a paragraph, / a line, - goes on a word)");
    Value(lyrics, "--encoding", values.encoding, "NAME",
          "read the texts in this encoding; by default UTF-8\n"
          "when they are valid UTF-8, else the encoding detected\n"
          "over all texts of the song, else WINDOWS-1252.\n"
          "Common names: UTF-8, WINDOWS-1252, ISO-8859-1,\n"
          "SHIFT_JIS, GBK, BIG5, EUC-KR, WINDOWS-1251, KOI8-R,\n"
          "WINDOWS-1250, ISO-8859-2, TIS-620, WINDOWS-1258\n"
          "(any name that iconv knows is taken, in any case,\n"
          "and the labels that 'info' prints, such as\n"
          "\"Vietnamese (Windows-1258)\")");

    CLI::App* to_karaoke =
        Command("to-karaoke", "IN...", "lyric events to Soft Karaoke text (NAME.kar)",
                "Turns the lyric events of one track into Soft Karaoke text: a \"Soft Karaoke\"\n"
                "track and a \"Words\" track are inserted behind track 0. The lyric events\n"
                "stay where they are (for keyboards, which read them) unless --drop-lyrics is\n"
                "given. A format 0 song becomes format 1.\n",
                std::string(kBatchRules + 1) + kConversionStatus);
    Words(to_karaoke, "IN", "songs or folders of songs");
    Output(to_karaoke, "NAME.kar");
    Value(to_karaoke, "--track", values.track, "N",
          "the track of the lyrics, numbered from 0 as 'info'\n"
          "shows; default: the track whose name suggests words\n"
          "(\"Lyrics\", \"Words\", \"Vocals\", ...) if it holds lyric\n"
          "events, else the track holding the most");
    Value(to_karaoke, "--language", values.language, "L",
          "the \"@L\" line (default: the song's, else ENGL)");
    Value(to_karaoke, "--title", values.title, "T",
          "the first \"@T\" line (default: the song's \"@T\" title,\n"
          "else the name of track 0 unless it is generic)");
    Value(to_karaoke, "--artist", values.artist, "A",
          "the second \"@T\" line (default: the song's, else empty)");
    Value(to_karaoke, "--encoding", values.encoding, "NAME",
          "write the typed lines in this encoding (default: the\n"
          "encoding of the song's words; UTF-8 when they are\n"
          "UTF-8 or that encoding cannot hold the text, with a\n"
          "note on stderr)");
    Switch(to_karaoke, "--drop-lyrics", values.drop_lyrics,
           "remove the lyric events of the converted track, so the\n"
           "words are in the song once, as karaoke text");
    BatchSwitches(to_karaoke, "convert");

    CLI::App* to_lyrics =
        Command("to-lyrics", "IN...", "Soft Karaoke text to lyric events (NAME.lyrics.mid)",
                "Turns the karaoke text events of one track into lyric events. By default\n"
                "each text event stays and its lyric is added behind it; with --replace the\n"
                "text events become the lyrics. Each lyric holds its syllable without the\n"
                "mark; a \"\\\" mark becomes LF CR and a \"/\" mark CR at the end of the\n"
                "lyric before it, where a gap that opens a syllable goes too. \"@\" lines\n"
                "are not sung: they stay text events.\n",
                std::string(kBatchRules + 1) + kConversionStatus);
    Words(to_lyrics, "IN", "songs or folders of songs");
    Output(to_lyrics, "NAME.lyrics.mid");
    Value(to_lyrics, "--track", values.track, "N",
          "the track of the karaoke text, numbered from 0 as\n"
          "'info' shows; default: the track whose name suggests\n"
          "words (\"Words\", \"Lyrics\", ...) if it holds text\n"
          "events, else the track holding the most");
    Switch(to_lyrics, "--replace", values.replace,
           "replace the text events instead of keeping them");
    BatchSwitches(to_lyrics, "convert");

    CLI::App* copy =
        Command("copy", "IN OUT", "read IN and write it unchanged to OUT",
                "Reads IN and writes the song unchanged to OUT (replacing OUT). OUT may be a\n"
                "character device or a named pipe, written in place, or - for standard\n"
                "output. A damaged IN (one that could be read only in part) is not written,\n"
                "unless --salvage writes what could be read, each track closed properly.\n",
                "");
    Words(copy, "IN", "the song read, then OUT, the file written");
    Switch(copy, "--salvage", values.salvage, "write a damaged IN as far as it could be read");

    CLI::App* check =
        Command("check", "FILE...", "what will not show, or show wrong, in which players",
                "Checks the words of each song against what players need and prints one line\n"
                "per finding:\n"
                "  FILE: LEVEL: PLAYERS: track N event M at TIME: what is wrong [repair: NAME]\n"
                "then a summary line. LEVEL is \"will not show\", \"shows wrong\" or \"advice\";\n"
                "PLAYERS is soft-karaoke (players of Soft Karaoke text), lyrics (keyboards and\n"
                "players that read lyric events) or both. 'verselane-cli fix' makes the repairs.\n",
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
                "understood.\n");
    Words(check, "FILE", "songs or folders of songs");
    Switch(check, "--json", values.json, "one JSON document instead of the lines");
    Value(check, "--level", values.level, "LEVEL",
          "exit 1 when a file has a finding at LEVEL or worse:\n"
          "will-not-show (default), shows-wrong or advice");
    Value(check, "--for", values.players, "PLAYERS",
          "only the findings for these players: soft-karaoke,\nlyrics or both (default)");
    Switch(check, "--salvage", values.salvage, "check damaged files on what could be read");
    Switch(check, "-r,--recursive", values.recursive,
           "take the songs of the subfolders of input folders too");

    CLI::App* fix =
        Command("fix", "IN...", "the repairs that are safe (NAME.fixed.mid)",
                "Makes the safe repairs of what 'verselane-cli check' finds for the players\n"
                "named, and writes NAME.fixed.EXT beside each input. Each repair changes only\n"
                "what it names; the sung words stay the same. With --for soft-karaoke the\n"
                "lyric events that repeat the karaoke text go, with --for lyrics the karaoke\n"
                "text that repeats the lyrics; with both (the default) both stay. A song\n"
                "that needs no repair is reported (\"nothing to repair\") and not written.\n",
                std::string(kBatchRules + 1) + kFixStatus);
    Words(fix, "IN", "songs or folders of songs");
    Output(fix, "NAME.fixed.EXT");
    Value(fix, "--for", values.players, "PLAYERS", "soft-karaoke, lyrics or both (default)");
    Value(fix, "--encoding", values.encoding, "NAME",
          "put every text into this encoding (UTF-8, or a code\n"
          "page such as WINDOWS-1252, SHIFT_JIS, WINDOWS-1251);\n"
          "default: only a song that mixes encodings, into UTF-8");
    BatchSwitches(fix, "repair");

    CLI::App* render =
        Command("render", "FILE -o OUT", "play the song into a WAV file",
                "Plays the song with FluidSynth into a WAV file (44.1 kHz, 16-bit stereo):\n"
                "every track with its tempo changes, then a second for the last notes to\n"
                "ring out. A song longer than --max-length, or whose WAV file would not fit\n"
                "the free space where it goes, is not rendered.\n",
                "");
    Words(render, "FILE", "the song");
    Value(render, "-o,--output", values.output, "OUT.wav",
          "the WAV file to write (replaced whole when it exists);\n"
          "a named pipe, a character device or - (standard\n"
          "output) is written as a stream");
    Value(render, "--max-length", values.max_length, "L",
          "the longest song to render: 3h, 90m, 45s or seconds\n(default 2h)");
    Value(render, "--soundfont", values.soundfont, "SF2",
          "the SoundFont to play with; default FluidR3_GM.sf2\n"
          "(fluid-soundfont-gm) when installed, else\n"
          "TimGM6mb.sf2 (timgm6mb-soundfont)");

    // retime reads its own arguments (cli/retime_command.cpp); it is listed
    // here so that the program's help names it.
    Command("retime", "SONG --pin I=TICK...",
            "the words re-aligned around pinned syllables\n(NAME.retimed.EXT)", "", "")
        ->prefix_command();

    CLI::App* align =
        Command("align", "SONG SHEET", "words from a lyric sheet onto the melody (NAME.kar)",
                kAlignDescription, kAlignStatus);
    Words(align, "SONG", "the song, then SHEET, the lyric sheet");
    Value(align, "-o,--output", values.output, "OUT",
          "the output (default NAME.kar, NAME.aligned.kar for\na .kar song)");
    Value(align, "--melody", values.melody, "N",
          "the track the words go on (default: chosen, and shown)");
    Value(align, "--language", values.language, "L",
          "en, de, fr, es, it, pt or nl (default: the song's @L\n"
          "line, else guessed from the words)");
    Value(align, "--syllables", values.syllables, "MODE",
          "auto (default): words without marks are split as sung;\n"
          "as-written: the sheet's words and \"-\" marks are the\n"
          "syllables");
    CLI::Option* pin = align->add_option("--pin", values.pins,
                                         "syllable I (from 1, after splitting) lands on TICK");
    pin->type_name("I=TICK")->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    Value(align, "--to", values.to, "WHAT", "lyrics, karaoke or both (default)");
    Value(align, "--encoding", values.encoding, "NAME",
          "the encoding of the words in a song without words\n"
          "(default UTF-8); a song with words keeps its own");
    Value(align, "--sheet-encoding", values.sheet_encoding, "NAME",
          "the sheet's encoding (default UTF-8)");
    Switch(align, "--replace", values.replace,
           "replace the words the song has (else it is refused)");
    Switch(align, "--force", values.force, "replace an existing output file");
    Switch(align, "--report", values.report, "list the doubtful syllables with time and reason");
}

// The command parsed, from the values typed; or the first thing wrong.
ParsedCommand MakeCommand(const CommandLine& line, const CLI::App* command) {
    const TypedOptions& v = line.values;
    const std::string name = command->get_name();
    auto given = [&](const char* option) { return line.Given(command, option); };
    auto usage = [&](const std::string& message) { return UsageError{message, name}; };
    // Options the command does not know.
    for (const std::string& extra : command->remaining()) {
        if (extra.size() > 1 && extra[0] == '-') return usage("unknown option: " + extra);
    }
    const std::vector<std::string>& words = v.words;
    if (name == "info") {
        if (words.size() != 1) return usage("info takes one FILE");
        return InfoCommand{words[0], v.encoding};
    }
    if (name == "copy") {
        if (words.size() != 2) return usage("copy takes IN and OUT");
        if (words[1].empty()) return usage("the output file name is empty");
        return CopyCommand{words[0], words[1], v.salvage};
    }
    if (name == "lyrics") {
        LyricsCommand lyrics;
        if (given("--from")) {
            if (v.from == "lyrics") {
                lyrics.From = LineSource::Lyrics;
            } else if (v.from == "karaoke") {
                lyrics.From = LineSource::Karaoke;
            } else {
                return usage("--from takes lyrics or karaoke, not " + v.from);
            }
        }
        if (given("--track")) {
            if (std::string error = TrackValue(v.track, lyrics.Track); !error.empty())
                return usage(error);
        }
        lyrics.Encoding = v.encoding;
        lyrics.Follow = v.follow;
        lyrics.Syllables = v.syllable_list;
        if (words.size() != 1) return usage("lyrics takes one FILE");
        lyrics.File = words[0];
        return lyrics;
    }
    if (name == "render") {
        RenderCommand render;
        if (given("--max-length")) {
            const std::optional<double> seconds = ParseLength(v.max_length);
            if (!seconds)
                return usage("--max-length takes a length such as 2h, 90m or 600: " + v.max_length);
            render.MaxSeconds = *seconds;
        }
        if (words.size() != 1) return usage("render takes one FILE");
        if (v.output.empty()) return usage("render needs -o OUT.wav");
        render.File = words[0];
        render.Output = v.output;
        render.SoundFont = v.soundfont;
        return render;
    }
    if (name == "check") {
        CheckCommand check;
        if (given("--level") && !ParseSeverity(v.level, check.Level))
            return usage("--level takes will-not-show, shows-wrong or advice, not " + v.level);
        if (given("--for") && !ParseFamily(v.players, check.For))
            return usage("--for takes soft-karaoke, lyrics or both, not " + v.players);
        check.Json = v.json;
        check.Recursive = v.recursive;
        check.Salvage = v.salvage;
        check.Files = words;
        if (check.Files.empty()) return usage("check needs at least one FILE");
        return check;
    }
    if (name == "align") {
        AlignCommand align;
        const std::pair<const char*, const std::string*> typed[] = {
            {"--output", &v.output},
            {"--melody", &v.melody},
            {"--language", &v.language},
            {"--syllables", &v.syllables},
            {"--to", &v.to},
            {"--encoding", &v.encoding},
            {"--sheet-encoding", &v.sheet_encoding}};
        for (const auto& [option, value] : typed) {
            if (!given(option)) continue;
            if (std::string error = SetAlignOption(option, *value, align); !error.empty())
                return usage(error);
        }
        for (const std::string& value : v.pins) {
            if (std::string error = SetAlignOption("--pin", value, align); !error.empty())
                return usage(error);
        }
        align.Replace = v.replace;
        align.Force = v.force;
        align.Report = v.report;
        if (words.size() != 2) return usage("align takes SONG and SHEET");
        align.Song = words[0];
        align.Sheet = words[1];
        return align;
    }
    // retime is run on its own arguments before the parsed command is looked at.
    if (name == "retime") return usage("retime reads its own arguments");
    // The commands that write one file per song.
    if (given("-o") && v.output.empty()) return usage("-o needs a file name");
    if (given("--out-dir") && v.out_dir.empty()) return usage("--out-dir needs a folder name");
    int jobs = 0;
    if (given("-j")) {
        const std::optional<int> count = ParseCount(v.jobs, 1);
        if (!count) return usage("-j needs a number of jobs from 1: " + v.jobs);
        jobs = *count;
    }
    std::string error;
    if (words.empty()) error = name + " needs at least one input file";
    if (error.empty() && !v.output.empty() && !v.out_dir.empty())
        error = "-o and --out-dir cannot be used together";
    if (error.empty() && !v.output.empty() && words.size() != 1)
        error = "-o names the output of one input; use --out-dir for several";
    if (name == "fix") {
        FixCommand fix;
        if (given("--for") && !ParseFamily(v.players, fix.For))
            return usage("--for takes soft-karaoke, lyrics or both, not " + v.players);
        if (!error.empty()) return usage(error);
        fix.Inputs = words;
        fix.Output = v.output;
        fix.OutputDir = v.out_dir;
        fix.Encoding = v.encoding;
        fix.Force = v.force;
        fix.Salvage = v.salvage;
        fix.Recursive = v.recursive;
        fix.Jobs = jobs;
        return fix;
    }
    ConvertCommand convert;
    convert.Direction = name == "to-karaoke" ? ConversionDirection::LyricsToKaraoke
                                             : ConversionDirection::KaraokeToLyrics;
    if (given("--track")) {
        if (std::string track_error = TrackValue(v.track, convert.Track); !track_error.empty())
            return usage(track_error);
    }
    if (given("--encoding")) {
        try {
            TypedText("", v.encoding);
        } catch (const std::invalid_argument&) {
            return usage("unknown encoding: " + v.encoding);
        }
        convert.Encoding = v.encoding;
    }
    if (given("--language")) convert.Language = v.language;
    if (given("--title")) convert.Title = v.title;
    if (given("--artist")) convert.Artist = v.artist;
    if (!error.empty()) return usage(error);
    convert.Inputs = words;
    convert.Output = v.output;
    convert.OutputDir = v.out_dir;
    convert.Replace = v.replace;
    convert.KeepLyrics = !v.drop_lyrics;
    convert.Force = v.force;
    convert.Salvage = v.salvage;
    convert.Recursive = v.recursive;
    convert.Jobs = jobs;
    return convert;
}

}  // namespace

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

std::string ProgramHelp() {
    return CommandLine().app.help();
}

std::string CommandHelp(const std::string& Command) {
    CommandLine line;
    try {
        return line.app.get_subcommand(Command)->help();
    } catch (const CLI::OptionNotFound&) {
        return {};
    }
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
    CommandLine line;
    CLI::App* sub = line.app.get_subcommand(command);
    // After "--" every argument is a word, whatever it looks like.
    const auto words_only = std::find(Args.begin(), Args.end(), std::string("--"));
    std::vector<std::string> reversed(std::make_reverse_iterator(words_only), Args.rend());
    try {
        line.app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return HelpRequest{sub->help()};
    } catch (const CLI::ParseError& e) {
        return UsageError{e.what(), command};
    }
    if (words_only != Args.end())
        line.values.words.insert(line.values.words.end(), words_only + 1, Args.end());
    return MakeCommand(line, sub);
}

}  // namespace verselane::cli
