#include "editing/bar_lines.h"

#include <algorithm>

namespace verselane::editing {

std::vector<BarLine> BarLines(std::vector<align::Metre> metres, int32_t division, int64_t first,
                              int64_t last) {
    if (metres.empty() || metres.front().Tick > 0) metres.insert(metres.begin(), {0, division * 4});
    std::vector<BarLine> lines;
    int64_t number = 1;
    for (size_t m = 0; m < metres.size(); ++m) {
        const int64_t bar = std::max(1, metres[m].BarTicks);
        const int64_t end = m + 1 < metres.size() ? metres[m + 1].Tick : last + bar;
        const int64_t beat = std::max<int64_t>(1, bar % division == 0 ? division : bar);
        // Whole bars of this metre before the view, at most all of them.
        const int64_t before = std::clamp<int64_t>((first - metres[m].Tick) / bar, 0,
                                                   (end - metres[m].Tick + bar - 1) / bar);
        number += before;
        for (int64_t tick = metres[m].Tick + before * bar; tick < end && tick <= last;
             tick += bar, ++number) {
            if (tick + bar >= first) lines.push_back({tick, number, bar, beat});
        }
    }
    return lines;
}

}  // namespace verselane::editing
