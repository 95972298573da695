// The command line's definitions, shared by the parser (options.cpp) and
// the help: what every command takes, bound to the values typed.
#pragma once

#include <CLI/CLI.hpp>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/help_format.h"

namespace verselane::cli {

// A whole number of at least `lowest`, or nothing.
std::optional<int> ParseCount(const std::string& text, int lowest);
// `value` as --track's number into `track`; the message when it is none.
std::string TrackValue(const std::string& value, std::optional<int>& track);

// What the options of every command hold once parsed: the words and the
// values as typed, checked and turned into a command afterwards, so that every
// message is the program's own.
struct TypedOptions {
    std::vector<std::string> words;
    std::string output, out_dir, track, jobs, language, title, artist, encoding, from, level,
        players, soundfont, max_length, melody, syllables, to, sheet_encoding, line_starts;
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
    // --pin I=TICK, given as often as wanted.
    void Pins(CLI::App* command, const std::string& help);
    void Output(CLI::App* command, const std::string& default_name);
    void BatchSwitches(CLI::App* command, const std::string& verb);

    // Each group of commands with its options (command_definitions.cpp).
    void DefineProgram();
    void DefineShowing();
    void DefineConversions();
    void DefineChecks();
    void DefineRender();
    void DefineAlignment();

    bool Given(const CLI::App* command, const std::string& option) const {
        auto it = given.find(command->get_name() + " " + option);
        return it != given.end() && it->second->count() > 0;
    }
};

}  // namespace verselane::cli
