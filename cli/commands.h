// The commands that work on one file: info, lyrics and copy. Each returns the
// program's exit status.
#pragma once

#include <iosfwd>

#include "cli/options.h"

namespace verselane::cli {

int RunInfo(const InfoCommand& Command, std::ostream& out, std::ostream& err);
int RunLyrics(const LyricsCommand& Command, std::ostream& out, std::ostream& err);
int RunCopy(const CopyCommand& Command, std::ostream& err);

}  // namespace verselane::cli
