// The karaoke information lines proposed for a song, the same in both
// programs.
#pragma once

#include "lyrics/converters.h"
#include "model/song.h"

namespace verselane::workflow {

// What the song says of itself (SongKaraokeInfo), with "ENGL" when it names
// no language; a title or artist it does not tell stays empty.
KaraokeInfo ProposedInformation(const Song& Song);

}  // namespace verselane::workflow
