// Songs as the user names them: files, and folders of songs found by their
// names; and the identity of a file however it is reached.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/song_facts.h"

namespace verselane::workflow {

// The extensions that mark a file as a song, in lower case.
inline constexpr const char* kSongExtensions[] = {".mid", ".midi", ".kar", ".rmi"};

// Whether a file's name marks it as a song: one of kSongExtensions, in any case.
bool IsSongName(const std::string& Path);

// The inputs with each folder replaced by its songs, by name (with
// `Recursive`, those of its subfolders too); a file met again, by any name
// or link, is left out.
struct SongInputs {
    std::vector<std::string> Files;
    // Per file: the subfolder of the folder named that it was found in ("" for
    // a file named and for a song right in a folder named).
    std::vector<std::string> Subfolders;
    // A folder that cannot be read or holds no song.
    struct Problem {
        enum Kind { Unreadable, NoSongs };
        Kind What = NoSongs;
        std::string Input;   // the folder as named
        std::string Folder;  // the folder that could not be read (Unreadable)
        std::string Reason;  // the system's reason (Unreadable)
        size_t Before = 0;   // the number of files ahead of it among the inputs
    };
    std::vector<Problem> Problems;
};
SongInputs ExpandInputs(const std::vector<std::string>& Inputs, bool Recursive);

// The folder for the output of a song found in `Subfolder`: that subfolder
// of `OutputDir`, or `OutputDir` itself (empty: beside the input).
std::string OutputFolderFor(const std::string& OutputDir, const std::string& Subfolder);

// The identity of an existing file (device and inode): the same for every
// spelling, symbolic link or hard link that reaches it.
std::optional<std::pair<dev_t, ino_t>> FileIdentity(const std::string& Path);

// What a written song leaves out of the file it was read from, as a warning:
// the sound bank and other chunks of an RMID file, the bytes after the last
// track; empty when nothing.
std::string NotKeptWarning(const SongFacts& Facts);

}  // namespace verselane::workflow
