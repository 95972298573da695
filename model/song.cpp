#include "model/song.h"

#include <algorithm>
#include <cstring>

#include "model/errors.h"

namespace verselane {

namespace {

constexpr size_t kLengthBytes = sizeof(uint32_t);

[[noreturn]] void RaiseOutOfOrder(int32_t at, int32_t tick) {
    Raise(ErrorKind::InvalidArgument, "an event at tick " + std::to_string(tick) + " at place " +
                                          std::to_string(at) + " leaves its track out of order");
}

}  // namespace

// ---- EventEdit ------------------------------------------------------------

EventEdit EventEdit::Insert(int16_t track, int32_t index, Event record, std::string_view body) {
    return {Action::Insert, track, index, 0, record, std::string(body)};
}

EventEdit EventEdit::Remove(int16_t track, int32_t index) {
    return {Action::Remove, track, index, 0, {}, {}};
}

EventEdit EventEdit::Move(int16_t track, int32_t index, int32_t tick, int32_t to) {
    Event record;
    record.Tick = tick;
    return {Action::Move, track, index, to, record, {}};
}

EventEdit EventEdit::Replace(int16_t track, int32_t index, Event record, std::string_view body) {
    return {Action::Replace, track, index, 0, record, std::string(body)};
}

// ---- Track ----------------------------------------------------------------

Track::Track() : pool_(kLengthBytes, '\0') {}

const Event& Track::At(int32_t i) const {
    if (i < 0 || i >= Size()) Raise(ErrorKind::SubscriptOutOfRange);
    return events_[static_cast<size_t>(i)];
}

std::string_view Track::Body(const Event& e) const {
    if (e.BodyAt == 0 || size_t{e.BodyAt} + kLengthBytes > pool_.size()) return {};
    uint32_t length;
    std::memcpy(&length, pool_.data() + e.BodyAt, kLengthBytes);
    const size_t from = size_t{e.BodyAt} + kLengthBytes;
    if (length > pool_.size() - from) return {};
    return std::string_view(pool_).substr(from, length);
}

uint32_t Track::Store(std::string_view body) {
    if (body.empty()) return 0;
    if (pool_.size() + kLengthBytes + body.size() > UINT32_MAX) {
        Raise(ErrorKind::Overflow, "the bodies of a track beyond 4 GB");
    }
    const auto at = static_cast<uint32_t>(pool_.size());
    const auto length = static_cast<uint32_t>(body.size());
    pool_.append(reinterpret_cast<const char*>(&length), kLengthBytes);
    pool_.append(body);
    return at;
}

void Track::AppendWithBody(Event e, std::string_view body) {
    e.BodyAt = Store(body);
    events_.push_back(e);
}

void Track::SetBody(int32_t i, std::string_view body) {
    Event& e = events_.at(static_cast<size_t>(i));
    e.BodyAt = e.HasBody() ? Store(body) : 0;
}

void Track::Clear() {
    events_.clear();
    pool_.assign(kLengthBytes, '\0');
}

void Track::Reserve(int32_t events, size_t body_bytes) {
    if (events > 0) events_.reserve(static_cast<size_t>(events));
    if (body_bytes > 0) pool_.reserve(pool_.size() + body_bytes);
}

// Raises unless an event at `tick` may stand at place `at`, between the
// events now at at - 1 and at.
void Track::CheckSorted(int32_t at, int32_t tick) const {
    if (at < 0 || at > Size()) Raise(ErrorKind::SubscriptOutOfRange);
    if ((at > 0 && (*this)[at - 1].Tick > tick) || (at < Size() && (*this)[at].Tick < tick)) {
        RaiseOutOfOrder(at, tick);
    }
}

// ---- Song -----------------------------------------------------------------

Track& Song::At(int16_t t) {
    if (t < 0 || t >= TrackCount()) Raise(ErrorKind::SubscriptOutOfRange);
    return Tracks[static_cast<size_t>(t)];
}

const Track& Song::At(int16_t t) const {
    if (t < 0 || t >= TrackCount()) Raise(ErrorKind::SubscriptOutOfRange);
    return Tracks[static_cast<size_t>(t)];
}

void Song::InsertTrack(int16_t at, Track track) {
    if (at < 0 || at > TrackCount()) Raise(ErrorKind::SubscriptOutOfRange);
    if (TrackCount() == INT16_MAX) Raise(ErrorKind::Overflow, "more than 32767 tracks");
    Tracks.insert(Tracks.begin() + at, std::move(track));
}

EventEdit Song::Apply(const EventEdit& edit) {
    Track& track = At(edit.Track);
    std::vector<Event>& events = track.events_;
    // A body the pool holds already at the edit's place (an inverse handing
    // back what it took) is not stored again.
    auto store = [&](const Event& record, std::string_view body) {
        Event e = record;
        if (!e.HasBody()) {
            e.BodyAt = 0;
        } else if (e.BodyAt == 0 || track.Body(e) != body) {
            e.BodyAt = track.Store(body);
        }
        return e;
    };
    switch (edit.What) {
        case EventEdit::Action::Insert: {
            track.CheckSorted(edit.Index, edit.Record.Tick);
            const Event e = store(edit.Record, edit.Body);
            events.insert(events.begin() + edit.Index, e);
            return EventEdit::Remove(edit.Track, edit.Index);
        }
        case EventEdit::Action::Remove: {
            const Event old = track.At(edit.Index);
            EventEdit inverse = EventEdit::Insert(edit.Track, edit.Index, old, track.Body(old));
            events.erase(events.begin() + edit.Index);
            return inverse;
        }
        case EventEdit::Action::Replace: {
            const Event old = track.At(edit.Index);
            // In order beside its neighbours (the event itself set aside).
            if ((edit.Index > 0 && events[edit.Index - 1].Tick > edit.Record.Tick) ||
                (edit.Index + 1 < track.Size() && events[edit.Index + 1].Tick < edit.Record.Tick)) {
                RaiseOutOfOrder(edit.Index, edit.Record.Tick);
            }
            EventEdit inverse = EventEdit::Replace(edit.Track, edit.Index, old, track.Body(old));
            events[edit.Index] = store(edit.Record, edit.Body);
            return inverse;
        }
        case EventEdit::Action::Move: {
            const Event old = track.At(edit.Index);
            const int32_t tick = edit.Record.Tick;
            // The places once the event has left its own.
            auto place = [&](int32_t i) { return i < edit.Index ? i : i + 1; };
            int32_t to = edit.To;
            if (to < 0) {
                // After the events already at the tick.
                int32_t lo = 0, hi = track.Size() - 1;
                while (lo < hi) {
                    const int32_t mid = lo + (hi - lo) / 2;
                    if (events[place(mid)].Tick <= tick)
                        lo = mid + 1;
                    else
                        hi = mid;
                }
                to = lo;
            }
            if (to > track.Size() - 1) Raise(ErrorKind::SubscriptOutOfRange);
            if ((to > 0 && events[place(to - 1)].Tick > tick) ||
                (to < track.Size() - 1 && events[place(to)].Tick < tick)) {
                RaiseOutOfOrder(to, tick);
            }
            Event moved = old;
            moved.Tick = tick;
            if (to < edit.Index) {
                std::move_backward(events.begin() + to, events.begin() + edit.Index,
                                   events.begin() + edit.Index + 1);
            } else {
                std::move(events.begin() + edit.Index + 1, events.begin() + to + 1,
                          events.begin() + edit.Index);
            }
            events[to] = moved;
            return EventEdit::Move(edit.Track, to, old.Tick, edit.Index);
        }
    }
    Raise(ErrorKind::InvalidArgument, "no such edit");
}

}  // namespace verselane
