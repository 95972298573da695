#include "ui/timing_editor.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QUndoStack>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace verselane::ui {

namespace {

constexpr int kRuler = 16;                          // bar numbers
constexpr int kSyllableLane = 34;                   // the syllable blocks under the notes
constexpr double kLeastZoom = 4, kMostZoom = 1200;  // pixels per quarter note

}  // namespace

TimingEditor::TimingEditor(QUndoStack* undo, QWidget* parent)
    : QAbstractScrollArea(parent), undo_(undo) {
    setObjectName(QStringLiteral("TimingEditor"));
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setMouseTracking(false);
    setToolTip(
        tr("Timing: Left/Right choose a syllable, Alt+Left/Right move it to the previous "
           "or next note, Ctrl+Left/Right nudge it, F8 goes to the next doubtful one; "
           "drag a syllable onto a note or press Alt+Shift+Left/Right to pin it there and "
           "re-align its line. Ctrl+wheel zooms."));
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, viewport(),
            [this] { viewport()->update(); });
}

void TimingEditor::SetSong(const Song& song, int16_t track, LineSource from,
                           const std::function<QString(std::string_view)>& decode) {
    decode_ = decode;
    if (words_ && track == track_ && from == from_) {
        Refresh();  // the same words, shown anew
        return;
    }
    Clear();
    if (track < 0) return;
    try {
        words_ = std::make_unique<editing::TimedWords>(song, from, track);
    } catch (const std::exception& e) {
        // No sung words here (or none the editor can take): nothing to edit.
        words_.reset();
        viewport()->update();
        return;
    }
    track_ = track;
    from_ = from;
    division_ = TicksPerBeat(song.Division);
    bars_.emplace(song, track);
    notes_ = words_->Melody();
    if (words_->Other() == editing::OtherStream::Different) {
        emit StatusMessage(
            tr("The song's other stream of words holds other words: the edits "
               "are made to the %1 only.")
                .arg(from == LineSource::Lyrics ? tr("lyric events") : tr("karaoke text")));
    }
    Refresh();
    if (!syllables_.empty()) Select(0);
}

void TimingEditor::Refresh() {
    if (!words_) return;
    syllables_.clear();
    std::vector<bool> doubtful(words_->Count(), false);
    std::vector<int32_t> starts;
    for (const align::MelodyNote& note : notes_) starts.push_back(note.Tick);
    for (const editing::DoubtMark& mark : words_->Doubts()) {
        if (mark.Syllable < doubtful.size()) doubtful[mark.Syllable] = true;
    }
    for (size_t i = 0; i < words_->Count(); ++i) {
        const editing::TimedSyllable& timed = words_->Syllables()[i];
        EditorSyllable s;
        s.Tick = timed.Tick;
        s.Text = decode_ ? decode_(timed.Text) : QString::fromStdString(timed.Text);
        s.LineStart = timed.LineStart;
        s.ParagraphStart = timed.ParagraphStart;
        // The doubts worked out on opening, and any syllable now on no note.
        s.Doubtful = doubtful[i] ||
                     (!notes_.empty() && !std::binary_search(starts.begin(), starts.end(), s.Tick));
        syllables_.push_back(std::move(s));
    }
    last_tick_ = 0;
    low_pitch_ = 127;
    high_pitch_ = 0;
    for (const align::MelodyNote& note : notes_) {
        last_tick_ = std::max(last_tick_, note.End);
        low_pitch_ = std::min(low_pitch_, note.Pitch);
        high_pitch_ = std::max(high_pitch_, note.Pitch);
    }
    if (low_pitch_ > high_pitch_) low_pitch_ = 60, high_pitch_ = 72;
    for (const EditorSyllable& s : syllables_) last_tick_ = std::max(last_tick_, s.Tick);
    const int count = static_cast<int>(syllables_.size());
    if (current_ >= count) current_ = count - 1;
    std::erase_if(selected_, [count](int i) { return i >= count; });
    if (selected_.empty() && current_ >= 0) selected_.insert(current_);
    UpdateScrollRange();
    viewport()->update();
}

void TimingEditor::Clear() {
    words_.reset();
    track_ = -1;
    syllables_.clear();
    notes_.clear();
    bars_.reset();
    selected_.clear();
    current_ = -1;
    cursor_tick_ = -1;
    taps_.clear();
    tap_next_ = -1;
    last_tick_ = 0;
    UpdateScrollRange();
    viewport()->update();
}

