// The window's undoable changes: the timing editor's edits, each wrapping an
// edit of the editing core (editing/timed_words.h) and the inverse that
// applying it gave, so undo and redo are both one Apply and put back the
// song's events exactly; and the changes of the whole song (a conversion, a
// repair, words from a lyric sheet), each holding the window's song before
// and after.
#pragma once

#include <QUndoCommand>
#include <functional>
#include <memory>

#include "editing/timed_words.h"

namespace verselane::ui {

class TimedEditCommand : public QUndoCommand {
  public:
    // `edit` was applied already to the words `words` gives and gave
    // `inverse`; `changed` runs after every undo and redo (the editor and
    // the window show the song again). The words are asked for at each undo
    // and redo: a change of the whole song above this edit on the stack
    // builds the editor's words anew, from the same song when it is undone.
    TimedEditCommand(const QString& name, std::function<editing::TimedWords*()> words,
                     editing::Edit edit, editing::Edit inverse, std::function<void()> changed);
    void redo() override;
    void undo() override;

  private:
    std::function<editing::TimedWords*()> words_;
    editing::Edit redo_;
    editing::Edit undo_;
    std::function<void()> changed_;
    bool applied_ = true;  // the first redo is the edit already made
};

// A change of the whole song, made already: undo puts `before` back, redo
// `after`, each through `restore`.
template <typename State>
class SongChangeCommand : public QUndoCommand {
  public:
    SongChangeCommand(const QString& name, std::shared_ptr<const State> before,
                      std::shared_ptr<const State> after, std::function<void(const State&)> restore)
        : before_(std::move(before)), after_(std::move(after)), restore_(std::move(restore)) {
        setText(name);
    }
    void redo() override {
        if (std::exchange(applied_, false)) return;
        restore_(*after_);
    }
    void undo() override { restore_(*before_); }

  private:
    std::shared_ptr<const State> before_, after_;
    std::function<void(const State&)> restore_;
    bool applied_ = true;  // the first redo is the change already made
};

}  // namespace verselane::ui
