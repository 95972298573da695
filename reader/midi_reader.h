// Reading a whole Standard MIDI File into the song.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/errors.h"
#include "model/midi_file.h"

namespace verselane {

// Called after every 512th event of a track, so that a user interface can
// process its pending events (and show progress) in the middle of a read.
// `done` and `total` are byte offsets in the file.
using ReadProgress = std::function<void(int64_t done, int64_t total)>;

// What a read left: the whole song, a song read in part (whatever stands
// before each fault is kept), or nothing usable.
enum class ReadResult { Complete, Partial, Failed };

struct ReadOutcome {
    ReadResult Result = ReadResult::Complete;
    // Failed: the one reason. Partial: one line for each fault, naming its
    // track (counted from 1): "Failed to find MTrk track header for track N",
    // "File is cut short inside track N.", or what broke the track and where.
    std::vector<std::string> Messages;

    bool SongUsable() const { return Result != ReadResult::Failed; }
    // The messages one per line; empty for a complete read.
    std::string Message() const;
};

// Reads `FileName` into `Song`, which is expected freshly reset. A file
// without a "MThd" header fails with "Failed to find MThd header for file.",
// any other error with "Error processing file. Error: " and its description.
[[nodiscard]] ReadOutcome ReadMidiFile(MidiFile& Song, const std::string& FileName,
                                       const ReadProgress& Progress = {});

// The same, from bytes already in memory. A RIFF "RMID" file is read as the
// Standard MIDI File in its "data" chunk. Bytes after the last announced
// track chunk are not read; track chunks among them make the read partial.
[[nodiscard]] ReadOutcome ReadMidiBytes(MidiFile& Song, std::string_view Bytes,
                                        const ReadProgress& Progress = {});

// The whole content of a file, or RuntimeError: FileNotFound, FileAccess (also
// for a folder or a device), Overflow for a file longer than 2147483647 bytes.
// A named pipe is read until its writer closes it; without a writer it is empty.
std::string LoadFileBytes(const std::string& FileName);

}  // namespace verselane
