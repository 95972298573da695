// The timing editor's edits: each one key or menu entry, carried out by the
// editing core and pushed onto the undo stack as one step.
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/edit_commands.h"
#include "ui/refusals.h"
#include "ui/timing_editor.h"

namespace verselane::ui {

bool TimingEditor::Apply(const QString& name, const editing::Edit& edit) {
    if (!words_) return false;
    editing::Edit inverse;
    try {
        inverse = words_->Apply(edit);
    } catch (const editing::EditError& e) {
        emit StatusMessage(tr("%1: not done (%2).").arg(name, DescribeEditFault(e.Fault())));
        return false;
    }
    auto changed = [this] {
        if (!words_) return;
        Refresh();
        emit SongEdited(words_->EditedSong());
    };
    undo_->push(new TimedEditCommand(
        name, [this] { return words_.get(); }, edit, std::move(inverse), changed));
    changed();
    return true;
}

void TimingEditor::MoveSelection(const QString& name, int32_t delta) {
    if (selected_.empty() || delta == 0) return;
    if (selected_.size() == 1) {
        Apply(name, editing::Edit::Nudge(*selected_.begin(), delta));
    } else {
        Apply(name, editing::Edit::MoveSeveral({selected_.begin(), selected_.end()}, delta));
    }
}

// The melody's note start before (direction < 0) or after `tick`; `tick`
// itself when there is none.
int32_t TimingEditor::NoteBeside(int32_t tick, int direction) const {
    if (direction > 0) {
        auto next = std::upper_bound(
            notes_.begin(), notes_.end(), tick,
            [](int32_t t, const align::MelodyNote& note) { return t < note.Tick; });
        return next != notes_.end() ? next->Tick : tick;
    }
    auto before =
        std::lower_bound(notes_.begin(), notes_.end(), tick,
                         [](const align::MelodyNote& note, int32_t t) { return note.Tick < t; });
    return before != notes_.begin() ? (before - 1)->Tick : tick;
}

void TimingEditor::MoveToNote(int direction) {
    if (current_ < 0) return;
    const QString name =
        direction > 0 ? tr("Move to the Next Note") : tr("Move to the Previous Note");
    if (selected_.size() <= 1) {
        Apply(name, editing::Edit::MoveToNote(current_, direction));
        return;
    }
    // Several: all as far as the chosen one goes to its note.
    const int32_t tick = syllables_[current_].Tick;
    MoveSelection(name, NoteBeside(tick, direction) - tick);
}

void TimingEditor::PinToNote(int direction) {
    if (current_ < 0) return;
    const QString name = direction > 0 ? tr("Pin to the Next Note and Re-align")
                                       : tr("Pin to the Previous Note and Re-align");
    const int32_t tick = syllables_[current_].Tick;
    const int32_t to = NoteBeside(tick, direction);
    if (to == tick) {
        const auto problem =
            direction > 0 ? editing::EditProblem::NoNoteAfter : editing::EditProblem::NoNoteBefore;
        emit StatusMessage(
            tr("%1: not done (%2).").arg(name, DescribeEditFault(editing::EditFault(problem))));
        return;
    }
    Apply(name, editing::Edit::Drag(current_, to, false));
}

void TimingEditor::Nudge(int direction) {
    MoveSelection(direction > 0 ? tr("Nudge Later") : tr("Nudge Earlier"),
                  direction * std::max(1, division_ / 4));
}

std::optional<TimingEditor::TypedText> TimingEditor::AskText(const QString& title,
                                                             const QString& text, bool can_split) {
    if (ask_text_) return ask_text_(title, text);
    QDialog dialog(this);
    dialog.setWindowTitle(title);
    auto* label = new QLabel(tr("&Text:"), &dialog);
    auto* edit = new QLineEdit(text, &dialog);
    edit->setObjectName(QStringLiteral("SyllableText"));
    label->setBuddy(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    int split_at = -1;
    if (can_split) {
        QPushButton* split =
            buttons->addButton(tr("&Split at the Cursor"), QDialogButtonBox::ActionRole);
        split->setObjectName(QStringLiteral("SplitAtCursor"));
        split->setToolTip(tr("Splits the syllable in two where the text cursor is (Alt+S)"));
        split->setAutoDefault(false);
        connect(split, &QPushButton::clicked, &dialog, [&] {
            split_at = edit->cursorPosition();
            dialog.accept();
        });
    }
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return TypedText(edit->text(), split_at);
}

std::string TimingEditor::Encoded(const QString& text) const {
    return encode_ ? encode_(text) : text.toStdString();
}

void TimingEditor::SetLineStartTaps(bool on) {
    line_start_taps_ = on;
    taps_.clear();
    tap_next_ = -1;
}

void TimingEditor::Tap(double heard_seconds, double latency, double speed) {
    if (!words_ || syllables_.empty() || !(speed > 0)) return;
    // Taps that were undone are no pins any more.
    std::erase_if(taps_, [this](const TapPin& tap) { return tap.UndoIndex > undo_->index(); });
    if (tap_next_ < 0) tap_next_ = std::max(0, current_);
    if (!taps_.empty()) tap_next_ = static_cast<int>(taps_.back().Syllable) + 1;
    const int count = static_cast<int>(syllables_.size());
    while (line_start_taps_ && tap_next_ < count && !syllables_[tap_next_].LineStart) ++tap_next_;
    if (tap_next_ >= count) return;
    const editing::TapSnapper snapper(*words_);
    // The snapper takes the tap in the listener's seconds since the song's
    // start at this speed.
    const std::optional<int32_t> tick = snapper.Snap(heard_seconds / speed, speed, latency);
    if (!tick) {
        emit StatusMessage(tr("Tap at %1: no note starts near it.")
                               .arg(QString::fromStdString(FormatTimestamp(heard_seconds))));
        return;
    }
    std::vector<std::pair<size_t, int32_t>> pins;
    for (const TapPin& tap : taps_) pins.emplace_back(tap.Syllable, tap.Tick);
    pins.emplace_back(tap_next_, *tick);
    const int syllable = tap_next_;
    if (!Apply(line_start_taps_ ? tr("Tap a Line Start") : tr("Tap"),
               editing::Edit::Realign(std::move(pins))))
        return;
    taps_.push_back({static_cast<size_t>(syllable), *tick, undo_->index()});
    tap_next_ = syllable + 1;
    current_ = syllable;
    selected_ = {syllable};
    viewport()->update();
}

void TimingEditor::EditText() {
    if (current_ < 0) return;
    const int syllable = current_;
    const QString was = syllables_[syllable].Text;
    const std::optional<TypedText> typed = AskText(tr("Edit the Syllable"), was, true);
    if (!typed) return;
    if (typed->SplitAt < 0) {
        Apply(tr("Edit the Text"), editing::Edit::SetText(syllable, Encoded(typed->Text)));
        return;
    }
    // The split position in the song's bytes: the bytes of the text before
    // the cursor.
    const size_t at = Encoded(typed->Text.left(typed->SplitAt)).size();
    if (typed->Text == was) {
        Apply(tr("Split the Syllable"), editing::Edit::Split(syllable, at));
        return;
    }
    // A new text and a split: one step, made only when both can be (tried
    // on a copy first, so that a refused split leaves no half step behind).
    const editing::Edit set_text = editing::Edit::SetText(syllable, Encoded(typed->Text));
    try {
        editing::TimedWords trial = *words_;
        trial.Apply(set_text);
        trial.Apply(editing::Edit::Split(syllable, at));
    } catch (const editing::EditError& e) {
        emit StatusMessage(
            tr("%1: not done (%2).").arg(tr("Split the Syllable"), DescribeEditFault(e.Fault())));
        return;
    }
    undo_->beginMacro(tr("Split the Syllable at the Cursor"));
    Apply(tr("Edit the Text"), set_text);
    Apply(tr("Split the Syllable"), editing::Edit::Split(syllable, at));
    undo_->endMacro();
}

void TimingEditor::InsertWord() {
    if (current_ < 0) return;
    // Before the chosen syllable: at the play cursor when it is between that
    // one and the one before, else halfway between them.
    const int32_t here = syllables_[current_].Tick;
    const int32_t before = current_ > 0 ? syllables_[current_ - 1].Tick : 0;
    const int32_t tick = cursor_tick_ >= before && cursor_tick_ <= here
                             ? cursor_tick_
                             : before + (here - before) / 2;
    if (const auto typed = AskText(tr("Insert a Word"), QString(), false)) {
        Apply(tr("Insert a Word"), editing::Edit::Insert(current_, Encoded(typed->Text), tick));
    }
}

void TimingEditor::SplitHalf() {
    if (current_ < 0) return;
    const std::string& bytes = words_->Syllables()[current_].Text;
    Apply(tr("Split the Syllable"), editing::Edit::Split(current_, bytes.size() / 2));
}

void TimingEditor::MergeNext() {
    if (current_ >= 0) Apply(tr("Merge with the Next"), editing::Edit::MergeNext(current_));
}

void TimingEditor::Hold() {
    if (current_ >= 0) Apply(tr("Hold over the Next Note"), editing::Edit::Hold(current_));
}

void TimingEditor::SkipNote() {
    if (current_ >= 0) Apply(tr("Skip a Note"), editing::Edit::SkipNote(current_));
}

void TimingEditor::StartLine(bool paragraph) {
    if (current_ < 0) return;
    if (paragraph) {
        Apply(tr("Start a Paragraph"), editing::Edit::StartParagraph(current_));
    } else {
        Apply(tr("Start a Line"), editing::Edit::StartLine(current_));
    }
}

void TimingEditor::JoinLine() {
    if (current_ >= 0) Apply(tr("Join to the Line Before"), editing::Edit::JoinLine(current_));
}

void TimingEditor::DeleteSyllable() {
    if (current_ >= 0) Apply(tr("Delete the Syllable"), editing::Edit::Delete(current_));
}

}  // namespace verselane::ui
