#include "editing/melody_notes.h"

#include <algorithm>
#include <string>

#include "editing/timed_words.h"

namespace verselane::editing {

int32_t NoteAfter(const std::vector<align::MelodyNote>& melody, int32_t tick) {
    auto it = std::upper_bound(melody.begin(), melody.end(), tick,
                               [](int32_t t, const align::MelodyNote& n) { return t < n.Tick; });
    if (it == melody.end()) throw EditError(EditFault(EditProblem::NoNoteAfter).WithTick(tick));
    return it->Tick;
}

int32_t NoteBefore(const std::vector<align::MelodyNote>& melody, int32_t tick) {
    auto it = std::lower_bound(melody.begin(), melody.end(), tick,
                               [](const align::MelodyNote& n, int32_t t) { return n.Tick < t; });
    if (it == melody.begin()) throw EditError(EditFault(EditProblem::NoNoteBefore).WithTick(tick));
    return std::prev(it)->Tick;
}

std::vector<align::MelodyNote> NotesBetween(const std::vector<align::MelodyNote>& melody,
                                            int64_t low, int64_t high) {
    std::vector<align::MelodyNote> out;
    auto it =
        std::upper_bound(melody.begin(), melody.end(), low,
                         [](int64_t tick, const align::MelodyNote& n) { return tick < n.Tick; });
    for (; it != melody.end() && it->Tick < high; ++it) out.push_back(*it);
    return out;
}

}  // namespace verselane::editing
