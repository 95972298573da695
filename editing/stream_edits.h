// Edits on the events of one stream: moving a syllable's event to a new
// tick among the stream's other events, and setting the break before a
// syllable. Every change goes through the edit log.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "editing/edit_log.h"
#include "editing/syllable_text.h"

namespace verselane::editing {

// The events of a stream in a track, by index.
std::vector<int32_t> StreamEvents(const Song& song, const StreamSpec& s);

// Puts `e` at `tick` among the events after index `low` and before index
// `high` (-1 and Size for none), ahead of the first of them at `tick` or
// later, with its body. A tick past the end of the track takes the end of
// track with it.
void PlaceEvent(EditLog& log, int16_t t, Event e, std::string_view body, int32_t tick, int32_t low,
                int32_t high);

// Moves syllable `index` of a stream to `tick`, with the events of the
// stream that hold no syllable (line ends) kept in order around it.
void MoveSyllable(EditLog& log, const StreamSpec& s, size_t index, int32_t tick);

// Sets the break before syllable `index` of a stream (index > 0): a word
// gap, a line end or a paragraph end, or none. Lyric events carry it at the
// end of the syllable before (CR, LF CR, a space), karaoke text at the start
// of the syllable ("/", "\", a space). Events between the two that hold only
// breaks go.
void SetBreak(EditLog& log, const StreamSpec& s, size_t index, bool word, bool line,
              bool paragraph);

}  // namespace verselane::editing