int32_t TimingEditor::TickOfSeconds(double seconds) const {
    // The last tick at or before `seconds`.
    return words_ ? words_->TickAt(seconds) : 0;
}

void TimingEditor::ShowAt(double seconds, bool playing) {
    const int32_t tick = words_ ? TickOfSeconds(seconds) : -1;
    if (tick == cursor_tick_) return;
    cursor_tick_ = tick;
    if (playing) {
        const int x = X(tick);
        if (x < 0 || x > viewport()->width() - 40) ScrollTo(tick);
    }
    viewport()->update();
}

std::optional<double> TimingEditor::LeadInSeconds() const {
    if (!words_ || current_ < 0) return std::nullopt;
    const int32_t tick = std::max<int32_t>(0, syllables_[current_].Tick - 2 * division_);
    return words_->Seconds(tick);
}

// Positions in double: a song reaching the last tick a file can hold is
// wider in pixels than an int, and ticks near that last one overflow when
// a beat is added to them.
int TimingEditor::X(int64_t tick) const {
    const double x = std::round(static_cast<double>(tick) * pixels_per_quarter_ / division_) -
                     horizontalScrollBar()->value();
    return static_cast<int>(std::clamp(x, -1e9, 1e9));
}

int32_t TimingEditor::TickAt(int x) const {
    const double tick = std::round((static_cast<double>(x) + horizontalScrollBar()->value()) *
                                   division_ / pixels_per_quarter_);
    return static_cast<int32_t>(
        std::clamp(tick, static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX)));
}

double TimingEditor::MostZoom() const {
    const double quarters = (static_cast<double>(last_tick_) + 4.0 * division_) / division_;
    return std::min(kMostZoom, 1e9 / std::max(1.0, quarters));
}

void TimingEditor::UpdateScrollRange() {
    pixels_per_quarter_ = std::min(pixels_per_quarter_, MostZoom());
    const int width = static_cast<int>(std::lround(
        (static_cast<double>(last_tick_) + 4.0 * division_) * pixels_per_quarter_ / division_));
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(std::max(1, static_cast<int>(pixels_per_quarter_)));
}

void TimingEditor::ScrollTo(int32_t tick) {
    const int absolute = X(tick) + horizontalScrollBar()->value();
    horizontalScrollBar()->setValue(absolute - viewport()->width() / 4);
}

void TimingEditor::Zoom(double factor) {
    const int32_t anchor =
        current_ >= 0 ? syllables_[current_].Tick : TickAt(viewport()->width() / 2);
    const int anchor_x = X(anchor);
    const double most = MostZoom();
    pixels_per_quarter_ =
        std::clamp(pixels_per_quarter_ * factor, std::min(kLeastZoom, most), most);
    UpdateScrollRange();
    // The syllable chosen stays where it was on screen.
    horizontalScrollBar()->setValue(X(anchor) + horizontalScrollBar()->value() - anchor_x);
    viewport()->update();
}

void TimingEditor::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange();
}

void TimingEditor::Select(int syllable, bool add) {
    if (syllable < 0 || syllable >= static_cast<int>(syllables_.size())) return;
    if (!add) selected_.clear();
    selected_.insert(syllable);
    current_ = syllable;
    taps_.clear();
    tap_next_ = syllable;
    const int x = X(syllables_[syllable].Tick);
    if (x < 0 || x > viewport()->width() - 60) ScrollTo(syllables_[syllable].Tick);
    viewport()->update();
}

void TimingEditor::NextDoubtful(int direction) {
    const int count = static_cast<int>(syllables_.size());
    for (int step = 1; step <= count; ++step) {
        const int i = ((current_ < 0 ? -1 : current_) + direction * step + count * 2) % count;
        if (syllables_[i].Doubtful) {
            Select(i);
            return;
        }
    }
}

int32_t TimingEditor::NearestNoteStart(int32_t tick) const {
    if (notes_.empty()) return tick;
    auto after =
        std::lower_bound(notes_.begin(), notes_.end(), tick,
                         [](const align::MelodyNote& note, int32_t t) { return note.Tick < t; });
    int32_t best = after == notes_.end() ? notes_.back().Tick : after->Tick;
    if (after != notes_.begin() && tick - (after - 1)->Tick < std::abs(best - tick)) {
        best = (after - 1)->Tick;
    }
    return best;
}

