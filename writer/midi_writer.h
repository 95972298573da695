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

// Replaces `FileName` with `Bytes` in one rename (RuntimeError on failure;
// nothing is left behind then).
void ReplaceFileContents(const std::string& FileName, std::string_view Bytes);

}  // namespace verselane
