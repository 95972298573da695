#include "editing/timed_words.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "align/melody.h"
#include "lyrics/converters.h"
#include "lyrics/song_info.h"
#include "lyrics/track_choice.h"

namespace verselane::editing {

namespace {

bool IsGap(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\0' || c == '\t';
}

// An event's text in three parts: marks and gaps before the syllable, the
// syllable, gaps and line ends after it.
struct TextParts {
    std::string Before;
    std::string Core;
    std::string After;
};

TextParts PartsOf(std::string_view text) {
    size_t begin = 0;
    while (begin < text.size() && (IsGap(text[begin]) || text[begin] == '\\' || text[begin] == '/'))
        ++begin;
    size_t end = text.size();
    while (end > begin && IsGap(text[end - 1])) --end;
    return {std::string(text.substr(0, begin)), std::string(text.substr(begin, end - begin)),
            std::string(text.substr(end))};
}

std::string Joined(const TextParts& p) {
    return p.Before + p.Core + p.After;
}

std::string TrimGaps(std::string s) {
    while (!s.empty() && IsGap(s.back())) s.pop_back();
    return s;
}

// The breaks a run of separating bytes makes: a word, a line, a paragraph.
struct Breaks {
    bool Word = false;
    bool Line = false;
    bool Paragraph = false;
    int LineEnds = 0;
    void Read(std::string_view bytes, bool at_event_start) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            const char c = bytes[i];
            if (c == ' ' || c == '\t') Word = true;
            if (c == '\r' || c == '\n') {
                Word = Line = true;
                ++LineEnds;
                if (c == '\n') Paragraph = true;
            }
            if (at_event_start && (c == '/' || c == '\\')) {
                Word = Line = true;
                if (c == '\\') Paragraph = true;
            }
        }
    }
};

// The words of one stream of one track.
struct StreamSpec {
    int16_t Track = -1;
    uint8_t Type = kMetaLyric;
};

bool InStream(const MidiEvent& e, const StreamSpec& s) {
    if (!e.IsMeta(s.Type)) return false;
    return s.Type != kMetaText || !e.Data.view().starts_with("@");
}

std::vector<TimedSyllable> ReadSyllables(const MidiFile& song, const StreamSpec& s) {
    std::vector<TimedSyllable> out;
    if (s.Track < 0) return out;
    Breaks pending;
    pending.Word = pending.Line = pending.Paragraph = true;
    const int32_t n = song.Count(s.Track);
    for (int32_t i = 0; i < n; ++i) {
        const MidiEvent& e = song.Track(s.Track).Event(i);
        if (!InStream(e, s)) continue;
        const TextParts parts = PartsOf(e.Data.view());
        if (parts.Core.empty()) {
            pending.Read(e.Data.view(), true);
            continue;
        }
        pending.Read(parts.Before, true);
        TimedSyllable syllable;
        syllable.Text = parts.Core;
        syllable.Tick = e.Time;
        syllable.WordStart = pending.Word;
        syllable.LineStart = pending.Line;
        syllable.ParagraphStart = pending.Paragraph || pending.LineEnds >= 2;
        syllable.Track = s.Track;
        syllable.Event = i;
        out.push_back(std::move(syllable));
        pending = Breaks();
        pending.Read(parts.After, false);
    }
    return out;
}

// Inserts, removes and replaces events of a track, keeping the song's
// bounds right.
void InsertEvent(MidiFile& song, int16_t t, int32_t at, MidiEvent e) {
    const int32_t n = song.Count(t);
    if (n > song.Track(t).Upper()) {
        if (n > song.EventSlots) ResizeEvents(song, n + n / 2 + 16, false);
        song.Track(t).ResizeToLastIndex(song.EventSlots, false);
    }
    MidiTrack& track = song.Track(t);
    // Storage up to n first: growing it moves the elements, and the shift
    // below holds references into it.
    track.Event(n);
    for (int32_t j = n; j > at; --j) track.Event(j) = std::move(track.Event(j - 1));
    track.Event(at) = std::move(e);
    song.Count(t) = n + 1;
}

MidiEvent RemoveEvent(MidiFile& song, int16_t t, int32_t at) {
    const int32_t n = song.Count(t);
    MidiTrack& track = song.Track(t);
    MidiEvent removed = std::move(track.Event(at));
    for (int32_t j = at; j + 1 < n; ++j) track.Event(j) = std::move(track.Event(j + 1));
    track.Event(n - 1) = MidiEvent();
    song.Count(t) = n - 1;
    return removed;
}

