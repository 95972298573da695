// check and fix: the findings of songs, and the repaired songs written out.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/options.h"
#include "model/song.h"

namespace verselane::cli {

// Makes every repair for the findings that concern `For`, in an order where
// one repair does not undo another; the song's texts go into `Encoding` when
// it is given (else only a song that mixes encodings, into UTF-8). Returns the
// names of the repairs made. Raises std::invalid_argument for an encoding
// iconv does not know.
std::vector<std::string> RepairSong(Song& Song, PlayerFamily For, const std::string& Encoding);

// NAME.fixed.EXT beside the input, or in `OutputDir`.
std::string FixedOutputName(const std::string& Input, const std::string& OutputDir);

// Each song's findings (folders stand for their songs); the exit status.
int RunCheck(const CheckCommand& Command, std::ostream& out, std::ostream& err);
// Each song repaired by the batch rules of the conversions (RunBatchCommand);
// a song with nothing to repair is reported and not written.
int RunFix(const FixCommand& Command, std::ostream& out, std::ostream& err, std::ostream& terminal,
           bool Terminal);

}  // namespace verselane::cli
