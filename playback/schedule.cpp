#include "playback/schedule.h"

#include <algorithm>

#include "lyrics/sung_lines.h"
#include "lyrics/track_choice.h"

namespace verselane {

PlaybackSchedule BuildSchedule(const MidiFile& Song) {
    PlaybackSchedule out;
    const int16_t tracks = RealTrackCount(Song);
    const bool in_turn = Song.Header.Format == 2;
    const TempoMap shared(Song, 0);
    double offset = 0;
    for (int16_t t = 0; t < tracks; ++t) {
        const TempoMap own = in_turn ? TempoMap(Song, t) : shared;
        const int32_t n = Song.Count(t);
        const MidiTrack& track = Song.Track(t);
        double end = offset;
        for (int32_t i = 0; i < n; ++i) {
            const MidiEvent& e = track.Event(i);
            const double at = offset + own.Seconds(e.Time);
            end = std::max(end, at);
            if (e.Kind <= 6) {
                out.Events.push_back({at,
                                      static_cast<uint8_t>(0x80 + 16 * e.Kind + e.Channel),
                                      e.Data1,
                                      e.Data2,
                                      {}});
            } else if (e.Kind == kKindSysEx) {
                std::string body(e.Data.view());
                if (!body.empty() && static_cast<uint8_t>(body.back()) == 0xF7) body.pop_back();
                if (!body.empty()) out.Events.push_back({at, 0xF0, 0, 0, std::move(body)});
            }
        }
        out.Length = std::max(out.Length, end);
        if (in_turn) offset = end;
    }
    std::stable_sort(
        out.Events.begin(), out.Events.end(),
        [](const TimedEvent& a, const TimedEvent& b) { return a.Seconds < b.Seconds; });
    return out;
}

size_t FirstEventAt(const PlaybackSchedule& Schedule, double Seconds) {
    auto it = std::lower_bound(Schedule.Events.begin(), Schedule.Events.end(), Seconds,
                               [](const TimedEvent& e, double s) { return e.Seconds < s; });
    return static_cast<size_t>(it - Schedule.Events.begin());
}

}  // namespace verselane
