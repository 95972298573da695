// Writing the song as a Standard MIDI File.
#pragma once

#include <string>

#include "model/midi_file.h"

namespace verselane {

// The bytes of the song as a Standard MIDI File: one "MThd" chunk (always
// six bytes of header data) and Header.NumTracks "MTrk" chunks. Raises
// RuntimeError for a song that cannot be written (a missing slot, a channel
// event of no valid kind or channel, a delta or length beyond 0x0FFFFFFF).
std::string EncodeMidiFile(const MidiFile& Song);

// Writes the song to `FileName`. The file is written beside the target under a
// temporary name and then renamed over it, so an earlier file at that path is
// either replaced whole or left untouched. Returns the empty string on
// success, else "Error processing file. Error: " and the reason.
[[nodiscard]] std::string WriteMidiFile(const MidiFile& Song, const std::string& FileName);

// Encodes the song straight into `Fd`, an open, empty file, through a buffer
// of fixed size (track lengths are patched in place), so that no copy of the
// whole file is made in memory. Raises RuntimeError: first what
// EncodeMidiFile would raise for the song, then FileAccess naming `FileName`
// for a failed write. The file is neither synced nor closed.
void WriteMidiFileTo(const MidiFile& Song, int Fd, const std::string& FileName);

}  // namespace verselane
