// Puts every text of a song into one encoding: the repair for songs whose
// texts mix encodings, or whose encoding a player cannot show.
#pragma once

#include <string>
#include <string_view>

#include "model/song.h"

namespace verselane {

struct RecodeOutcome {
    int Changed = 0;  // texts rewritten
    int Kept = 0;     // texts that the target cannot hold, left as they were
    // Not empty when the repair was refused and the song left as it was: a
    // recoded text would not read back as the words shown before, or a word
    // the target cannot hold would stay beside words in the target (says
    // which). A copyright or a name the target cannot hold only counts in
    // `Kept`.
    std::string Refused;
};

// Rewrites every text-like meta event (types 1 to 7) that holds more than
// ASCII into `Target` (any name iconv knows). A text that is valid UTF-8 is
// read as UTF-8; any other as `Source` when given, else as the encoding the
// song's words are shown in (DetectEncoding over all of its texts, as
// SongDecoder does). Every rewritten text is read back in `Target` and must
// give the same characters (compared in Unicode's composed form, so that a
// letter and its combining tone mark equal the precomposed letter); if one
// does not, nothing is changed and `Refused` says why. Track and instrument
// names follow their events (the last of each track). Raises std::invalid_argument for an encoding
// iconv does not know.
RecodeOutcome RecodeSongTexts(Song& Song, const std::string& Target,
                              const std::string& Source = {});

// UTF-8 text in Unicode's canonical composed form (NFC): "a" followed by a
// combining grave accent becomes "à". Text that is not valid UTF-8 is
// returned as it stands.
std::string ComposedUtf8(std::string_view Utf8);

}  // namespace verselane