void Perform(MidiFile& song, const EventChange& c) {
    if (c.Track < 0 || c.Track >= RealTrackCount(song)) throw EditError("no such track");
    const int32_t n = song.Count(c.Track);
    switch (c.What) {
        case EventChange::Action::Insert:
            if (c.Index < 0 || c.Index > n) throw EditError("no such event");
            InsertEvent(song, c.Track, c.Index, c.Event);
            break;
        case EventChange::Action::Remove:
            if (c.Index < 0 || c.Index >= n) throw EditError("no such event");
            RemoveEvent(song, c.Track, c.Index);
            break;
        case EventChange::Action::Replace:
            if (c.Index < 0 || c.Index >= n) throw EditError("no such event");
            song.Track(c.Track).Event(c.Index) = c.Event;
            break;
    }
}

EventChange Inverse(const EventChange& c) {
    EventChange inverse = c;
    switch (c.What) {
        case EventChange::Action::Insert:
            inverse.What = EventChange::Action::Remove;
            break;
        case EventChange::Action::Remove:
            inverse.What = EventChange::Action::Insert;
            break;
        case EventChange::Action::Replace:
            inverse.Event = c.Earlier;
            inverse.Earlier = c.Event;
            break;
    }
    return inverse;
}

}  // namespace

// The record of the changes an edit makes, so that the edit can be undone
// (and rolled back when it fails half way).
class EditLog {
  public:
    explicit EditLog(MidiFile& song) : song_(song) {}
    void Insert(int16_t t, int32_t at, MidiEvent e) {
        Do({EventChange::Action::Insert, t, at, std::move(e), {}});
    }
    void Remove(int16_t t, int32_t at) {
        Do({EventChange::Action::Remove, t, at, song_.Track(t).Event(at), {}});
    }
    void Replace(int16_t t, int32_t at, MidiEvent e) {
        const MidiEvent& old = song_.Track(t).Event(at);
        if (old == e) return;
        Do({EventChange::Action::Replace, t, at, std::move(e), old});
    }
    void RollBack() {
        for (auto it = done_.rbegin(); it != done_.rend(); ++it) Perform(song_, Inverse(*it));
        done_.clear();
    }
    std::vector<EventChange> InverseChanges() const {
        std::vector<EventChange> out;
        out.reserve(done_.size());
        for (auto it = done_.rbegin(); it != done_.rend(); ++it) out.push_back(Inverse(*it));
        return out;
    }
    MidiFile& Song() { return song_; }

  private:
    void Do(EventChange c) {
        Perform(song_, c);
        done_.push_back(std::move(c));
    }
    MidiFile& song_;
    std::vector<EventChange> done_;
};

