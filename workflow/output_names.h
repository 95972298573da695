// The names of the files the programs write, beside the input or in a folder.
#pragma once

#include <string>

namespace verselane::workflow {

enum class OutputKind {
    Karaoke,  // NAME.kar
    Lyrics,   // NAME.lyrics.mid
    Fixed,    // NAME.fixed.EXT (.mid without an extension)
    Aligned,  // NAME.kar, or NAME.aligned.kar for a .kar input (any case)
    Retimed,  // NAME.retimed.EXT (.mid without an extension)
};

// The output of `Input` (NAME is its file name without its last extension),
// in `Folder`, or beside the input when `Folder` is empty.
std::string OutputName(const std::string& Input, OutputKind Kind, const std::string& Folder = {});

// The name a save dialog proposes: OutputName, or NAME-converted.EXT when
// that would be the input itself.
std::string ProposedSaveName(const std::string& Input, OutputKind Kind,
                             const std::string& Folder = {});

}  // namespace verselane::workflow
