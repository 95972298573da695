// Tap to time: taps during playback snapped to the melody's note starts.
#include <algorithm>
#include <cmath>

#include "editing/timed_words.h"

namespace verselane::editing {

TapSnapper::TapSnapper(const TimedWords& words) {
    for (const align::MelodyNote& n : words.Melody()) {
        if (!ticks_.empty() && ticks_.back() == n.Tick) continue;
        ticks_.push_back(n.Tick);
        seconds_.push_back(words.Seconds(n.Tick));
    }
}

std::optional<int32_t> TapSnapper::Snap(double tap_seconds, double speed, double latency_seconds,
                                        double window_seconds) const {
    if (seconds_.empty() || speed <= 0) return std::nullopt;
    const double song_time = (tap_seconds - latency_seconds) * speed;
    auto it = std::lower_bound(seconds_.begin(), seconds_.end(), song_time);
    size_t best = seconds_.size();
    double distance = window_seconds;
    for (auto candidate : {it, it == seconds_.begin() ? it : std::prev(it)}) {
        if (candidate == seconds_.end()) continue;
        const double d = std::abs(*candidate - song_time);
        if (d <= distance) {
            distance = d;
            best = static_cast<size_t>(candidate - seconds_.begin());
        }
    }
    if (best == seconds_.size()) return std::nullopt;
    return ticks_[best];
}

Edit LineStartTaps(const TimedWords& words, const TapSnapper& snapper,
                   const std::vector<double>& tap_seconds, double speed, double latency_seconds) {
    std::vector<std::pair<size_t, int32_t>> pins;
    size_t line = 0;
    for (size_t i = 0; i < words.Count() && line < tap_seconds.size(); ++i) {
        if (!words.Syllables()[i].LineStart) continue;
        if (std::optional<int32_t> tick = snapper.Snap(tap_seconds[line], speed, latency_seconds))
            pins.emplace_back(i, *tick);
        ++line;
    }
    return Edit::Realign(std::move(pins));
}

}  // namespace verselane::editing
