// Carrying out one edit on the song's events: each kind of edit in a
// function of its own, every change through the edit log so that it can be
// undone or rolled back.
#include <algorithm>
#include <cmath>
#include <limits>

#include "editing/edit_log.h"
#include "editing/melody_notes.h"
#include "editing/stream_edits.h"
#include "editing/syllable_text.h"
#include "editing/timed_words.h"

namespace verselane::editing {

namespace {

using Pins = std::vector<std::pair<size_t, int32_t>>;

}  // namespace

// One edit on the timed words, against the syllables as they were before it.
class EditCarrier {
  public:
    EditCarrier(TimedWords& words, EditLog& log);
    void Carry(const Edit& edit);

  private:
    void Need(size_t i) const;
    bool KaraokeText() const { return karaoke_source_ || words_.other_ == OtherStream::Follows; }
    void MoveTo(const std::vector<int32_t>& wanted);
    void MoveOne(size_t i, int64_t tick);
    void MoveToNote(size_t i, int steps);
    void MoveSeveral(const std::vector<size_t>& selection, int32_t delta);
    void OneNoteLater(size_t i);
    void CheckPins(const Pins& pins) const;
    void Realign(Pins pins);
    // Re-aligns the line of pins[k] around the pins in it; returns the
    // index of the first pin past that line.
    size_t RealignLine(const Pins& pins, size_t k, std::vector<int32_t>& wanted) const;
    void SetText(size_t i, const std::string& text);
    void Split(size_t i, size_t position);
    void MergeNext(size_t i);
    void SetLineBreak(const Edit& edit);
    void Delete(size_t i);
    void Insert(size_t before, const std::string& text, int32_t tick);

