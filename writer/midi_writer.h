// Writing the song as a Standard MIDI File.
#pragma once

#include <optional>
#include <string>

#include "model/song.h"
#include "writer/output_file.h"
#include "writer/write_failure.h"

namespace verselane {

// The bytes of the song as a Standard MIDI File: one "MThd" chunk (always
// six bytes of header data) and TrackCount() "MTrk" chunks, each closed by
// an end-of-track event (one is added where the track's last event is not
// one). Events further apart than a delta time can say (0x0FFFFFFF ticks)
// have a filler every 0x0FFFFFFF ticks between them (IsGapFiller). Raises
// RuntimeError, naming the track and event, for a song that cannot be
// written: an event of no valid kind or with a data byte of 0x80 or above,
// a body longer than 0x0FFFFFFF bytes.
std::string EncodeSong(const Song& Song);

// Whether `e` is one of the fillers EncodeSong puts between two events
// further apart than a delta time can say: a sequencer's meta event (type
// 0x7F) holding the manufacturer id for non-commercial use alone (FF 7F 01
// 7D), which every player passes over. Read back, a song holds them.
bool IsGapFiller(const Track& track, const Event& e);

// Writes the song to `FileName` through OutputFile (a regular file is
// replaced whole or left untouched; "-" is standard output). A song that
// cannot be written leaves the target as it was: a file is replaced only
// once every track is written, and a stream (standard output, a pipe, a
// device) gets the song only once it is encoded whole. Returns nothing on success,
// else why the file was not written.
[[nodiscard]] std::optional<WriteFailure> WriteSong(const Song& Song, const std::string& FileName,
                                                    ExistingFile Existing = ExistingFile::Replace);

}  // namespace verselane
