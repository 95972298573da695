// The bars and beats the timing editor draws over a stretch of the song.
#pragma once

#include <cstdint>
#include <vector>

#include "align/aligner.h"

namespace verselane::editing {

struct BarLine {
    int64_t Tick = 0;
    int64_t Number = 1;  // counted from 1 at the song's start
    int64_t Length = 0;  // ticks to the next bar line of the same metre
    int64_t Beat = 0;    // ticks between its beats
};

// The bar lines by the song's metres (4/4 at `division` ticks a beat before
// the first) of the bars that reach into `first` to `last`. The bars before
// `first` are counted, not walked through: a view at the end of a song of
// bars of one tick is drawn at once.
std::vector<BarLine> BarLines(std::vector<align::Metre> metres, int32_t division, int64_t first,
                              int64_t last);

}  // namespace verselane::editing
