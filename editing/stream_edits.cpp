#include "editing/stream_edits.h"

#include <algorithm>

namespace verselane::editing {

std::vector<int32_t> StreamEvents(const MidiFile& song, const StreamSpec& s) {
    std::vector<int32_t> out;
    for (int32_t i = 0; const MidiEvent& e : song.Events(s.Track)) {
        if (InStream(e, s)) out.push_back(i);
        ++i;
    }
    return out;
}

void PlaceEvent(EditLog& log, int16_t t, MidiEvent e, int32_t tick, int32_t low, int32_t high) {
    MidiFile& song = log.Song();
    const int32_t n = song.Count(t);
    if (n > 0) {
        const MidiEvent& last = song.Track(t).Event(n - 1);
        if (last.IsEndOfTrack() && last.Time < tick) {
            MidiEvent end = last;
            end.Time = tick;
            log.Replace(t, n - 1, end);
        }
    }
    int32_t first = low + 1;
    int32_t last = std::min(high, n);
    while (first < last) {
        const int32_t mid = first + (last - first) / 2;
        if (song.Track(t).Event(mid).Time < tick)
            first = mid + 1;
        else
            last = mid;
    }
    e.Time = tick;
    log.Insert(t, first, std::move(e));
}

namespace {

// Moves the event at `at` to `tick`, between `low` and `high` as above
// (indices before the move).
void MoveEvent(EditLog& log, int16_t t, int32_t at, int32_t tick, int32_t low, int32_t high) {
    MidiEvent e = log.Song().Track(t).Event(at);
    if (e.Time == tick) return;
    log.Remove(t, at);
    if (high > at) --high;
    if (low > at) --low;
    PlaceEvent(log, t, std::move(e), tick, low, high);
}

}  // namespace

void MoveSyllable(EditLog& log, const StreamSpec& s, size_t index, int32_t tick) {
    auto place = [&](std::vector<int32_t>& events, std::vector<size_t>& syllables) {
        events = StreamEvents(log.Song(), s);
        syllables.clear();
        for (size_t k = 0; k < events.size(); ++k)
            if (!PartsOf(log.Song().Track(s.Track).Event(events[k]).Data.view()).Core.empty())
                syllables.push_back(k);
    };
    std::vector<int32_t> events;
    std::vector<size_t> syllables;
    place(events, syllables);
    if (index >= syllables.size()) throw EditError(EditProblem::NoSuchSyllable);
    const MidiFile& song = log.Song();
    auto time = [&](size_t k) { return song.Track(s.Track).Event(events[k]).Time; };
    auto move = [&](size_t k) {
        const int32_t low = k > 0 ? events[k - 1] : -1;
        const int32_t high = k + 1 < events.size() ? events[k + 1] : song.Count(s.Track);
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
    MidiFile& song = log.Song();
    std::vector<int32_t> syllable_events;
    std::vector<int32_t> all = StreamEvents(song, s);
    for (int32_t e : all)
        if (!PartsOf(song.Track(s.Track).Event(e).Data.view()).Core.empty())
            syllable_events.push_back(e);
    if (index >= syllable_events.size()) return;
    const int32_t before = syllable_events[index - 1];
    int32_t at = syllable_events[index];
    for (int32_t e = at - 1; e > before; --e)
        if (InStream(song.Track(s.Track).Event(e), s)) {
            log.Remove(s.Track, e);
            --at;
        }
    TextParts prev = PartsOf(song.Track(s.Track).Event(before).Data.view());
    TextParts here = PartsOf(song.Track(s.Track).Event(at).Data.view());
    if (s.Type == kMetaLyric) {
        prev.After = paragraph ? "\n\r" : line ? "\r" : word ? " " : "";
        here.Before.clear();
    } else {
        prev.After = TrimGaps(prev.After);
        here.Before = paragraph ? "\\" : line ? "/" : word ? " " : "";
    }
    MidiEvent p = song.Track(s.Track).Event(before);
    p.Data = ByteString(Joined(prev));
    log.Replace(s.Track, before, std::move(p));
    MidiEvent h = song.Track(s.Track).Event(at);
    h.Data = ByteString(Joined(here));
    log.Replace(s.Track, at, std::move(h));
}

}  // namespace verselane::editing
