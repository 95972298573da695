// Reading a whole Standard MIDI File into the song.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "model/errors.h"
#include "model/midi_file.h"

namespace verselane {

// Called after every 512th event of a track, so that a user interface can
// process its pending events (and show progress) in the middle of a read.
// `done` and `total` are byte offsets in the file.
using ReadProgress = std::function<void(int64_t done, int64_t total)>;

// Reads `FileName` into `Song`, which is expected freshly reset. Returns the
// empty string on success, else one of these messages:
//   "Failed to find MThd header for file."
//   "Failed to find MTrk track header for track N"  (the song is read all the same)
//   "File is cut short inside track N."  (every whole event before the end is kept)
//   "Error processing file. Error: " and the description of what went wrong.
// Tracks count from 1 in the messages.
[[nodiscard]] std::string ReadMidiFile(MidiFile& Song, const std::string& FileName,
                                       const ReadProgress& Progress = {});

// Whether the read that returned `Message` still filled the song: on success,
// and after a missing "MTrk" chunk or a file cut short, where every event
// before the fault is kept. The other messages leave no usable song.
bool SongWasRead(std::string_view Message);

// The same, from bytes already in memory. A RIFF "RMID" file is read as the
// Standard MIDI File in its "data" chunk. Bytes after the last announced
// track chunk are not looked at.
[[nodiscard]] std::string ReadMidiBytes(MidiFile& Song, std::string_view Bytes,
                                        const ReadProgress& Progress = {});

// The whole content of a file, or RuntimeError: FileNotFound, FileAccess (also
// for a folder or a device), Overflow for a file longer than 2147483647 bytes.
// A named pipe is read until its writer closes it; without a writer it is empty.
std::string LoadFileBytes(const std::string& FileName);

}  // namespace verselane
