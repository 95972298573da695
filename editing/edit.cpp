// The edits as values: one maker for each kind.
#include "editing/timed_words.h"

namespace verselane::editing {

Edit Edit::MoveTo(size_t syllable, int32_t tick) {
    Edit e;
    e.Kind = EditKind::MoveTo;
    e.Syllable = syllable;
    e.Tick = tick;
    return e;
}
Edit Edit::MoveToNote(size_t syllable, int steps) {
    Edit e;
    e.Kind = EditKind::MoveToNote;
    e.Syllable = syllable;
    e.Steps = steps;
    return e;
}
Edit Edit::Nudge(size_t syllable, int32_t delta) {
    Edit e;
    e.Kind = EditKind::Nudge;
    e.Syllable = syllable;
    e.Delta = delta;
    return e;
}
Edit Edit::MoveSeveral(std::vector<size_t> selection, int32_t delta) {
    Edit e;
    e.Kind = EditKind::MoveSeveral;
    e.Selection = std::move(selection);
    e.Delta = delta;
    return e;
}
Edit Edit::Split(size_t syllable, size_t text_position) {
    Edit e;
    e.Kind = EditKind::Split;
    e.Syllable = syllable;
    e.TextPosition = text_position;
    return e;
}
Edit Edit::MergeNext(size_t syllable) {
    Edit e;
    e.Kind = EditKind::MergeNext;
    e.Syllable = syllable;
    return e;
}
Edit Edit::SetText(size_t syllable, std::string text) {
    Edit e;
    e.Kind = EditKind::SetText;
    e.Syllable = syllable;
    e.Text = std::move(text);
    return e;
}
Edit Edit::Hold(size_t syllable) {
    Edit e;
    e.Kind = EditKind::Hold;
    e.Syllable = syllable;
    return e;
}
Edit Edit::SkipNote(size_t syllable) {
    Edit e;
    e.Kind = EditKind::SkipNote;
    e.Syllable = syllable;
    return e;
}
Edit Edit::StartLine(size_t syllable) {
    Edit e;
    e.Kind = EditKind::StartLine;
    e.Syllable = syllable;
    return e;
}
Edit Edit::StartParagraph(size_t syllable) {
    Edit e;
    e.Kind = EditKind::StartParagraph;
    e.Syllable = syllable;
    return e;
}
Edit Edit::JoinLine(size_t syllable) {
    Edit e;
    e.Kind = EditKind::JoinLine;
    e.Syllable = syllable;
    return e;
}
Edit Edit::Delete(size_t syllable) {
    Edit e;
    e.Kind = EditKind::Delete;
    e.Syllable = syllable;
    return e;
}
Edit Edit::Insert(size_t before, std::string text, int32_t tick) {
    Edit e;
    e.Kind = EditKind::Insert;
    e.Syllable = before;
    e.Text = std::move(text);
    e.Tick = tick;
    return e;
}
Edit Edit::Drag(size_t syllable, int32_t tick, bool only_dragged) {
    Edit e;
    e.Kind = EditKind::Drag;
    e.Syllable = syllable;
    e.Tick = tick;
    e.OnlyDragged = only_dragged;
    return e;
}
Edit Edit::Realign(std::vector<std::pair<size_t, int32_t>> pins) {
    Edit e;
    e.Kind = EditKind::Realign;
    e.Pins = std::move(pins);
    return e;
}

}  // namespace verselane::editing
