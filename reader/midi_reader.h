// Reading a whole Standard MIDI File into the song.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/errors.h"
#include "model/song.h"
#include "model/song_facts.h"

namespace verselane {

// Called after every 512th event of a track, so that a user interface can
// process its pending events (and show progress) in the middle of a read.
// `done` and `total` are byte offsets in the file.
using ReadProgress = std::function<void(int64_t done, int64_t total)>;

// What a read left: the whole song, a song read in part (whatever stands
// before each fault is kept), or nothing usable.
enum class ReadResult { Complete, Partial, Failed };

// What went wrong in a read, as a value that each program words its own way.
enum class ReadFaultKind : uint8_t {
    // The read failed: nothing usable.
    EmptyFile,     // the file holds no bytes
    NotMidi,       // it does not begin with a "MThd" header
    FileNotFound,  // Detail: the system's reason
    FileAccess,    // it could not be opened or read; Detail: why
    OutOfMemory,
    BrokenSong,  // another error inside the song; Detail: the error's description
    // The read is partial: a usable song, with something lost or mended.
    TrackMissing,            // another chunk where track Track should be: left empty
    TracksMissing,           // the file ends before track Track of the Value announced
    CutShort,                // the file ends inside track Track
    EventPastChunk,          // an event runs past the end of its chunk (at Byte)
    LongNumber,              // a variable-length number of more than four bytes
    NoStatus,                // a data byte with no status in effect
    HighDataByte,            // a byte of 0x80 or above where a data byte is due
    UndefinedStatus,         // status byte Value (F4, F5, F9 or FD) of no message: left out
    SysExHighByte,           // a system-exclusive body with a byte of 0x80 or above: left out
    EventsAfterEnd,          // Value events after an end of track; the track ends after them
    ExtraTracks,             // Value track chunks from Byte beyond the Track announced; read
                             // when Track is 0 (a header announcing none), else not
    UnknownFormat,           // the header's format Value is not 0, 1 or 2: read as format 1
    SeveralTracksInFormat0,  // format 0 with Value tracks: read as format 1
    NoTiming,                // the division Value gives no time: read as 480 per quarter note
};

struct ReadFault {
    ReadFaultKind Kind = ReadFaultKind::BrokenSong;
    int32_t Track = -1;  // counted from 0; -1 where no track is concerned
    int64_t Byte = -1;   // offset in the file; -1 where none is concerned
    int64_t Value = 0;   // a count, a status byte, a field, as the kind says
    std::string Detail;  // failed reads: the error's description
    std::string Reason;  // FileNotFound, FileAccess: the system's reason alone

    friend bool operator==(const ReadFault&, const ReadFault&) = default;
};

// The division a song without timing is read at (NoTiming).
constexpr int16_t kStandInDivision = 480;

struct ReadOutcome {
    ReadResult Result = ReadResult::Complete;
    // Failed: the one reason. Partial: every fault, in the order found.
    std::vector<ReadFault> Faults;

    // Adds a fault; a fault that loses the song makes the read Failed, any
    // other Partial.
    void Add(ReadFault Fault);
    bool SongUsable() const { return Result != ReadResult::Failed; }
};

// Reads `FileName` into `Song`, with what the read learnt of the song in
// `Facts`; both are expected fresh and are left so when the read fails. An
// empty file fails as EmptyFile, a file without a "MThd" header as NotMidi,
// any other error with its kind and description. Header fields and chunk
// lengths are taken as the unsigned numbers the file holds; only the track
// chunks that are there take room in the song.
[[nodiscard]] ReadOutcome ReadSong(Song& Song, SongFacts& Facts, const std::string& FileName,
                                   const ReadProgress& Progress = {});

// The same, from bytes already in memory. A RIFF "RMID" file is read as the
// Standard MIDI File in its "data" chunk. Bytes after the last announced
// track chunk are not read; track chunks among them make the read partial.
[[nodiscard]] ReadOutcome ReadSongBytes(Song& Song, SongFacts& Facts, std::string_view Bytes,
                                        const ReadProgress& Progress = {});

// The whole content of a file, or RuntimeError: FileNotFound, FileAccess (also
// for a folder or a device), Overflow for a file longer than 2147483647 bytes.
// A named pipe is read until its writer closes it; without a writer it is empty.
std::string LoadFileBytes(const std::string& FileName);

}  // namespace verselane
