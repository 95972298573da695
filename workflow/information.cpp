#include "workflow/information.h"

#include "lyrics/song_info.h"

namespace verselane::workflow {

KaraokeInfo ProposedInformation(const Song& Song) {
    KaraokeInfo info = SongKaraokeInfo(Song);
    if (info.Language.empty()) info.Language = "ENGL";
    return info;
}

}  // namespace verselane::workflow
