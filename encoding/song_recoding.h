// Puts every text of a song into one encoding: the repair for songs whose
// texts mix encodings, or whose encoding a player cannot show.
#pragma once

#include <string>

#include "model/midi_file.h"

namespace verselane {

struct RecodeOutcome {
    int Changed = 0;  // texts rewritten
    int Kept = 0;     // texts that the target cannot hold, left as they were
};

// Rewrites every text-like meta event (types 1 to 7) that holds more than
// ASCII into `Target` (any name iconv knows). A text that is valid UTF-8 is
// read as UTF-8; any other as `Source` when given, else as the encoding
// detected over all such texts of the song. Track and instrument names
// follow their events. Raises std::invalid_argument for an encoding iconv
// does not know.
RecodeOutcome RecodeSongTexts(MidiFile& Song, const std::string& Target,
                              const std::string& Source = {});

}  // namespace verselane
