#include "workflow/song_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <system_error>

namespace verselane::workflow {

namespace fs = std::filesystem;

bool IsSongName(const std::string& Path) {
    std::string ext = fs::path(Path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::ranges::any_of(kSongExtensions, [&](const char* known) { return ext == known; });
}

std::optional<std::pair<dev_t, ino_t>> FileIdentity(const std::string& Path) {
    struct stat st;
    if (::stat(Path.c_str(), &st) != 0) return std::nullopt;
    return std::make_pair(st.st_dev, st.st_ino);
}

namespace {

using FileId = std::pair<dev_t, ino_t>;

// Adds a song unless it was met already: a song named twice (or named and
// found in a folder named, or reached by a link) is done once, as a second
// run would only find its own output.
void AddSong(SongInputs& songs, std::set<FileId>& seen, std::string file, std::string subfolder) {
    const std::optional<FileId> id = FileIdentity(file);
    if (id && !seen.insert(*id).second) return;
    songs.Files.push_back(std::move(file));
    songs.Subfolders.push_back(std::move(subfolder));
}

// The songs of one folder by name, then those of its subfolders when
// `recursive`; each with its folder relative to the top one, counted in
// `found` (those met before too). False, with `problem` filled, when a
// folder cannot be read.
bool CollectSongs(const fs::path& folder, const fs::path& relative, bool recursive,
                  SongInputs& songs, std::set<FileId>& seen, size_t& found,
                  SongInputs::Problem& problem) {
    std::vector<fs::path> files, folders;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code type_ec;
        if (it->is_directory(type_ec) && !it->is_symlink(type_ec)) {  // no link loops
            folders.push_back(it->path());
        } else if (IsSongName(it->path().string())) {
            files.push_back(it->path());
        }
    }
    if (ec) {
        problem.What = SongInputs::Problem::Unreadable;
        problem.Folder = folder.string();
        problem.Reason = ec.message();
        return false;
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    found += files.size();
    for (const fs::path& f : files) AddSong(songs, seen, f.string(), relative.string());
    if (!recursive) return true;
    bool read = true;
    for (const fs::path& f : folders) {
        // The last folder that cannot be read is the one reported.
        SongInputs::Problem inner;
        if (!CollectSongs(f, relative / f.filename(), true, songs, seen, found, inner)) {
            problem = inner;
            read = false;
        }
    }
    return read;
}

}  // namespace

SongInputs ExpandInputs(const std::vector<std::string>& Inputs, bool Recursive) {
    SongInputs songs;
    std::set<FileId> seen;
    for (const std::string& input : Inputs) {
        std::error_code ec;
        if (!fs::is_directory(input, ec)) {
            AddSong(songs, seen, input, "");
            continue;
        }
        size_t found = 0;
        SongInputs::Problem problem;
        const bool read = CollectSongs(input, "", Recursive, songs, seen, found, problem);
        if (read && found == 0) problem.What = SongInputs::Problem::NoSongs;
        if (!read || found == 0) {
            problem.Input = input;
            problem.Before = songs.Files.size();
            songs.Problems.push_back(problem);
        }
    }
    return songs;
}

std::string OutputFolderFor(const std::string& OutputDir, const std::string& Subfolder) {
    if (OutputDir.empty() || Subfolder.empty()) return OutputDir;
    return (fs::path(OutputDir) / Subfolder).string();
}

std::string NotKeptWarning(const SongFacts& Facts) {
    std::string lost;
    if (Facts.WrapperBytes > 0) {
        lost = "an RMID file: its " + std::to_string(Facts.WrapperBytes) +
               " bytes besides the MIDI data (a sound bank, information) are not kept; the "
               "output is a Standard MIDI File";
    }
    if (Facts.TrailingBytes > 0) {
        if (!lost.empty()) lost += "; ";
        const bool one = Facts.TrailingBytes == 1;
        lost += (one ? std::string("the byte")
                     : "the " + std::to_string(Facts.TrailingBytes) + " bytes") +
                " after the song's last track (no part of the song: junk, a web page, a second "
                "copy) " +
                (one ? "is" : "are") + " not kept";
    }
    return lost;
}

}  // namespace verselane::workflow
