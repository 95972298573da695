#include "editing/stream_edits.h"

#include <algorithm>
#include <string>

namespace verselane::editing {

std::vector<int32_t> StreamEvents(const Song& song, const StreamSpec& s) {
    std::vector<int32_t> out;
    const Track& track = song.At(s.Track);
    for (int32_t i = 0; const Event& e : track) {
        if (InStream(track, e, s)) out.push_back(i);
        ++i;
    }
    return out;
}

void PlaceEvent(EditLog& log, int16_t t, Event e, std::string_view body, int32_t tick, int32_t low,
                int32_t high) {
    const Track& track = log.Song().At(t);
    const int32_t n = track.Size();
    if (n > 0) {
        const Event& last = track[n - 1];
        if (last.IsEndOfTrack() && last.Tick < tick) {
            Event end = last;
            end.Tick = tick;
            log.Replace(t, n - 1, end, std::string(track.Body(last)));
        }
    }
    int32_t first = low + 1;
    int32_t last = std::min(high, n);
    while (first < last) {
        const int32_t mid = first + (last - first) / 2;
        if (track[mid].Tick < tick)
            first = mid + 1;
        else
            last = mid;
    }
    e.Tick = tick;
    log.Insert(t, first, e, body);
}

namespace {

// Moves the event at `at` to `tick`, between `low` and `high` as above
// (indices before the move).
void MoveEvent(EditLog& log, int16_t t, int32_t at, int32_t tick, int32_t low, int32_t high) {
    const Track& track = log.Song().At(t);
    const Event e = track[at];
    if (e.Tick == tick) return;
    const std::string body(track.Body(e));
    log.Remove(t, at);
    if (high > at) --high;
    if (low > at) --low;
    PlaceEvent(log, t, e, body, tick, low, high);
}

}  // namespace

void MoveSyllable(EditLog& log, const StreamSpec& s, size_t index, int32_t tick) {
    const Track& track = log.Song().At(s.Track);
    auto place = [&](std::vector<int32_t>& events, std::vector<size_t>& syllables) {
        events = StreamEvents(log.Song(), s);
        syllables.clear();
        for (size_t k = 0; k < events.size(); ++k)
            if (HoldsSyllable(track.Body(track[events[k]]))) syllables.push_back(k);
    };
    std::vector<int32_t> events;
    std::vector<size_t> syllables;
    place(events, syllables);
    if (index >= syllables.size()) throw EditError(EditProblem::NoSuchSyllable);
    auto time = [&](size_t k) { return track[events[k]].Tick; };
    auto move = [&](size_t k) {
        const int32_t low = k > 0 ? events[k - 1] : -1;
        const int32_t high = k + 1 < events.size() ? events[k + 1] : track.Size();
        MoveEvent(log, s.Track, events[k], tick, low, high);
        place(events, syllables);
    };
    size_t k = syllables[index];
    if (tick > time(k)) {
        // Line ends after it that would fall behind it move along, last first.
        size_t end = k + 1;
        while (end < events.size() && (index + 1 >= syllables.size() || end < syllables[index + 1]))
            ++end;
        for (size_t j = end; j-- > k + 1;)
            if (time(j) < tick) move(j);
    } else {
        size_t begin = index > 0 ? syllables[index - 1] + 1 : 0;
        for (size_t j = begin; j < k; ++j)
            if (time(j) > tick) move(j);
    }
    move(syllables[index]);
}

void SetBreak(EditLog& log, const StreamSpec& s, size_t index, bool word, bool line,
              bool paragraph) {
    if (index == 0) return;
    const Track& track = log.Song().At(s.Track);
    std::vector<int32_t> syllable_events;
    std::vector<int32_t> all = StreamEvents(log.Song(), s);
    for (int32_t e : all)
        if (HoldsSyllable(track.Body(track[e]))) syllable_events.push_back(e);
    if (index >= syllable_events.size()) return;
    const int32_t before = syllable_events[index - 1];
    int32_t at = syllable_events[index];
    for (int32_t e = at - 1; e > before; --e)
        if (InStream(track, track[e], s)) {
            log.Remove(s.Track, e);
            --at;
        }
    TextParts prev = PartsOf(track.Body(track[before]));
    TextParts here = PartsOf(track.Body(track[at]));
    if (s.Type == kMetaLyric) {
        prev.After = paragraph ? "\n\r" : line ? "\r" : word ? " " : "";
        here.Before.clear();
    } else {
        prev.After = TrimGaps(prev.After);
        here.Before = paragraph ? "\\" : line ? "/" : word ? " " : "";
    }
    log.Replace(s.Track, before, track[before], Joined(prev));
    log.Replace(s.Track, at, track[at], Joined(here));
}

}  // namespace verselane::editing