    TimedWords& words_;
    EditLog& log_;
    verselane::Song& song_;
    const std::vector<TimedSyllable>& syllables_;
    const size_t count_;
    const bool karaoke_source_;
    // The streams an edit is made in: lyric events first, so that where both
    // share a track each karaoke text stays ahead of its lyric.
    std::vector<StreamSpec> streams_;
    std::vector<int32_t> ticks_;
};

void TimedWords::Carry(EditLog& log, const Edit& edit) {
    EditCarrier(*this, log).Carry(edit);
}

EditCarrier::EditCarrier(TimedWords& words, EditLog& log)
    : words_(words),
      log_(log),
      song_(words.song_),
      syllables_(words.syllables_),
      count_(words.syllables_.size()),
      karaoke_source_(words.source_ == LineSource::Karaoke) {
    const StreamSpec source{words.track_, karaoke_source_ ? kMetaText : kMetaLyric};
    const StreamSpec other{words.other_track_, karaoke_source_ ? kMetaLyric : kMetaText};
    const bool follows = words.other_ == OtherStream::Follows;
    if (follows && karaoke_source_) streams_.push_back(other);
    streams_.push_back(source);
    if (follows && !karaoke_source_) streams_.push_back(other);
    ticks_.resize(count_);
    for (size_t i = 0; i < count_; ++i) ticks_[i] = syllables_[i].Tick;
}

void EditCarrier::Carry(const Edit& edit) {
    switch (edit.Kind) {
        case EditKind::MoveTo:
            return MoveOne(edit.Syllable, edit.Tick);
        case EditKind::MoveToNote:
            return MoveToNote(edit.Syllable, edit.Steps);
        case EditKind::Nudge:
            Need(edit.Syllable);
            return MoveOne(edit.Syllable, static_cast<int64_t>(ticks_[edit.Syllable]) + edit.Delta);
        case EditKind::MoveSeveral:
            return MoveSeveral(edit.Selection, edit.Delta);
        case EditKind::Hold:
            Need(edit.Syllable);
            if (edit.Syllable + 1 >= count_) throw EditError(EditProblem::LastHasNoneAfter);
            return OneNoteLater(edit.Syllable + 1);
        case EditKind::SkipNote:
            return OneNoteLater(edit.Syllable);
        case EditKind::Drag:
            if (edit.OnlyDragged) return MoveOne(edit.Syllable, edit.Tick);
            return Realign({{edit.Syllable, edit.Tick}});
        case EditKind::Realign:
            if (edit.Pins.empty()) throw EditError(EditProblem::NoPins);
            return Realign(edit.Pins);
        case EditKind::SetText:
            return SetText(edit.Syllable, edit.Text);
        case EditKind::Split:
            return Split(edit.Syllable, edit.TextPosition);
        case EditKind::MergeNext:
            return MergeNext(edit.Syllable);
        case EditKind::StartLine:
        case EditKind::StartParagraph:
        case EditKind::JoinLine:
            return SetLineBreak(edit);
        case EditKind::Delete:
            return Delete(edit.Syllable);
        case EditKind::Insert:
            return Insert(edit.Syllable, edit.Text, edit.Tick);
        case EditKind::Restore:
            return;
    }
}

void EditCarrier::Need(size_t i) const {
    if (i >= count_)
        throw EditError(EditFault(EditProblem::SyllableMissing)
                            .WithSyllable(static_cast<int64_t>(i + 1))
                            .WithCount(static_cast<int64_t>(count_)));
}

// Moves syllables to new ticks, keeping every stream in order.
void EditCarrier::MoveTo(const std::vector<int32_t>& wanted) {
    for (size_t i = 0; i < count_; ++i) {
        if (wanted[i] < 0) throw EditError(EditProblem::BeforeSongStart);
        if (i > 0 && wanted[i] < wanted[i - 1])
            throw EditError(EditFault(EditProblem::BeforeSyllableAhead)
                                .WithSyllable(static_cast<int64_t>(i + 1)));
    }
    std::vector<size_t> order;
    for (size_t i = count_; i-- > 0;)
        if (wanted[i] > ticks_[i]) order.push_back(i);
    for (size_t i = 0; i < count_; ++i)
        if (wanted[i] < ticks_[i]) order.push_back(i);
    for (const StreamSpec& s : streams_)
        for (size_t i : order) MoveSyllable(log_, s, i, wanted[i]);
}

void EditCarrier::MoveOne(size_t i, int64_t tick) {
    Need(i);
    if (tick < 0 || tick > std::numeric_limits<int32_t>::max())
        throw EditError(EditFault(EditProblem::TickOutsideSong).WithTick(tick));
    if (i > 0 && tick < ticks_[i - 1])
        throw EditError(
            EditFault(EditProblem::PassesSyllableBefore).WithSyllable(static_cast<int64_t>(i + 1)));
    if (i + 1 < count_ && tick > ticks_[i + 1])
        throw EditError(
            EditFault(EditProblem::PassesSyllableAfter).WithSyllable(static_cast<int64_t>(i + 1)));
    std::vector<int32_t> wanted = ticks_;
    wanted[i] = static_cast<int32_t>(tick);
    MoveTo(wanted);
}

void EditCarrier::MoveToNote(size_t i, int steps) {
    Need(i);
    int32_t tick = ticks_[i];
    for (int s = 0; s < std::abs(steps); ++s)
        tick = steps > 0 ? NoteAfter(words_.melody_, tick) : NoteBefore(words_.melody_, tick);
    MoveOne(i, tick);
}

void EditCarrier::MoveSeveral(const std::vector<size_t>& selection, int32_t delta) {
    std::vector<int64_t> wide(ticks_.begin(), ticks_.end());
    for (size_t i : selection) {
        Need(i);
        wide[i] = static_cast<int64_t>(ticks_[i]) + delta;
        if (wide[i] < 0 || wide[i] > std::numeric_limits<int32_t>::max())
            throw EditError(EditProblem::SelectionLeavesSong);
    }
    MoveTo(std::vector<int32_t>(wide.begin(), wide.end()));
}

// A syllable and, where they would be passed, those after it go one note later.
void EditCarrier::OneNoteLater(size_t i) {
    Need(i);
    std::vector<int32_t> wanted = ticks_;
    wanted[i] = NoteAfter(words_.melody_, ticks_[i]);
    for (size_t j = i + 1; j < count_ && wanted[j] <= wanted[j - 1]; ++j)
        wanted[j] = NoteAfter(words_.melody_, wanted[j - 1]);
    MoveTo(wanted);
}

void EditCarrier::CheckPins(const Pins& pins) const {
    for (size_t k = 0; k < pins.size(); ++k) {
        Need(pins[k].first);
        const auto syllable = static_cast<int64_t>(pins[k].first + 1);
        if (pins[k].second < 0)
            throw EditError(EditFault(EditProblem::PinNegativeTick).WithSyllable(syllable));
        // The same pin given twice is one pin; a syllable pinned at two
        // times cannot be both.
        if (k > 0 && pins[k].first == pins[k - 1].first && pins[k].second != pins[k - 1].second)
            throw EditError(EditFault(EditProblem::PinnedTwice).WithSyllable(syllable));
        if (k > 0 && pins[k].second < pins[k - 1].second)
            throw EditError(EditFault(EditProblem::PinsBackInTime)
                                .WithSyllable(syllable)
                                .WithOther(static_cast<int64_t>(pins[k - 1].first + 1)));
    }
}

// Re-aligns the lines holding pins around them.
void EditCarrier::Realign(Pins pins) {
    std::sort(pins.begin(), pins.end());
    CheckPins(pins);
    pins.erase(std::unique(pins.begin(), pins.end()), pins.end());
    std::vector<int32_t> wanted = ticks_;
    size_t k = 0;
    while (k < pins.size()) k = RealignLine(pins, k, wanted);
    MoveTo(wanted);
}

size_t EditCarrier::RealignLine(const Pins& pins, size_t k, std::vector<int32_t>& wanted) const {
    const auto [begin, end] = words_.LineOf(pins[k].first);
    std::vector<align::Pin> line_pins;
    for (; k < pins.size() && pins[k].first < end; ++k)
        line_pins.push_back({pins[k].first - begin, pins[k].second});
    // The line before as placed already; the line after as it is, or up to
    // its first pin when it is re-aligned too (it then starts where that
    // pin and the notes before it say, later than now or earlier).
    const int64_t low = begin > 0 ? wanted[begin - 1] : -1;
    int64_t high = end < count_ ? ticks_[end] : std::numeric_limits<int32_t>::max();
    if (k < pins.size() && words_.LineOf(pins[k].first).first == end) high = pins[k].second;
    for (const align::Pin& p : line_pins)
        if (p.Tick < low || p.Tick > high)
            throw EditError(EditFault(EditProblem::PinPastLine)
                                .WithSyllable(static_cast<int64_t>(p.Syllable + begin + 1))
                                .WithAfter(p.Tick >= low));
    const std::vector<align::SyllableShape> line = words_.ShapesOf(syllables_, begin, end);
    align::Alignment placed;
    try {
        placed = align::AlignSyllables(NotesBetween(words_.melody_, low, high), line, line_pins,
                                       words_.options_);
    } catch (const align::AlignError& e) {
        throw EditError(EditFault(EditProblem::AlignRefused).WithAlign(e.Fault()));
    }
    for (size_t i = begin; i < end; ++i)
        wanted[i] = static_cast<int32_t>(
            std::clamp<int64_t>(placed.Syllables[i - begin].Tick, std::max<int64_t>(low, 0), high));
    for (const align::Pin& p : line_pins) wanted[p.Syllable + begin] = p.Tick;
    // Syllables that open the line on no note (no note left between the
    // line before and a pin) go just before the first syllable placed after
    // them, a step apart, not onto the line before's last syllable.
    size_t lead = 0;
    while (begin + lead < end && placed.Syllables[lead].Note < 0 && !placed.Syllables[lead].Pinned)
        ++lead;
    if (lead > 0 && begin > 0) {
        const int64_t until = begin + lead < end ? wanted[begin + lead] : high;
        const int64_t room = std::max<int64_t>(0, until - low);
        const int64_t gap = std::min<int64_t>(std::max(1, words_.options_.Division / 2),
                                              room / static_cast<int64_t>(lead + 1));
        for (size_t q = 0; q < lead; ++q)
            wanted[begin + q] = static_cast<int32_t>(until - gap * static_cast<int64_t>(lead - q));
    }
    // Keep order where clamping met a pin.
    for (size_t i = begin + 1; i < end; ++i) wanted[i] = std::max(wanted[i], wanted[i - 1]);
    return k;
}

void EditCarrier::SetText(size_t i, const std::string& text) {
    Need(i);
    CheckText(text, KaraokeText());
    for (const StreamSpec& s : streams_) {
        const std::vector<TimedSyllable> now = ReadSyllables(song_, s);
        const Track& track = song_.At(s.Track);
        TextParts parts = PartsOf(track.Body(track[now[i].Event]));
        parts.Core = text;
        log_.Replace(s.Track, now[i].Event, track[now[i].Event], Joined(parts));
    }
}

void EditCarrier::Split(size_t i, size_t position) {
    Need(i);
    const std::string& text = syllables_[i].Text;
    if (position == 0 || position >= text.size())
        throw EditError(EditProblem::SplitLeavesEmptySide);
    CheckText(text.substr(0, position), false);
    CheckText(text.substr(position), KaraokeText());
    for (const StreamSpec& s : streams_) {
        const std::vector<TimedSyllable> now = ReadSyllables(song_, s);
        const int32_t at = now[i].Event;
        const Track& track = song_.At(s.Track);
        const Event first = track[at];
        const TextParts parts = PartsOf(track.Body(first));
        log_.Replace(s.Track, at, first, parts.Before + parts.Core.substr(0, position));
        log_.Insert(s.Track, at + 1, first, parts.Core.substr(position) + parts.After);
    }
}

void EditCarrier::MergeNext(size_t i) {
    Need(i);
    if (i + 1 >= count_) throw EditError(EditProblem::LastHasNoneAfter);
    for (const StreamSpec& s : streams_) {
        const std::vector<TimedSyllable> now = ReadSyllables(song_, s);
        const int32_t at = now[i].Event;
        int32_t next = now[i + 1].Event;
        const Track& track = song_.At(s.Track);
        for (int32_t e = next - 1; e > at; --e)
            if (InStream(track, track[e], s)) {
                log_.Remove(s.Track, e);
                --next;
            }
        const TextParts a = PartsOf(track.Body(track[at]));
        const TextParts b = PartsOf(track.Body(track[next]));
        log_.Remove(s.Track, next);
        log_.Replace(s.Track, at, track[at], a.Before + a.Core + b.Core + b.After);
    }
}

void EditCarrier::SetLineBreak(const Edit& edit) {
    Need(edit.Syllable);
    if (edit.Syllable == 0) throw EditError(EditProblem::FirstStartsLine);
    const bool paragraph = edit.Kind == EditKind::StartParagraph;
    const bool line = edit.Kind != EditKind::JoinLine;
    const bool word = line || syllables_[edit.Syllable].WordStart;
    for (const StreamSpec& s : streams_) SetBreak(log_, s, edit.Syllable, word, line, paragraph);
}

void EditCarrier::Delete(size_t i) {
    Need(i);
    if (count_ == 1) throw EditError(EditProblem::OnlySyllable);
    const TimedSyllable gone = syllables_[i];
    const bool has_next = i + 1 < count_;
    const TimedSyllable next = has_next ? syllables_[i + 1] : TimedSyllable();
    for (const StreamSpec& s : streams_) {
        const std::vector<TimedSyllable> now = ReadSyllables(song_, s);
        // A lyric's line end after the last syllable goes to the one before.
        if (!has_next && s.Type == kMetaLyric && i > 0) {
            const int32_t prev = now[i - 1].Event;
            const Track& track = song_.At(s.Track);
            TextParts p = PartsOf(track.Body(track[prev]));
            p.After = PartsOf(track.Body(track[now[i].Event])).After;
            log_.Replace(s.Track, prev, track[prev], Joined(p));
        }
        log_.Remove(s.Track, now[i].Event);
        if (has_next && i > 0)
            SetBreak(log_, s, i, gone.WordStart || next.WordStart, gone.LineStart || next.LineStart,
                     gone.ParagraphStart || next.ParagraphStart);
    }
}

void EditCarrier::Insert(size_t b, const std::string& text, int32_t tick) {
    if (b > count_)
        throw EditError(EditFault(EditProblem::NoSyllableToInsertBefore)
                            .WithSyllable(static_cast<int64_t>(b + 1)));
    CheckText(text, KaraokeText());
    if (tick < 0) throw EditError(EditProblem::BeforeSongStart);
    if (b > 0 && tick < ticks_[b - 1]) throw EditError(EditProblem::NewBeforeSyllableAhead);
    if (b < count_ && tick > ticks_[b]) throw EditError(EditProblem::NewAfterSyllableBehind);
    for (const StreamSpec& s : streams_) {
        const std::vector<TimedSyllable> now = ReadSyllables(song_, s);
        const int32_t low = b > 0 ? now[b - 1].Event : -1;
        const int32_t high = b < count_ ? now[b].Event : song_.At(s.Track).Size();
        // A lyric ends its word with a space; a karaoke text opens with one.
        PlaceEvent(log_, s.Track, Event::Meta(tick, s.Type),
                   s.Type == kMetaLyric ? text + " " : " " + text, tick, low, high);
        if (b > 0) SetBreak(log_, s, b, true, false, false);
        if (b < count_) {
            const TimedSyllable& was = syllables_[b];
            SetBreak(log_, s, b + 1, was.WordStart || b == 0, was.LineStart && b > 0,
                     was.ParagraphStart && b > 0);
        }
    }
}

}  // namespace verselane::editing
