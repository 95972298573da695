#include "cli/options.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>

#include "cli/batch.h"
#include "cli/command_line.h"
#include "encoding/text_encoding.h"

namespace verselane::cli {

namespace {

// Each maker turns the values typed for its command into the command, or
// says the first thing wrong: `given` tells whether an option was typed,
// `usage` words a usage error of the command.
using Given = std::function<bool(const char*)>;
using Usage = std::function<UsageError(const std::string&)>;

ParsedCommand MakeLyrics(const TypedOptions& v, const Given& given, const Usage& usage) {
    const std::vector<std::string>& words = v.words;
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

ParsedCommand MakeRender(const TypedOptions& v, const Given& given, const Usage& usage) {
    const std::vector<std::string>& words = v.words;
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

ParsedCommand MakeCheck(const TypedOptions& v, const Given& given, const Usage& usage) {
    const std::vector<std::string>& words = v.words;
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

ParsedCommand MakeAlign(const TypedOptions& v, const Given& given, const Usage& usage) {
    const std::vector<std::string>& words = v.words;
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

ParsedCommand MakeRetime(const TypedOptions& v, const Given& given, const Usage& usage) {
    RetimeCommand retime;
    if (given("--output")) {
        if (v.output.empty()) return usage("-o needs a file name");
        retime.Output = v.output;
    }
    if (given("--line-starts") && v.line_starts.empty())
        return usage("--line-starts needs a file name");
    if (v.words.size() != 1) return usage("retime takes one SONG");
    if (v.pins.empty() && !given("--line-starts"))
        return usage("retime needs --pin I=TICK or --line-starts FILE");
    for (const std::string& text : v.pins) {
        const auto pin = RetimePin(text);
        if (!pin) return usage("--pin needs I=TICK, a syllable from 1 and a tick: " + text);
        retime.Pins.push_back(*pin);
    }
    retime.Song = v.words[0];
    retime.Force = v.force;
    retime.LineStarts = v.line_starts;
    return retime;
}

// The commands that write one file per song: fix and the conversions.
ParsedCommand MakeBatch(const std::string& name, const TypedOptions& v, const Given& given,
                        const Usage& usage) {
    const std::vector<std::string>& words = v.words;
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
        if (std::string refusal = SongEncodingRefusal(v.encoding); !refusal.empty())
            return usage(refusal);
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

// The command parsed, from the values typed; or the first thing wrong.
ParsedCommand MakeCommand(const CommandLine& line, const CLI::App* command) {
    const TypedOptions& v = line.values;
    const std::string name = command->get_name();
    const Given given = [&](const char* option) { return line.Given(command, option); };
    const Usage usage = [&](const std::string& message) { return UsageError{message, name}; };
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
    if (name == "lyrics") return MakeLyrics(v, given, usage);
    if (name == "render") return MakeRender(v, given, usage);
    if (name == "check") return MakeCheck(v, given, usage);
    if (name == "align") return MakeAlign(v, given, usage);
    if (name == "retime") return MakeRetime(v, given, usage);
    return MakeBatch(name, v, given, usage);
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
