// Putting a written file in place.
//
// A regular file, or a symbolic link to one, is replaced atomically: the
// bytes go to a temporary file in the target's folder, which is synced and
// then renamed over the target (or linked in as the target, when no file may
// be replaced), and the folder is synced after it. The new file keeps the
// mode and owner of the one it replaces. Where the file system offers
// unnamed temporary files (platform::OpenUnnamedFile), the temporary file has no name until
// it is complete; it is then named (a link cannot replace a file) and
// renamed over the target. A named temporary file is removed on SIGINT and
// SIGTERM, and one that a killed writer left is removed by the next write
// into its folder.
//
// A character device, a named pipe and standard output ("-") are written in
// place, as a stream; anything else (a folder, a socket, a block device) is
// refused. A symbolic link whose target does not exist gets that target.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <sys/stat.h>

#include "writer/write_failure.h"

namespace verselane {

// Called, when set, after a replacing write has named its temporary file and
// before it renames it over the target: a test stops the process there to
// leave the temporary file behind, as a SIGKILL at that moment would.
extern void (*BeforeReplaceRename)();

// Removes the temporary files that writers of this user left in `Folder`
// (".verselane-PID-N.tmp") when their process is gone; a file of a process
// that runs is left alone. Each folder is looked at once per process.
void RemoveStaleTemporaryFiles(const std::string& Folder);

// What becomes of a file that exists at the target.
enum class ExistingFile { Replace, Keep };

class OutputFile {
  public:
    // Opens the way to `Path`. Every failure, here and in Write and Commit,
    // throws a WriteError that says why: the target cannot be written, or
    // `Existing` is Keep and a file is there.
    OutputFile(const std::string& Path, ExistingFile Existing);
    // Without Commit, nothing of the new file stays.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(std::string_view Bytes);
    // Whether the bytes go straight to their target (a device, a pipe,
    // standard output): there, what is written stays even without Commit.
    bool InPlace() const { return in_place_; }
    // Syncs the file and puts it in place.
    void Commit();

  private:
    [[noreturn]] void Fail(int err);
    [[noreturn]] void Refuse(WriteFailureKind kind);
    void LinkAs(const std::string& name);
    void Discard();

    std::string path_;    // as given, for messages
    std::string target_;  // the file that is written or replaced
    ExistingFile existing_;
    int fd_ = -1;
    bool in_place_ = false;  // a device, a pipe or standard output
    bool unnamed_ = false;   // an unnamed temporary file
    std::string temp_;       // the named temporary file, if any
    std::optional<struct stat> replaced_;
};

}  // namespace verselane
