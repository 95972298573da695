// check and fix: the findings of songs, and the repaired songs written out.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/options.h"
#include "model/midi_file.h"

namespace verselane::cli {

// Makes every repair for the findings that concern `For`, in an order where
// one repair does not undo another; the song's texts go into `Encoding` when
// it is given (else only a song that mixes encodings, into UTF-8). Returns the
// names of the repairs made. Raises std::invalid_argument for an encoding
// iconv does not know.
std::vector<std::string> RepairSong(MidiFile& Song, PlayerFamily For, const std::string& Encoding);

// NAME.fixed.EXT beside the input, or in `OutputDir`.
std::string FixedOutputName(const std::string& Input, const std::string& OutputDir);

int RunCheck(const CheckCommand& Command, std::ostream& out, std::ostream& err);
int RunFix(const FixCommand& Command, std::ostream& out, std::ostream& err);

}  // namespace verselane::cli
