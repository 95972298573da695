// The commands that play a song: render to a WAV file, and the words printed
// as they become due.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"
#include "lyrics/sung_lines.h"

namespace verselane::cli {

int RunRender(const RenderCommand& Command, std::ostream& err);

// Prints each line as FormatSungLines does, but each only when its time has
// come, counted from the call. Lines due more than 24 hours in are refused
// with a message on `err` and 1; else 0.
int FollowSungLines(const std::vector<SungLine>& Lines,
                    const std::function<std::string(std::string_view)>& ToText, std::ostream& out,
                    std::ostream& err);

}  // namespace verselane::cli
