#include "model/timing.h"

#include <algorithm>
#include <climits>

namespace verselane {

namespace {

constexpr double kDefaultMicrosPerQuarter = 500000;

struct TempoEvent {
    int32_t Tick;
    double MicrosPerQuarter;
};

void CollectTempos(const MidiFile& Song, int16_t t, std::vector<TempoEvent>& out) {
    for (const MidiEvent& e : Song.Events(t)) {
        if (!e.IsMeta(kMetaTempo) || e.Data.size() < 3) continue;
        const double micros = e.Data[0] * 65536.0 + e.Data[1] * 256.0 + e.Data[2];
        if (micros > 0) out.push_back({e.Time, micros});  // a tempo of 0 cannot be played
    }
}
struct TimeSignatureEvent {
    int32_t Tick;
    Meter Of;
};

void CollectTimeSignatures(const MidiFile& Song, int16_t t, int16_t division,
                           std::vector<TimeSignatureEvent>& out) {
    for (const MidiEvent& e : Song.Events(t)) {
        if (!e.IsMeta(kMetaTimeSignature) || e.Data.size() < 2) continue;
        const int32_t beats = e.Data[0], power = e.Data[1];
        // A whole note is 4 quarter notes of `division` ticks.
        const int64_t whole = int64_t{division} * 4;
        if (beats == 0 || power > 30 || whole % (int64_t{1} << power) != 0) continue;
        out.push_back({e.Time, {beats, static_cast<int32_t>(whole >> power)}});
    }
}

template <typename Change>
void SortedByTick(std::vector<Change>& changes) {
    std::stable_sort(changes.begin(), changes.end(),
                     [](const Change& a, const Change& b) { return a.Tick < b.Tick; });
}

}  // namespace

TempoMap::TempoMap(const MidiFile& Song, int16_t Track) {
    const int16_t division = Song.Header.Division;
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
    if (Song.Header.Format == 2) {
        if (Track >= 0 && Track < RealTrackCount(Song)) CollectTempos(Song, Track, tempos);
    } else {
        for (int16_t t = 0; t < RealTrackCount(Song); ++t) CollectTempos(Song, t, tempos);
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

BarBeatMap::BarBeatMap(const MidiFile& Song, int16_t Track) {
    const int16_t division = Song.Header.Division;
    if (division <= 0) return;  // 0 or SMPTE: no beats
    std::vector<TimeSignatureEvent> signatures;
    if (Song.Header.Format == 2) {
        if (Track >= 0 && Track < RealTrackCount(Song)) {
            CollectTimeSignatures(Song, Track, division, signatures);
        }
    } else {
        for (int16_t t = 0; t < RealTrackCount(Song); ++t) {
            CollectTimeSignatures(Song, t, division, signatures);
        }
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