namespace {

// The events of a stream in a track, by index.
std::vector<int32_t> StreamEvents(const MidiFile& song, const StreamSpec& s) {
    std::vector<int32_t> out;
    for (int32_t i = 0; const MidiEvent& e : song.Events(s.Track)) {
        if (InStream(e, s)) out.push_back(i);
        ++i;
    }
    return out;
}

// Puts `e` at `tick` among the events after index `low` and before index
// `high` (-1 and Count for none), ahead of the first of them at `tick` or
// later. A tick past the end of the track takes the end of track with it.
void PlaceEvent(EditLog& log, int16_t t, MidiEvent e, int32_t tick, int32_t low, int32_t high) {
    MidiFile& song = log.Song();
    const int32_t n = song.Count(t);
    if (n > 0) {
        const MidiEvent& last = song.Track(t).Event(n - 1);
        if (last.IsEndOfTrack() && last.Time < tick) {
            MidiEvent end = last;
            end.Time = tick;
            log.Replace(t, n - 1, end);
        }
    }
    int32_t first = low + 1;
    int32_t last = std::min(high, n);
    while (first < last) {
        const int32_t mid = first + (last - first) / 2;
        if (song.Track(t).Event(mid).Time < tick)
            first = mid + 1;
        else
            last = mid;
    }
    e.Time = tick;
    log.Insert(t, first, std::move(e));
}

// Moves the event at `at` to `tick`, between `low` and `high` as above
// (indices before the move).
void MoveEvent(EditLog& log, int16_t t, int32_t at, int32_t tick, int32_t low, int32_t high) {
    MidiEvent e = log.Song().Track(t).Event(at);
    if (e.Time == tick) return;
    log.Remove(t, at);
    if (high > at) --high;
    if (low > at) --low;
    PlaceEvent(log, t, std::move(e), tick, low, high);
}

// Moves syllable `index` of a stream to `tick`, with the events of the
// stream that hold no syllable (line ends) kept in order around it.
void MoveSyllable(EditLog& log, const StreamSpec& s, size_t index, int32_t tick) {
    auto place = [&](std::vector<int32_t>& events, std::vector<size_t>& syllables) {
        events = StreamEvents(log.Song(), s);
        syllables.clear();
        for (size_t k = 0; k < events.size(); ++k)
            if (!PartsOf(log.Song().Track(s.Track).Event(events[k]).Data.view()).Core.empty())
                syllables.push_back(k);
    };
    std::vector<int32_t> events;
    std::vector<size_t> syllables;
    place(events, syllables);
    if (index >= syllables.size()) throw EditError("no such syllable");
    const MidiFile& song = log.Song();
    auto time = [&](size_t k) { return song.Track(s.Track).Event(events[k]).Time; };
    auto move = [&](size_t k) {
        const int32_t low = k > 0 ? events[k - 1] : -1;
        const int32_t high = k + 1 < events.size() ? events[k + 1] : song.Count(s.Track);
        MoveEvent(log, s.Track, events[k], tick, low, high);
        place(events, syllables);
    };
    size_t k = syllables[index];
    if (tick > time(k)) {
        // Line ends after it that would fall behind it move along, last first.
        size_t end = k + 1;
        while (end < events.size() && (index + 1 >= syllables.size() || end < syllables[index + 1]))
            ++end;
        for (size_t j = end; j-- > k + 1;)
            if (time(j) < tick) move(j);
    } else {
        size_t begin = index > 0 ? syllables[index - 1] + 1 : 0;
        for (size_t j = begin; j < k; ++j)
            if (time(j) > tick) move(j);
    }
    move(syllables[index]);
}

// Sets the break before syllable `index` of a stream (index > 0): a word
// gap, a line end or a paragraph end, or none. Lyric events carry it at the
// end of the syllable before (CR, LF CR, a space), karaoke text at the start
// of the syllable ("/", "\", a space). Events between the two that hold only
// breaks go.
void SetBreak(EditLog& log, const StreamSpec& s, size_t index, bool word, bool line,
              bool paragraph) {
    if (index == 0) return;
    MidiFile& song = log.Song();
    std::vector<int32_t> syllable_events;
    std::vector<int32_t> all = StreamEvents(song, s);
    for (int32_t e : all)
        if (!PartsOf(song.Track(s.Track).Event(e).Data.view()).Core.empty())
            syllable_events.push_back(e);
    if (index >= syllable_events.size()) return;
    const int32_t before = syllable_events[index - 1];
    int32_t at = syllable_events[index];
    for (int32_t e = at - 1; e > before; --e)
        if (InStream(song.Track(s.Track).Event(e), s)) {
            log.Remove(s.Track, e);
            --at;
        }
    TextParts prev = PartsOf(song.Track(s.Track).Event(before).Data.view());
    TextParts here = PartsOf(song.Track(s.Track).Event(at).Data.view());
    if (s.Type == kMetaLyric) {
        prev.After = paragraph ? "\n\r" : line ? "\r" : word ? " " : "";
        here.Before.clear();
    } else {
        prev.After = TrimGaps(prev.After);
        here.Before = paragraph ? "\\" : line ? "/" : word ? " " : "";
    }
    MidiEvent p = song.Track(s.Track).Event(before);
    p.Data = ByteString(Joined(prev));
    log.Replace(s.Track, before, std::move(p));
    MidiEvent h = song.Track(s.Track).Event(at);
    h.Data = ByteString(Joined(here));
    log.Replace(s.Track, at, std::move(h));
}

void CheckText(const std::string& text, bool karaoke) {
    if (text.empty() || PartsOf(text).Core != text)
        throw EditError(
            "a syllable's text must hold something to sing, without line ends or spaces "
            "around it");
    if (text.find_first_of("\r\n") != std::string::npos)
        throw EditError("a syllable's text cannot hold a line end");
    if (karaoke && text.starts_with("@"))
        throw EditError("a karaoke syllable cannot start with @ (a tag)");
}

}  // namespace

// ---- edits as values -------------------------------------------------------

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

// ---- the timed words -------------------------------------------------------

