#include "editing/edit_log.h"

namespace verselane::editing {

namespace {

// Inserts and removes events of a track, keeping the song's bounds right.
void InsertEvent(MidiFile& song, int16_t t, int32_t at, MidiEvent e) {
    const int32_t n = song.Count(t);
    if (n > song.Track(t).Upper()) {
        if (n > song.EventSlots) ResizeEvents(song, n + n / 2 + 16, false);
        song.Track(t).ResizeToLastIndex(song.EventSlots, false);
    }
    MidiTrack& track = song.Track(t);
    // Storage up to n first: growing it moves the elements, and the shift
    // below holds references into it.
    track.Event(n);
    for (int32_t j = n; j > at; --j) track.Event(j) = std::move(track.Event(j - 1));
    track.Event(at) = std::move(e);
    song.Count(t) = n + 1;
}

MidiEvent RemoveEvent(MidiFile& song, int16_t t, int32_t at) {
    const int32_t n = song.Count(t);
    MidiTrack& track = song.Track(t);
    MidiEvent removed = std::move(track.Event(at));
    for (int32_t j = at; j + 1 < n; ++j) track.Event(j) = std::move(track.Event(j + 1));
    track.Event(n - 1) = MidiEvent();
    song.Count(t) = n - 1;
    return removed;
}

}  // namespace

void Perform(MidiFile& song, const EventChange& c) {
    if (c.Track < 0 || c.Track >= RealTrackCount(song)) throw EditError(EditProblem::NoSuchTrack);
    const int32_t n = song.Count(c.Track);
    switch (c.What) {
        case EventChange::Action::Insert:
            if (c.Index < 0 || c.Index > n) throw EditError(EditProblem::NoSuchEvent);
            InsertEvent(song, c.Track, c.Index, c.Event);
            break;
        case EventChange::Action::Remove:
            if (c.Index < 0 || c.Index >= n) throw EditError(EditProblem::NoSuchEvent);
            RemoveEvent(song, c.Track, c.Index);
            break;
        case EventChange::Action::Replace:
            if (c.Index < 0 || c.Index >= n) throw EditError(EditProblem::NoSuchEvent);
            song.Track(c.Track).Event(c.Index) = c.Event;
            break;
    }
}

EventChange Inverse(const EventChange& c) {
    EventChange inverse = c;
    switch (c.What) {
        case EventChange::Action::Insert:
            inverse.What = EventChange::Action::Remove;
            break;
        case EventChange::Action::Remove:
            inverse.What = EventChange::Action::Insert;
            break;
        case EventChange::Action::Replace:
            inverse.Event = c.Earlier;
            inverse.Earlier = c.Event;
            break;
    }
    return inverse;
}

void EditLog::Insert(int16_t t, int32_t at, MidiEvent e) {
    Do({EventChange::Action::Insert, t, at, std::move(e), {}});
}

void EditLog::Remove(int16_t t, int32_t at) {
    Do({EventChange::Action::Remove, t, at, song_.Track(t).Event(at), {}});
}

void EditLog::Replace(int16_t t, int32_t at, MidiEvent e) {
    const MidiEvent& old = song_.Track(t).Event(at);
    if (old == e) return;
    Do({EventChange::Action::Replace, t, at, std::move(e), old});
}

void EditLog::RollBack() {
    for (auto it = done_.rbegin(); it != done_.rend(); ++it) Perform(song_, Inverse(*it));
    done_.clear();
}

std::vector<EventChange> EditLog::InverseChanges() const {
    std::vector<EventChange> out;
    out.reserve(done_.size());
    for (auto it = done_.rbegin(); it != done_.rend(); ++it) out.push_back(Inverse(*it));
    return out;
}

void EditLog::Do(EventChange c) {
    Perform(song_, c);
    done_.push_back(std::move(c));
}

}  // namespace verselane::editing
