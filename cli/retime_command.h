// verselane-cli retime: an existing song's words re-aligned around pins (the
// timing editor's drag without the window), and the numbered syllables that
// `lyrics --syllables` prints for it.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editing/edit_error.h"
#include "lyrics/sung_lines.h"
#include "model/song.h"

namespace verselane::cli {

// Runs "retime" with the arguments after the command's name: 0 when the song
// was written, 1 when it failed, 2 for a command line it could not understand
// (the message on `err`); --help prints the help on `out`.
// The command line's sentence for an edit that cannot be made.
std::string EditFaultMessage(const editing::EditFault& Fault);

int RunRetimeCommand(const std::vector<std::string>& Args, std::ostream& out, std::ostream& err);

// The sung syllables of the song as the timing editor and retime number
// them: one line "I<TAB>TICK<TAB>m:ss.hh<TAB>TEXT" each, the text opened by
// "\" for a paragraph, "/" for a line, "-" inside a word. Returns false (with
// a message on `err` naming `Name`) when the song holds no sung words.
bool PrintSyllables(const Song& Song, std::optional<LineSource> From, int16_t Track,
                    const std::function<std::string(std::string_view)>& Show,
                    const std::string& Name, std::ostream& out, std::ostream& err);

}  // namespace verselane::cli
