// Finding the melody's note starts around a tick, for the edits that move
// syllables from note to note and re-align lines.
#pragma once

#include <cstdint>
#include <vector>

#include "align/aligner.h"

namespace verselane::editing {

// The first note start after `tick`; raises EditError when there is none.
int32_t NoteAfter(const std::vector<align::MelodyNote>& melody, int32_t tick);
// The last note start before `tick`; raises EditError when there is none.
int32_t NoteBefore(const std::vector<align::MelodyNote>& melody, int32_t tick);
// The notes a line may use: those starting after `low` and before `high`.
std::vector<align::MelodyNote> NotesBetween(const std::vector<align::MelodyNote>& melody,
                                            int64_t low, int64_t high);

}  // namespace verselane::editing