void TimingEditor::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    const int direction = key == Qt::Key_Left ? -1 : key == Qt::Key_Right ? 1 : 0;
    if (direction != 0 && mods == Qt::AltModifier) {
        MoveToNote(direction);
    } else if (direction != 0 && mods == Qt::ControlModifier) {
        Nudge(direction);
    } else if (direction != 0 && (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
        Select(std::clamp(current_ + direction, 0, static_cast<int>(syllables_.size()) - 1),
               mods == Qt::ShiftModifier);
    } else if (key == Qt::Key_Home && mods == Qt::NoModifier) {
        Select(0);
    } else if (key == Qt::Key_End && mods == Qt::NoModifier) {
        Select(static_cast<int>(syllables_.size()) - 1);
    } else if (key == Qt::Key_F2 && mods == Qt::NoModifier) {
        EditText();
    } else if (key == Qt::Key_Delete && mods == Qt::NoModifier) {
        DeleteSyllable();
    } else if (key == Qt::Key_Insert && mods == Qt::NoModifier) {
        InsertWord();
    } else if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
               (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
        StartLine(mods == Qt::ShiftModifier);
    } else if (key == Qt::Key_Backspace && mods == Qt::NoModifier) {
        JoinLine();
    } else if (key == Qt::Key_F8) {
        NextDoubtful(mods & Qt::ShiftModifier ? -1 : 1);
    } else if ((key == Qt::Key_Plus || key == Qt::Key_Equal) && (mods & Qt::ControlModifier)) {
        Zoom(1.25);
    } else if (key == Qt::Key_Minus && (mods & Qt::ControlModifier)) {
        Zoom(0.8);
    } else {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

int TimingEditor::SyllableAt(QPoint point) const {
    if (point.y() < viewport()->height() - kSyllableLane) return -1;
    int found = -1;
    for (int i = 0; i < static_cast<int>(syllables_.size()); ++i) {
        if (X(syllables_[i].Tick) <= point.x()) found = i;
    }
    return found;
}

void TimingEditor::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    const int at = SyllableAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || at < 0) return;
    const bool add = event->modifiers() & Qt::ControlModifier;
    if (!selected_.count(at) || add) Select(at, add);
    current_ = at;
    dragged_ = at;
    drag_tick_ = syllables_[at].Tick;
    drag_alone_ = event->modifiers() & (Qt::AltModifier | Qt::ShiftModifier);
}

void TimingEditor::mouseMoveEvent(QMouseEvent* event) {
    if (dragged_ < 0) return;
    drag_tick_ = NearestNoteStart(TickAt(static_cast<int>(event->position().x())));
    viewport()->update();
}

void TimingEditor::mouseReleaseEvent(QMouseEvent* event) {
    if (dragged_ < 0) return;
    const int dragged = std::exchange(dragged_, -1);
    const int32_t target = NearestNoteStart(TickAt(static_cast<int>(event->position().x())));
    const int32_t delta = target - syllables_[dragged].Tick;
    if (delta == 0) {
        viewport()->update();
        return;
    }
    // Several chosen move together; one is pinned on the note and the rest
    // of its line re-aligns around it, or with Alt or Shift moves alone.
    if (selected_.size() > 1 && !drag_alone_) {
        MoveSelection(tr("Drag onto a Note"), delta);
        return;
    }
    Select(dragged);
    Apply(drag_alone_ ? tr("Drag onto a Note") : tr("Drag onto a Note and Re-align"),
          editing::Edit::Drag(dragged, target, drag_alone_));
}

void TimingEditor::wheelEvent(QWheelEvent* event) {
    if (event->modifiers() & Qt::ControlModifier) {
        Zoom(event->angleDelta().y() > 0 ? 1.25 : 0.8);
        event->accept();
        return;
    }
    const int delta =
        event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() - delta);
    event->accept();
}

