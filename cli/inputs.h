// The inputs of a conversion as the user names them: files and folders of
// songs; and the run of a whole conversion command.
#pragma once

#include <ostream>
#include <string>

#include "cli/options.h"

namespace verselane::cli {

// Whether a file's name marks it as a song: .mid, .midi, .kar, .rmi, in any case.
bool IsSongName(const std::string& Path);

// Runs a conversion command: its inputs expanded, its -o folder checked, the
// batch run with a summary line at the end (and a progress line when
// `Terminal`). Returns the exit status.
// Folders among the inputs stand for the songs in them, by name (with
// `Recursive`, those of their subfolders too, kept as subfolders in
// --out-dir); a folder that cannot be read or holds no song is reported and
// fails. `err` may be a `MessageLines` stream; the progress line goes to
// `terminal`.
int RunConversion(const ConvertCommand& Command, std::ostream& out, std::ostream& err,
                  std::ostream& terminal, bool Terminal);

}  // namespace verselane::cli
