#include "model/timing.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string_view>

namespace verselane {

namespace {

constexpr double kDefaultMicrosPerQuarter = 500000;

struct TempoEvent {
    int32_t Tick;
    double MicrosPerQuarter;
};

void CollectTempos(const Track& track, std::vector<TempoEvent>& out) {
    for (const Event& e : track) {
        if (!e.IsMeta(kMetaTempo)) continue;
        const std::string_view body = track.Body(e);
        if (body.size() < 3) continue;
        const auto byte = [&](size_t i) { return static_cast<uint8_t>(body[i]); };
        const double micros = byte(0) * 65536.0 + byte(1) * 256.0 + byte(2);
        if (micros > 0) out.push_back({e.Tick, micros});  // a tempo of 0 cannot be played
    }
}
struct TimeSignatureEvent {
    int32_t Tick;
    Meter Of;
};

void CollectTimeSignatures(const Track& track, int16_t division,
                           std::vector<TimeSignatureEvent>& out) {
    for (const Event& e : track) {
        if (!e.IsMeta(kMetaTimeSignature)) continue;
        const std::string_view body = track.Body(e);
        if (body.size() < 2) continue;
        const int32_t beats = static_cast<uint8_t>(body[0]), power = static_cast<uint8_t>(body[1]);
        // A whole note is 4 quarter notes of `division` ticks.
        const int64_t whole = int64_t{division} * 4;
        if (beats == 0 || power > 30 || whole % (int64_t{1} << power) != 0) continue;
        out.push_back({e.Tick, {beats, static_cast<int32_t>(whole >> power)}});
    }
}

template <typename Change>
void SortedByTick(std::vector<Change>& changes) {
    std::stable_sort(changes.begin(), changes.end(),
                     [](const Change& a, const Change& b) { return a.Tick < b.Tick; });
}

}  // namespace

TempoMap::TempoMap(const Song& song, int16_t track) {
    const int16_t division = song.Division;
    if (IsSmpteDivision(division)) {
        // SMPTE: seconds are ticks / (frames per second x ticks per frame),
        // 29 frames meaning 29.97; tempo events play no part then.
        if (IsTimedDivision(division)) {
            seconds_per_tick_ = 1.0 / (SmpteFrameRate(division) * SmpteTicksPerFrame(division));
        }
        return;
    }
    if (division == 0) return;

    std::vector<TempoEvent> tempos;
    if (song.Format == 2) {
        if (track >= 0 && track < song.TrackCount()) CollectTempos(song.Tracks[track], tempos);
    } else {
        for (const Track& each : song.Tracks) CollectTempos(each, tempos);
    }
    SortedByTick(tempos);

    seconds_per_tick_ = kDefaultMicrosPerQuarter / 1e6 / division;
    double seconds = 0;
    int32_t tick = 0;
    double per_tick = seconds_per_tick_;
    for (const TempoEvent& tempo : tempos) {
        seconds += (static_cast<double>(tempo.Tick) - tick) * per_tick;
        tick = tempo.Tick;
        per_tick = tempo.MicrosPerQuarter / 1e6 / division;
        // Several changes at one tick: the last one holds.
        if (!changes_.empty() && changes_.back().Tick == tick) changes_.pop_back();
        changes_.push_back({tick, seconds, per_tick});
    }
}

double TempoMap::Seconds(int32_t Tick) const {
    auto after = std::upper_bound(changes_.begin(), changes_.end(), Tick,
                                  [](int32_t tick, const Change& c) { return tick < c.Tick; });
    if (after == changes_.begin()) return Tick * seconds_per_tick_;
    const Change& c = *(after - 1);
    return c.Seconds + (static_cast<double>(Tick) - c.Tick) * c.SecondsPerTick;
}

int32_t TempoMap::TickAt(double seconds) const {
    if (!(seconds >= 0)) return 0;  // before the start (or no time at all)
    // The stretch of one tempo that holds `seconds`: the last change at or
    // before it, or the start.
    auto after = std::upper_bound(changes_.begin(), changes_.end(), seconds,
                                  [](double s, const Change& c) { return s < c.Seconds; });
    int64_t from = 0;
    double from_seconds = 0, per_tick = seconds_per_tick_;
    if (after != changes_.begin()) {
        from = (after - 1)->Tick;
        from_seconds = (after - 1)->Seconds;
        per_tick = (after - 1)->SecondsPerTick;
    }
    if (per_tick <= 0) return INT32_MAX;  // no clock: every tick lies at 0 seconds
    const double guess =
        static_cast<double>(from) + std::floor((seconds - from_seconds) / per_tick);
    int64_t tick =
        static_cast<int64_t>(std::clamp(guess, static_cast<double>(from), double{INT32_MAX}));
    // The division rounds; settle on the very tick Seconds() puts at or
    // before `seconds`, as it computes it.
    while (tick < INT32_MAX && Seconds(static_cast<int32_t>(tick + 1)) <= seconds) ++tick;
    while (tick > 0 && Seconds(static_cast<int32_t>(tick)) > seconds) --tick;
    return static_cast<int32_t>(tick);
}

BarBeatMap::BarBeatMap(const Song& song, int16_t track) {
    const int16_t division = song.Division;
    if (division <= 0) return;  // 0 or SMPTE: no beats
    std::vector<TimeSignatureEvent> signatures;
    if (song.Format == 2) {
        if (track >= 0 && track < song.TrackCount()) {
            CollectTimeSignatures(song.Tracks[track], division, signatures);
        }
    } else {
        for (const Track& each : song.Tracks) CollectTimeSignatures(each, division, signatures);
    }
    SortedByTick(signatures);
    segments_.push_back({0, 1, {4, division}});
    for (const TimeSignatureEvent& change : signatures) {
        Segment& last = segments_.back();
        const int32_t tick = std::max(change.Tick, 0);
        if (tick == last.Tick) {
            last.Of = change.Of;  // several at one tick: the last holds
            continue;
        }
        const int64_t bar_ticks = int64_t{last.Of.Beats} * last.Of.BeatTicks;
        const int64_t bars = (int64_t{tick} - last.Tick + bar_ticks - 1) / bar_ticks;
        const int64_t first = std::min<int64_t>(last.FirstBar + bars, INT32_MAX);
        segments_.push_back({tick, static_cast<int32_t>(first), change.Of});
    }
}

BarBeat BarBeatMap::At(int32_t Tick) const {
    Tick = std::max(Tick, 0);
    if (segments_.empty()) return {1, 1, Tick};
    auto after = std::upper_bound(segments_.begin(), segments_.end(), Tick,
                                  [](int32_t tick, const Segment& s) { return tick < s.Tick; });
    const Segment& s = *(after - 1);
    const int64_t bar_ticks = int64_t{s.Of.Beats} * s.Of.BeatTicks;
    const int64_t into = int64_t{Tick} - s.Tick;
    const int64_t in_bar = into % bar_ticks;
    return {static_cast<int32_t>(std::min<int64_t>(s.FirstBar + into / bar_ticks, INT32_MAX)),
            static_cast<int32_t>(in_bar / s.Of.BeatTicks + 1),
            static_cast<int32_t>(in_bar % s.Of.BeatTicks)};
}

int32_t BarBeatMap::TickOf(int32_t Bar, int32_t Beat) const {
    if (segments_.empty()) return 0;
    Bar = std::max(Bar, 1);
    auto after = std::upper_bound(segments_.begin(), segments_.end(), Bar,
                                  [](int32_t bar, const Segment& s) { return bar < s.FirstBar; });
    const Segment& s = *(after - 1);
    const int64_t tick = int64_t{s.Tick} +
                         (int64_t{Bar} - s.FirstBar) * s.Of.Beats * s.Of.BeatTicks +
                         (int64_t{std::max(Beat, 1)} - 1) * s.Of.BeatTicks;
    return static_cast<int32_t>(std::min<int64_t>(tick, INT32_MAX));
}

Meter BarBeatMap::MeterOf(int32_t Bar) const {
    if (segments_.empty()) return {1, 0};
    auto after = std::upper_bound(segments_.begin(), segments_.end(), Bar,
                                  [](int32_t bar, const Segment& s) { return bar < s.FirstBar; });
    return after == segments_.begin() ? segments_.front().Of : (after - 1)->Of;
}

}  // namespace verselane