TimedWords::TimedWords(MidiFile song, std::optional<LineSource> from, int16_t track)
    : song_(std::move(song)), tempo_(song_) {
    std::optional<LineSource> source = from ? from : PreferredLineSource(song_);
    if (!source) throw EditError("the song holds no lyric events or karaoke text");
    source_ = *source;
    const auto direction = source_ == LineSource::Lyrics ? ConversionDirection::LyricsToKaraoke
                                                         : ConversionDirection::KaraokeToLyrics;
    track_ = track >= 0 ? track : ChooseSourceTrack(song_, direction);
    if (track_ < 0 || track_ >= RealTrackCount(song_))
        throw EditError("the song holds no sung words");
    const StreamSpec source_spec{track_, source_ == LineSource::Lyrics ? kMetaLyric : kMetaText};
    syllables_ = ReadSyllables(song_, source_spec);
    if (syllables_.empty()) throw EditError("the song holds no sung words");

    // The other stream follows when it holds the same syllables at the same ticks.
    const bool other_karaoke = source_ == LineSource::Lyrics;
    {
        const int16_t other =
            ChooseSourceTrack(song_, other_karaoke ? ConversionDirection::KaraokeToLyrics
                                                   : ConversionDirection::LyricsToKaraoke);
        const StreamSpec other_spec{other, other_karaoke ? kMetaText : kMetaLyric};
        if (other >= 0 && (!other_karaoke || HoldsMaterial(MaterialOf(song_, other),
                                                           ConversionDirection::KaraokeToLyrics))) {
            std::vector<TimedSyllable> theirs = ReadSyllables(song_, other_spec);
            if (!theirs.empty()) {
                bool same = theirs.size() == syllables_.size();
                for (size_t i = 0; same && i < theirs.size(); ++i)
                    same = theirs[i].Text == syllables_[i].Text &&
                           theirs[i].Tick == syllables_[i].Tick;
                other_ = same ? OtherStream::Follows : OtherStream::Different;
                if (same) other_track_ = other;
            }
        }
    }

    const std::vector<align::NoteLine> lines = align::NoteLines(song_);
    const align::MelodyChoice choice = align::ChooseMelody(lines, syllables_.size());
    if (choice.Line >= 0) {
        melody_ = lines[static_cast<size_t>(choice.Line)].Notes;
        melody_track_ = lines[static_cast<size_t>(choice.Line)].Track;
    }
    options_.Division = song_.Header.Division > 0 ? song_.Header.Division : 480;
    options_.Metres = align::MetresOf(song_);
    Index();
    WorkOutDoubts();
}

void TimedWords::Index() {
    syllables_ =
        ReadSyllables(song_, {track_, source_ == LineSource::Lyrics ? kMetaLyric : kMetaText});
    for (TimedSyllable& s : syllables_) {
        auto it = std::lower_bound(
            melody_.begin(), melody_.end(), s.Tick,
            [](const align::MelodyNote& n, int32_t tick) { return n.Tick < tick; });
        s.Note =
            it != melody_.end() && it->Tick == s.Tick ? static_cast<int>(it - melody_.begin()) : -1;
    }
}

std::pair<size_t, size_t> TimedWords::LineOf(size_t syllable) const {
    if (syllable >= syllables_.size()) return {syllable, syllable};
    size_t first = syllable;
    while (first > 0 && !syllables_[first].LineStart) --first;
    size_t end = syllable + 1;
    while (end < syllables_.size() && !syllables_[end].LineStart) ++end;
    return {first, end};
}

namespace {

// The notes a line may use: those starting after `low` and before `high`.
std::vector<align::MelodyNote> NotesBetween(const std::vector<align::MelodyNote>& melody,
                                            int64_t low, int64_t high) {
    std::vector<align::MelodyNote> out;
    auto it =
        std::upper_bound(melody.begin(), melody.end(), low,
                         [](int64_t tick, const align::MelodyNote& n) { return tick < n.Tick; });
    for (; it != melody.end() && it->Tick < high; ++it) out.push_back(*it);
    return out;
}

}  // namespace

