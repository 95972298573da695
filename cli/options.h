// The command line of verselane-cli: its commands, their options and help.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "lyrics/converters.h"
#include "lyrics/sung_lines.h"
#include "lyrics/track_choice.h"

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
};

struct ConvertCommand {
    ConversionDirection Direction = ConversionDirection::LyricsToKaraoke;
    std::vector<std::string> Inputs;
    std::string Output;     // -o, one input only
    std::string OutputDir;  // --out-dir
    std::optional<int> Track;
    KaraokeInfo Info{"ENGL", "YOUR SONG", "ARTIST", ""};
    bool Replace = false;  // to-lyrics: the text events give way to the lyrics
    bool Force = false;    // existing files (never an input) may be replaced
    bool Salvage = false;  // convert songs that were read only in part
    int Jobs = 0;          // 0: one per processor
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
    std::variant<InfoCommand, CopyCommand, LyricsCommand, ConvertCommand, HelpRequest, UsageError>;

// The arguments after the program's name.
ParsedCommand ParseCommandLine(const std::vector<std::string>& Args);

std::string ProgramHelp();
// The help of one command, or the empty string for an unknown command.
std::string CommandHelp(const std::string& Command);
std::string VersionText();

}  // namespace verselane::cli
