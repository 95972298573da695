#include "cli/command_line.h"

#include <charconv>

namespace verselane::cli {

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

void CommandLine::Pins(CLI::App* command, const std::string& help) {
    command->add_option("--pin", values.pins, help)
        ->type_name("I=TICK")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
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
    DefineProgram();
    DefineShowing();
    DefineConversions();
    DefineChecks();
    DefineRender();
    DefineAlignment();
}

}  // namespace verselane::cli
