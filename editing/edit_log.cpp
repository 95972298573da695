#include "editing/edit_log.h"

#include "editing/edit_error.h"

namespace verselane::editing {

void EditLog::Apply(const EventEdit& edit) {
    if (edit.Track < 0 || edit.Track >= song_.TrackCount()) {
        throw EditError(EditProblem::NoSuchTrack);
    }
    const int32_t n = song_.Tracks[static_cast<size_t>(edit.Track)].Size();
    const int32_t last = edit.What == EventEdit::Action::Insert ? n : n - 1;
    if (edit.Index < 0 || edit.Index > last ||
        (edit.What == EventEdit::Action::Move && edit.To > last)) {
        throw EditError(EditProblem::NoSuchEvent);
    }
    inverses_.push_back(song_.Apply(edit));
}

void EditLog::Insert(int16_t t, int32_t at, const Event& e, std::string_view body) {
    Apply(EventEdit::Insert(t, at, e, body));
}

void EditLog::Remove(int16_t t, int32_t at) {
    Apply(EventEdit::Remove(t, at));
}

void EditLog::Replace(int16_t t, int32_t at, const Event& e, std::string_view body) {
    if (t >= 0 && t < song_.TrackCount()) {
        const Track& track = song_.Tracks[static_cast<size_t>(t)];
        if (at >= 0 && at < track.Size()) {
            const Event& old = track[at];
            if (old.Tick == e.Tick && old.Kind == e.Kind && old.Channel == e.Channel &&
                old.Data1 == e.Data1 && old.Data2 == e.Data2 &&
                (!e.HasBody() || track.Body(old) == body)) {
                return;
            }
        }
    }
    Apply(EventEdit::Replace(t, at, e, body));
}

void EditLog::RollBack() {
    for (auto it = inverses_.rbegin(); it != inverses_.rend(); ++it) song_.Apply(*it);
    inverses_.clear();
}

std::vector<EventEdit> EditLog::InverseEdits() const {
    return {inverses_.rbegin(), inverses_.rend()};
}

}  // namespace verselane::editing
