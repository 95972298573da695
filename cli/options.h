// The command line of verselane-cli: its commands, their options and help.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "check/song_check.h"
#include "cli/align_command.h"
#include "cli/retime_command.h"
#include "lyrics/converters.h"
#include "lyrics/sung_lines.h"
#include "lyrics/track_choice.h"
#include "workflow/batch.h"

namespace verselane::cli {

struct InfoCommand {
    std::string File;
    std::string Encoding;  // empty: detected
};

struct CopyCommand {
    std::string Input;
    std::string Output;    // "-": standard output
    bool Salvage = false;  // write a song that was read only in part
};

struct LyricsCommand {
    std::string File;
    std::optional<LineSource> From;  // empty: what the song has
    std::optional<int> Track;        // empty: chosen as for a conversion
    std::string Encoding;
    bool Follow = false;     // print each line when it is due
    bool Syllables = false;  // print each sung syllable, numbered as retime counts them
};

struct RenderCommand {
    std::string File;
    std::string Output;
    std::string SoundFont;         // empty: the installed General MIDI one
    double MaxSeconds = 2 * 3600;  // a longer song is not rendered (--max-length)
};

// A length as "3h", "90m", "45s" or plain seconds ("5400", "1.5h"); nothing
// for anything else, zero and negative lengths included.
std::optional<double> ParseLength(const std::string& Text);

// to-karaoke and to-lyrics: a conversion of many songs.
using ConvertCommand = workflow::ConversionRequest;

// check: the findings of each file.
struct CheckCommand {
    std::vector<std::string> Files;
    bool Json = false;
    Severity Level = Severity::WillNotShow;  // exit 1 from this level on
    PlayerFamily For = PlayerFamily::Both;   // the players whose findings are listed
    bool Recursive = false;                  // -r: the songs of a folder's subfolders too
    bool Salvage = false;                    // check damaged songs on what was read
};

// fix: each file repaired for the players named.
struct FixCommand {
    std::vector<std::string> Inputs;
    std::string Output;     // -o, one input only
    std::string OutputDir;  // --out-dir
    PlayerFamily For = PlayerFamily::Both;
    std::string Encoding;  // every text into this encoding; empty: only mixed songs, into UTF-8
    bool Force = false;
    bool Salvage = false;    // repair songs that were read only in part
    bool Recursive = false;  // -r: the songs of a folder's subfolders too
    int Jobs = 0;
};

// What the program is asked to print instead of doing any work.
struct HelpRequest {
    std::string Text;
};

struct UsageError {
    std::string Message;
    std::string Command;  // whose help to point to; empty for the program's
};

using ParsedCommand =
    std::variant<InfoCommand, CopyCommand, LyricsCommand, ConvertCommand, RenderCommand,
                 HelpRequest, UsageError, CheckCommand, FixCommand, AlignCommand, RetimeCommand>;

// The arguments after the program's name.
ParsedCommand ParseCommandLine(const std::vector<std::string>& Args);

std::string ProgramHelp();
// The help of one command, or the empty string for an unknown command.
std::string CommandHelp(const std::string& Command);
std::string VersionText();

}  // namespace verselane::cli