void TimingEditor::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QRect area = viewport()->rect();
    const QPalette& colours = palette();
    painter.fillRect(area, colours.base());
    if (!words_) {
        painter.setPen(colours.color(QPalette::PlaceholderText));
        painter.drawText(area, Qt::AlignCenter, tr("The timing of the words shows here."));
        return;
    }
    const int lane_top = area.height() - kSyllableLane;
    const int strip_top = kRuler, strip_bottom = lane_top - 4;
    const int64_t first = std::max<int64_t>(0, int64_t{TickAt(0)} - division_),
                  last = int64_t{TickAt(area.width())} + 1;

    // Bars and beats by the song's time signatures, from the bar the view
    // opens in: the bars before it are counted by the map, not walked. A
    // song without a metrical division has no bars (every tick is bar 1).
    for (int64_t bar = bars_->At(static_cast<int32_t>(first)).Bar; bar < INT32_MAX; ++bar) {
        const int32_t tick = bars_->TickOf(static_cast<int32_t>(bar)),
                      next = bars_->TickOf(static_cast<int32_t>(bar + 1));
        if (tick > last || next <= tick) break;
        const int x = X(tick);
        painter.setPen(colours.color(QPalette::Mid));
        painter.drawLine(x, 0, x, area.height());
        painter.setPen(colours.color(QPalette::Text));
        painter.drawText(x + 3, kRuler - 3, QString::number(bar));
        if (pixels_per_quarter_ >= 12) {
            const int64_t beat = bars_->MeterOf(static_cast<int32_t>(bar)).BeatTicks;
            painter.setPen(colours.color(QPalette::Midlight));
            for (int64_t b = int64_t{tick} + beat; b < next; b += beat) {
                painter.drawLine(X(b), kRuler, X(b), strip_bottom);
            }
        }
    }

    // The melody's notes.
    const int span = std::max(1, high_pitch_ - low_pitch_ + 1);
    const double row = double(strip_bottom - strip_top) / span;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(70, 120, 200));
    for (const align::MelodyNote& note : notes_) {
        if (note.End < first || note.Tick > last) continue;
        const int y = strip_top + static_cast<int>((high_pitch_ - note.Pitch) * row);
        painter.drawRect(X(note.Tick), y, std::max(2, X(note.End) - X(note.Tick) - 1),
                         std::max(2, static_cast<int>(row)));
    }

    // The syllables: a block from each to the next, line and paragraph starts marked.
    for (int i = 0; i < static_cast<int>(syllables_.size()); ++i) {
        const EditorSyllable& s = syllables_[i];
        const int32_t next =
            i + 1 < static_cast<int>(syllables_.size())
                ? syllables_[i + 1].Tick
                : static_cast<int32_t>(std::min<int64_t>(INT32_MAX, int64_t{s.Tick} + division_));
        if (next < first || s.Tick > last) continue;
        const int x = X(s.Tick), right = std::max(x + 6, X(next) - 1);
        const QRect block(x, lane_top, right - x, kSyllableLane - 4);
        const bool chosen = selected_.count(i) > 0;
        painter.setPen(s.Doubtful ? QPen(QColor(220, 110, 0), 2)
                                  : QPen(colours.color(QPalette::Mid)));
        painter.setBrush(chosen ? colours.highlight() : colours.alternateBase());
        painter.drawRect(block);
        painter.setPen(chosen ? colours.color(QPalette::HighlightedText)
                              : colours.color(QPalette::Text));
        painter.drawText(block.adjusted(3, 0, -1, 0), Qt::AlignVCenter | Qt::AlignLeft, s.Text);
        if (s.LineStart) {
            painter.setPen(QPen(s.ParagraphStart ? QColor(150, 0, 150) : QColor(0, 140, 0), 3));
            painter.drawLine(x, kRuler, x, area.height());
        }
        if (i == current_ && hasFocus()) {
            painter.setPen(QPen(colours.color(QPalette::Text), 1, Qt::DotLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(block.adjusted(-2, -2, 2, 2));
        }
    }

    if (dragged_ >= 0) {
        painter.setPen(QPen(colours.color(QPalette::Highlight), 2, Qt::DashLine));
        painter.drawLine(X(drag_tick_), kRuler, X(drag_tick_), area.height());
    }
    if (cursor_tick_ >= 0) {
        painter.setPen(QPen(QColor(220, 0, 0), 2));
        painter.drawLine(X(cursor_tick_), 0, X(cursor_tick_), area.height());
    }
}

}  // namespace verselane::ui
