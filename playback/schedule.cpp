#include "playback/schedule.h"

#include <algorithm>

#include "model/timing.h"

namespace verselane {

PlaybackSchedule BuildSchedule(const Song& song, const std::atomic<bool>* cancel) {
    PlaybackSchedule out;
    const int16_t tracks = song.TrackCount();
    const bool in_turn = song.Format == 2;
    const TempoMap shared(song, 0);
    double offset = 0;
    int64_t total = 0;
    for (const Track& track : song.Tracks) total += track.Size();
    out.Events.reserve(static_cast<size_t>(total));
    // Each track's events are in time order: the tracks are laid out one
    // after the other and merged by time at the end.
    std::vector<size_t> starts;
    for (int16_t t = 0; t < tracks; ++t) {
        starts.push_back(out.Events.size());
        const TempoMap own = in_turn ? TempoMap(song, t) : shared;
        const Track& track = song.Tracks[static_cast<size_t>(t)];
        const int32_t n = track.Size();
        double end = offset;
        bool ordered = true;
        for (int32_t i = 0; i < n; ++i) {
            if ((i & 0xFFF) == 0 && cancel && cancel->load()) return {};
            const Event& e = track[i];
            const double at = offset + own.Seconds(e.Tick);
            ordered = ordered && at >= end;
            end = std::max(end, at);
            if (e.IsChannelMessage()) {
                out.Events.push_back(
                    {at, static_cast<uint8_t>(0x80 + 16 * static_cast<int>(e.Kind) + e.Channel),
                     e.Data1, e.Data2, 0});
            } else if (e.IsSysEx()) {
                std::string body(track.Body(e));
                if (!body.empty() && static_cast<uint8_t>(body.back()) == 0xF7) body.pop_back();
                if (body.empty()) continue;
                out.Events.push_back({at, 0xF0, 0, 0, static_cast<uint32_t>(out.SysEx.size())});
                out.SysEx.push_back(std::move(body));
            }
        }
        if (!ordered) {
            std::stable_sort(
                out.Events.begin() + static_cast<std::ptrdiff_t>(starts.back()), out.Events.end(),
                [](const TimedEvent& a, const TimedEvent& b) { return a.Seconds < b.Seconds; });
        }
        out.Length = std::max(out.Length, end);
        if (in_turn) offset = end;
    }
    // Merge neighbouring tracks pairwise until one run is left; on equal
    // times the earlier track comes first.
    starts.push_back(out.Events.size());
    auto earlier = [](const TimedEvent& a, const TimedEvent& b) { return a.Seconds < b.Seconds; };
    while (starts.size() > 2) {
        if (cancel && cancel->load()) return {};
        std::vector<size_t> merged;
        for (size_t i = 0; i + 1 < starts.size(); i += 2) {
            merged.push_back(starts[i]);
            if (i + 2 < starts.size()) {
                std::inplace_merge(out.Events.begin() + static_cast<std::ptrdiff_t>(starts[i]),
                                   out.Events.begin() + static_cast<std::ptrdiff_t>(starts[i + 1]),
                                   out.Events.begin() + static_cast<std::ptrdiff_t>(starts[i + 2]),
                                   earlier);
            }
        }
        merged.push_back(starts.back());
        starts = std::move(merged);
    }
    for (size_t i = 0; i < out.Events.size(); ++i) {
        const uint8_t kind = out.Events[i].Status & 0xF0;
        if (kind == 0xB0 || kind == 0xC0 || kind == 0xE0 || kind == 0xF0) {
            out.StateEvents.push_back(i);
        }
    }
    return out;
}

double TrackStart(const Song& song, int16_t track) {
    if (song.Format != 2) return 0;
    double start = 0;
    for (int16_t t = 0; t < track && t < song.TrackCount(); ++t) {
        const Track& before = song.Tracks[static_cast<size_t>(t)];
        const int32_t n = before.Size();
        if (n > 0) start += TempoMap(song, t).Seconds(before[n - 1].Tick);
    }
    return start;
}

PlaybackSchedule AtSpeed(const PlaybackSchedule& Schedule, double Speed) {
    PlaybackSchedule slowed = Schedule;
    for (TimedEvent& e : slowed.Events) e.Seconds /= Speed;
    slowed.Length /= Speed;
    return slowed;
}

size_t FirstEventAt(const PlaybackSchedule& Schedule, double Seconds) {
    auto it = std::lower_bound(Schedule.Events.begin(), Schedule.Events.end(), Seconds,
                               [](const TimedEvent& e, double s) { return e.Seconds < s; });
    return static_cast<size_t>(it - Schedule.Events.begin());
}

}  // namespace verselane
