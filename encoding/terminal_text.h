// UTF-8 text made safe to show: on a terminal, or as a name on one line.
#pragma once

#include <string>
#include <string_view>

namespace verselane {

// UTF-8 text made safe for a terminal: carriage returns and NUL bytes are
// dropped, other control characters (C0 but tab and line feed, DEL, and C1)
// become "?", so that a song cannot send escape sequences to the terminal.
std::string Printable(std::string_view Utf8);

// A name (of a file or a track) on one line: every control character is
// written as an escape ("\\n", "\\t", "\\x1B"), so a name can neither break
// a layout nor reach the terminal as a command.
std::string PrintableName(std::string_view Utf8);

}  // namespace verselane