void TimedWords::WorkOutDoubts() {
    doubts_.clear();
    if (melody_.empty()) return;
    size_t first = 0;
    while (first < syllables_.size()) {
        const auto [begin, end] = LineOf(first);
        const int64_t low = begin > 0 ? syllables_[begin - 1].Tick : -1;
        const int64_t high =
            end < syllables_.size() ? syllables_[end].Tick : std::numeric_limits<int64_t>::max();
        std::vector<align::SyllableShape> shapes;
        for (size_t i = begin; i < end; ++i)
            shapes.push_back({syllables_[i].WordStart, i == begin, syllables_[i].ParagraphStart,
                              false, 0, 0, false});
        const std::vector<align::MelodyNote> notes = NotesBetween(melody_, low, high);
        std::vector<align::Doubt> reasons(end - begin, align::Doubt::None);
        if (!notes.empty() && syllables_[begin].Tick > low) {
            try {
                const align::Alignment placed =
                    align::AlignSyllables(notes, shapes, {{0, syllables_[begin].Tick}}, options_);
                for (size_t i = begin; i < end; ++i)
                    if (placed.Syllables[i - begin].Reason == align::Doubt::CloseCall)
                        reasons[i - begin] = align::Doubt::CloseCall;
            } catch (const std::invalid_argument&) {
            }
        }
        for (size_t i = begin; i < end; ++i) {
            if (syllables_[i].Note < 0) reasons[i - begin] = align::Doubt::OffNote;
            if (reasons[i - begin] != align::Doubt::None)
                doubts_.push_back({i, reasons[i - begin]});
        }
        first = end;
    }
}

std::optional<size_t> TimedWords::NextDoubt(size_t from) const {
    if (doubts_.empty()) return std::nullopt;
    for (const DoubtMark& d : doubts_)
        if (d.Syllable > from) return d.Syllable;
    return doubts_.front().Syllable;
}

Edit TimedWords::Apply(const Edit& edit) {
    EditLog log(song_);
    try {
        if (edit.Kind == EditKind::Restore) {
            for (const EventChange& c : edit.Changes) {
                switch (c.What) {
                    case EventChange::Action::Insert:
                        log.Insert(c.Track, c.Index, c.Event);
                        break;
                    case EventChange::Action::Remove:
                        log.Remove(c.Track, c.Index);
                        break;
                    case EventChange::Action::Replace:
                        log.Replace(c.Track, c.Index, c.Event);
                        break;
                }
            }
        } else {
            Carry(log, edit);
        }
    } catch (...) {
        log.RollBack();
        Index();
        throw;
    }
    Index();
    Edit inverse;
    inverse.Kind = EditKind::Restore;
    inverse.Changes = log.InverseChanges();
    return inverse;
}

namespace {

int32_t NoteAfter(const std::vector<align::MelodyNote>& melody, int32_t tick) {
    auto it = std::upper_bound(melody.begin(), melody.end(), tick,
                               [](int32_t t, const align::MelodyNote& n) { return t < n.Tick; });
    if (it == melody.end())
        throw EditError("there is no melody note after tick " + std::to_string(tick));
    return it->Tick;
}

int32_t NoteBefore(const std::vector<align::MelodyNote>& melody, int32_t tick) {
    auto it = std::lower_bound(melody.begin(), melody.end(), tick,
                               [](const align::MelodyNote& n, int32_t t) { return n.Tick < t; });
    if (it == melody.begin())
        throw EditError("there is no melody note before tick " + std::to_string(tick));
    return std::prev(it)->Tick;
}

}  // namespace

