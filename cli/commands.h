// The commands that work on one file: info, lyrics and copy. Each returns the
// program's exit status. And the end of every command's output.
#pragma once

#include <iosfwd>

#include "cli/options.h"

namespace verselane::cli {

int RunInfo(const InfoCommand& Command, std::ostream& out, std::ostream& err);
int RunLyrics(const LyricsCommand& Command, std::ostream& out, std::ostream& err);
int RunCopy(const CopyCommand& Command, std::ostream& err);

// The exit status once all that went to the standard output (std::cout) has
// been flushed: `Status`, or 1 with a message on `err` when any of it could
// not be written (a full disk, a closed pipe...).
int FinishStandardOutput(int Status, std::ostream& err);

}  // namespace verselane::cli
