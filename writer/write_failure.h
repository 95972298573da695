// Why a file was not written, as a value: each program words it itself.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "model/errors.h"

namespace verselane {

enum class WriteFailureKind {
    NoFileName,     // no output name was given
    Exists,         // a file is at the target and may not be replaced
    SameAsInput,    // the target is the file being read
    NoAccess,       // the system refused: no permission, a read-only file system
    FolderMissing,  // a folder on the way to the target does not exist
    NoSpace,        // the disk or the quota is full
    IsFolder,       // the target is a folder
    NotWritable,    // the target is a socket or a block device
    System,         // any other refusal of the system (`SystemCode`)
    // The song cannot be encoded: `Error` is what its field broke, `Detail`
    // names the field; `Track` and `Event` where they are known.
    Unencodable,
    TrackTooLong,        // `Track` takes `Value` bytes, more than a chunk holds
    NegativeTrackCount,  // the header gives a negative number of tracks
    UntimedDivision,     // the division `Value` gives the events no time
    OutOfMemory,
    Unforeseen,  // an error of no kind above: `Detail` is what it said
};

struct WriteFailure {
    WriteFailureKind Kind = WriteFailureKind::Unforeseen;
    std::string Path;    // the target as given
    int SystemCode = 0;  // errno, for the kinds the system gave
    int32_t Track = -1;
    int32_t Event = -1;
    int64_t Value = 0;
    ErrorKind Error = ErrorKind::FileAccess;  // Unencodable
    std::string Detail;
};

// The failure of the system call that gave `SystemCode` while writing `Path`.
WriteFailure SystemWriteFailure(const std::string& Path, int SystemCode);

// What a failed write throws on its way to the caller that reports it.
class WriteError : public std::exception {
  public:
    explicit WriteError(WriteFailure failure) : failure_(std::move(failure)) {}
    const WriteFailure& Failure() const { return failure_; }
    const char* what() const noexcept override { return "the file was not written"; }

  private:
    WriteFailure failure_;
};

// The failure for the exception being handled while writing `Path`: a
// WriteError's own, else the song's encoding error or running out of memory.
// Call it only inside a catch block.
WriteFailure CurrentWriteFailure(const std::string& Path);

}  // namespace verselane