void TimedWords::Carry(EditLog& log, const Edit& edit) {
    const size_t count = syllables_.size();
    const bool karaoke_source = source_ == LineSource::Karaoke;
    // The streams an edit is made in: lyric events first, so that where both
    // share a track each karaoke text stays ahead of its lyric.
    std::vector<StreamSpec> streams;
    const StreamSpec source{track_, karaoke_source ? kMetaText : kMetaLyric};
    const StreamSpec other{other_track_, karaoke_source ? kMetaLyric : kMetaText};
    if (other_ == OtherStream::Follows && karaoke_source) streams.push_back(other);
    streams.push_back(source);
    if (other_ == OtherStream::Follows && !karaoke_source) streams.push_back(other);

    auto need = [&](size_t i) {
        if (i >= count)
            throw EditError("there is no syllable " + std::to_string(i + 1) + " (the song has " +
                            std::to_string(count) + ")");
    };
    std::vector<int32_t> ticks(count);
    for (size_t i = 0; i < count; ++i) ticks[i] = syllables_[i].Tick;

    // Moves syllables to new ticks, keeping every stream in order.
    auto move_to = [&](const std::vector<int32_t>& wanted) {
        for (size_t i = 0; i < count; ++i) {
            if (wanted[i] < 0) throw EditError("a syllable cannot go before the song's start");
            if (i > 0 && wanted[i] < wanted[i - 1])
                throw EditError("syllable " + std::to_string(i + 1) +
                                " would go before the syllable ahead of it");
        }
        std::vector<size_t> order;
        for (size_t i = count; i-- > 0;)
            if (wanted[i] > ticks[i]) order.push_back(i);
        for (size_t i = 0; i < count; ++i)
            if (wanted[i] < ticks[i]) order.push_back(i);
        for (const StreamSpec& s : streams)
            for (size_t i : order) MoveSyllable(log, s, i, wanted[i]);
    };

    // Re-aligns the lines holding pins around them.
    auto realign = [&](std::vector<std::pair<size_t, int32_t>> pins) {
        std::sort(pins.begin(), pins.end());
        for (size_t k = 0; k < pins.size(); ++k) {
            need(pins[k].first);
            if (pins[k].second < 0)
                throw EditError("pin " + std::to_string(pins[k].first + 1) +
                                " has a negative tick");
            if (k > 0 && pins[k].first == pins[k - 1].first)
                throw EditError("syllable " + std::to_string(pins[k].first + 1) +
                                " is pinned twice");
            if (k > 0 && pins[k].second < pins[k - 1].second)
                throw EditError("pins go back in time: syllable " +
                                std::to_string(pins[k].first + 1) + " is pinned before syllable " +
                                std::to_string(pins[k - 1].first + 1));
        }
        std::vector<int32_t> wanted = ticks;
        size_t k = 0;
        while (k < pins.size()) {
            const auto [begin, end] = LineOf(pins[k].first);
            std::vector<align::Pin> line_pins;
            for (; k < pins.size() && pins[k].first < end; ++k)
                line_pins.push_back({pins[k].first - begin, pins[k].second});
            // The line before as placed already; the line after as it is, or
            // up to its first pin when it is re-aligned too.
            const int64_t low = begin > 0 ? wanted[begin - 1] : -1;
            int64_t high = end < count ? ticks[end] : std::numeric_limits<int32_t>::max();
            if (k < pins.size() && LineOf(pins[k].first).first == end)
                high = std::min<int64_t>(high, pins[k].second);
            for (const align::Pin& p : line_pins)
                if (p.Tick < low || p.Tick > high)
                    throw EditError("pin " + std::to_string(p.Syllable + begin + 1) +
                                    " goes past the line " + (p.Tick < low ? "before" : "after") +
                                    " it");
            std::vector<align::SyllableShape> shapes;
            for (size_t i = begin; i < end; ++i)
                shapes.push_back({syllables_[i].WordStart, i == begin, syllables_[i].ParagraphStart,
                                  false, 0, 0, false});
            const std::vector<align::MelodyNote> notes = NotesBetween(melody_, low, high);
            align::Alignment placed;
            try {
                placed = align::AlignSyllables(notes, shapes, line_pins, options_);
            } catch (const std::invalid_argument& e) {
                throw EditError(e.what());
            }
            for (size_t i = begin; i < end; ++i)
                wanted[i] = static_cast<int32_t>(std::clamp<int64_t>(
                    placed.Syllables[i - begin].Tick, std::max<int64_t>(low, 0), high));
            for (const align::Pin& p : line_pins) wanted[p.Syllable + begin] = p.Tick;
            // Keep order where clamping met a pin.
            for (size_t i = begin + 1; i < end; ++i) wanted[i] = std::max(wanted[i], wanted[i - 1]);
        }
        move_to(wanted);
    };

    auto moved_one = [&](size_t i, int64_t tick) {
        need(i);
        if (tick < 0 || tick > std::numeric_limits<int32_t>::max())
            throw EditError("tick " + std::to_string(tick) + " is outside the song");
        if (i > 0 && tick < ticks[i - 1])
            throw EditError("syllable " + std::to_string(i + 1) +
                            " cannot pass the syllable before it");
        if (i + 1 < count && tick > ticks[i + 1])
            throw EditError("syllable " + std::to_string(i + 1) +
                            " cannot pass the syllable after it");
        std::vector<int32_t> wanted = ticks;
        wanted[i] = static_cast<int32_t>(tick);
        move_to(wanted);
    };

    // A syllable and, where they would be passed, those after it go one note later.
    auto one_note_later = [&](size_t i) {
        need(i);
        std::vector<int32_t> wanted = ticks;
        wanted[i] = NoteAfter(melody_, ticks[i]);
        for (size_t j = i + 1; j < count && wanted[j] <= wanted[j - 1]; ++j)
            wanted[j] = NoteAfter(melody_, wanted[j - 1]);
        move_to(wanted);
    };

    switch (edit.Kind) {
        case EditKind::MoveTo:
            moved_one(edit.Syllable, edit.Tick);
            break;
        case EditKind::MoveToNote: {
            need(edit.Syllable);
            int32_t tick = ticks[edit.Syllable];
            for (int s = 0; s < std::abs(edit.Steps); ++s)
                tick = edit.Steps > 0 ? NoteAfter(melody_, tick) : NoteBefore(melody_, tick);
            moved_one(edit.Syllable, tick);
            break;
        }
        case EditKind::Nudge:
            need(edit.Syllable);
            moved_one(edit.Syllable, static_cast<int64_t>(ticks[edit.Syllable]) + edit.Delta);
            break;
        case EditKind::MoveSeveral: {
            std::vector<int64_t> wide(ticks.begin(), ticks.end());
            for (size_t i : edit.Selection) {
                need(i);
                wide[i] = static_cast<int64_t>(ticks[i]) + edit.Delta;
                if (wide[i] < 0 || wide[i] > std::numeric_limits<int32_t>::max())
                    throw EditError("the selection would leave the song");
            }
            move_to(std::vector<int32_t>(wide.begin(), wide.end()));
            break;
        }
        case EditKind::Hold:
            need(edit.Syllable);
            if (edit.Syllable + 1 >= count) throw EditError("the last syllable has none after it");
            one_note_later(edit.Syllable + 1);
            break;
        case EditKind::SkipNote:
            one_note_later(edit.Syllable);
            break;
        case EditKind::Drag:
            if (edit.OnlyDragged)
                moved_one(edit.Syllable, edit.Tick);
            else
                realign({{edit.Syllable, edit.Tick}});
            break;
        case EditKind::Realign:
            if (edit.Pins.empty()) throw EditError("no pins given");
            realign(edit.Pins);
            break;
        case EditKind::SetText:
            need(edit.Syllable);
            CheckText(edit.Text, karaoke_source || other_ == OtherStream::Follows);
            for (const StreamSpec& s : streams) {
                const std::vector<TimedSyllable> now = ReadSyllables(song_, s);
                MidiEvent e = song_.Track(s.Track).Event(now[edit.Syllable].Event);
                TextParts parts = PartsOf(e.Data.view());
                parts.Core = edit.Text;
                e.Data = ByteString(Joined(parts));
                log.Replace(s.Track, now[edit.Syllable].Event, std::move(e));
            }
            break;
        case EditKind::Split: {
            need(edit.Syllable);
            const std::string& text = syllables_[edit.Syllable].Text;
            if (edit.TextPosition == 0 || edit.TextPosition >= text.size())
                throw EditError("a split must leave text on both sides");
            CheckText(text.substr(0, edit.TextPosition), false);
            CheckText(text.substr(edit.TextPosition),
                      karaoke_source || other_ == OtherStream::Follows);
            for (const StreamSpec& s : streams) {
                const std::vector<TimedSyllable> now = ReadSyllables(song_, s);
                const int32_t at = now[edit.Syllable].Event;
                MidiEvent first = song_.Track(s.Track).Event(at);
                const TextParts parts = PartsOf(first.Data.view());
                MidiEvent second = first;
                first.Data = ByteString(parts.Before + parts.Core.substr(0, edit.TextPosition));
                second.Data = ByteString(parts.Core.substr(edit.TextPosition) + parts.After);
                log.Replace(s.Track, at, std::move(first));
                log.Insert(s.Track, at + 1, std::move(second));
            }
            break;
        }
        case EditKind::MergeNext: {
            need(edit.Syllable);
            if (edit.Syllable + 1 >= count) throw EditError("the last syllable has none after it");
            for (const StreamSpec& s : streams) {
                const std::vector<TimedSyllable> now = ReadSyllables(song_, s);
                const int32_t at = now[edit.Syllable].Event;
                int32_t next = now[edit.Syllable + 1].Event;
                for (int32_t e = next - 1; e > at; --e)
                    if (InStream(song_.Track(s.Track).Event(e), s)) {
                        log.Remove(s.Track, e);
                        --next;
                    }
                const TextParts a = PartsOf(song_.Track(s.Track).Event(at).Data.view());
                const TextParts b = PartsOf(song_.Track(s.Track).Event(next).Data.view());
                MidiEvent merged = song_.Track(s.Track).Event(at);
                merged.Data = ByteString(a.Before + a.Core + b.Core + b.After);
                log.Remove(s.Track, next);
                log.Replace(s.Track, at, std::move(merged));
            }
            break;
        }
        case EditKind::StartLine:
        case EditKind::StartParagraph:
        case EditKind::JoinLine: {
            need(edit.Syllable);
            if (edit.Syllable == 0) throw EditError("the first syllable always starts a line");
            const bool paragraph = edit.Kind == EditKind::StartParagraph;
            const bool line = edit.Kind != EditKind::JoinLine;
            const bool word = line || syllables_[edit.Syllable].WordStart;
            for (const StreamSpec& s : streams)
                SetBreak(log, s, edit.Syllable, word, line, paragraph);
            break;
        }
        case EditKind::Delete: {
            need(edit.Syllable);
            if (count == 1) throw EditError("the only syllable cannot go");
            const size_t i = edit.Syllable;
            const TimedSyllable gone = syllables_[i];
            const bool has_next = i + 1 < count;
            const TimedSyllable next = has_next ? syllables_[i + 1] : TimedSyllable();
            for (const StreamSpec& s : streams) {
                const std::vector<TimedSyllable> now = ReadSyllables(song_, s);
                // A lyric's line end after the last syllable goes to the one before.
                if (!has_next && s.Type == kMetaLyric && i > 0) {
                    const int32_t prev = now[i - 1].Event;
                    TextParts p = PartsOf(song_.Track(s.Track).Event(prev).Data.view());
                    p.After = PartsOf(song_.Track(s.Track).Event(now[i].Event).Data.view()).After;
                    MidiEvent e = song_.Track(s.Track).Event(prev);
                    e.Data = ByteString(Joined(p));
                    log.Replace(s.Track, prev, std::move(e));
                }
                log.Remove(s.Track, now[i].Event);
                if (has_next && i > 0)
                    SetBreak(log, s, i, gone.WordStart || next.WordStart,
                             gone.LineStart || next.LineStart,
                             gone.ParagraphStart || next.ParagraphStart);
            }
            break;
        }
        case EditKind::Insert: {
            const size_t b = edit.Syllable;
            if (b > count)
                throw EditError("there is no syllable " + std::to_string(b + 1) +
                                " to insert before");
            CheckText(edit.Text, karaoke_source || other_ == OtherStream::Follows);
            if (edit.Tick < 0) throw EditError("a syllable cannot go before the song's start");
            if (b > 0 && edit.Tick < ticks[b - 1])
                throw EditError("the new syllable cannot go before the syllable ahead of it");
            if (b < count && edit.Tick > ticks[b])
                throw EditError("the new syllable cannot go after the syllable behind it");
            for (const StreamSpec& s : streams) {
                const std::vector<TimedSyllable> now = ReadSyllables(song_, s);
                const int32_t low = b > 0 ? now[b - 1].Event : -1;
                const int32_t high = b < count ? now[b].Event : song_.Count(s.Track);
                // A lyric ends its word with a space; a karaoke text opens with one.
                PlaceEvent(log, s.Track,
                           MetaEvent(edit.Tick, s.Type,
                                     s.Type == kMetaLyric ? edit.Text + " " : " " + edit.Text),
                           edit.Tick, low, high);
                if (b > 0) SetBreak(log, s, b, true, false, false);
                if (b < count) {
                    const TimedSyllable& was = syllables_[b];
                    SetBreak(log, s, b + 1, was.WordStart || b == 0, was.LineStart && b > 0,
                             was.ParagraphStart && b > 0);
                }
            }
            break;
        }
        case EditKind::Restore:
            break;
    }
}

MidiFile TimedWords::SongToSave(SaveAs as) const {
    MidiFile out = song_;
    const bool has_lyrics = source_ == LineSource::Lyrics || other_ != OtherStream::None;
    const bool has_karaoke = source_ == LineSource::Karaoke || other_ != OtherStream::None;
    if (as == SaveAs::AsEdited) return out;
    if (source_ == LineSource::Lyrics && !has_karaoke && as != SaveAs::Lyrics) {
        int16_t track = track_;
        LyricsToKaraoke(out, track, SongKaraokeInfo(out), as == SaveAs::Both);
    } else if (source_ == LineSource::Karaoke && !has_lyrics && as != SaveAs::Karaoke) {
        KaraokeToLyrics(out, track_, as == SaveAs::Both);
    }
    return out;
}

// ---- tap to time -----------------------------------------------------------

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
