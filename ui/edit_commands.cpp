#include "ui/edit_commands.h"

#include <algorithm>
#include <utility>

namespace verselane::ui {

void RelocateEvent(MidiFile& song, int32_t track, int32_t from, int32_t to, int32_t tick) {
    MidiTrack& events = song.Track(track);
    MidiEvent moving = events.Event(from);
    moving.Time = tick;
    if (from < to) {
        for (int32_t i = from; i < to; ++i) events.Event(i) = events.Event(i + 1);
    } else {
        for (int32_t i = from; i > to; --i) events.Event(i) = events.Event(i - 1);
    }
    events.Event(to) = std::move(moving);
}

int32_t PlaceForTick(const MidiFile& song, int32_t track, int32_t index, int32_t tick) {
    const MidiTrack& events = song.Track(track);
    const int32_t count = song.Count(track);
    auto is_end = [&](int32_t i) {
        const MidiEvent& e = events.Event(i);
        return e.Kind == kKindMeta && e.Channel == kMetaEndOfTrack;
    };
    // The index among the other events, then back to indexes with it in place.
    int32_t place = index;
    while (place > 0 && events.Event(place - 1).Time > tick) --place;
    while (place + 1 < count && events.Event(place + 1).Time <= tick && !is_end(place + 1)) {
        ++place;
    }
    return place;
}

MoveSyllablesCommand::MoveSyllablesCommand(const QString& name, MidiFile& song, int32_t track,
                                           std::vector<SyllableMove> moves,
                                           std::function<void()> changed)
    : song_(song), track_(track), moves_(std::move(moves)), changed_(std::move(changed)) {
    setText(name);
}

void MoveSyllablesCommand::redo() {
    done_.clear();
    // Moves later go last syllable first, moves earlier first syllable
    // first, so no syllable passes one that has yet to move.
    std::vector<SyllableMove> order = moves_;
    std::sort(order.begin(), order.end(), [this](const SyllableMove& a, const SyllableMove& b) {
        const bool a_later = a.Tick > song_.Track(track_).Event(a.Event).Time;
        const bool b_later = b.Tick > song_.Track(track_).Event(b.Event).Time;
        if (a_later != b_later) return a_later;
        return a_later ? a.Event > b.Event : a.Event < b.Event;
    });
    for (const SyllableMove& move : order) {
        // Where the event is now, after the moves before it.
        int32_t at = move.Event;
        for (const Done& d : done_) {
            if (d.From < at && at <= d.To) {
                --at;
            } else if (d.To <= at && at < d.From) {
                ++at;
            }
        }
        const int32_t old_tick = song_.Track(track_).Event(at).Time;
        const int32_t to = PlaceForTick(song_, track_, at, move.Tick);
        RelocateEvent(song_, track_, at, to, move.Tick);
        done_.push_back({at, to, old_tick, move.Tick});
    }
    if (changed_) changed_();
}

void MoveSyllablesCommand::undo() {
    for (auto it = done_.rbegin(); it != done_.rend(); ++it) {
        RelocateEvent(song_, track_, it->To, it->From, it->OldTick);
    }
    if (changed_) changed_();
}

}  // namespace verselane::ui
