// The timing editor's edits as undoable commands: each wraps an edit of the
// editing core (editing/timed_words.h) and the inverse that applying it gave,
// so undo and redo are both one Apply and put back the song's events exactly.
#pragma once

#include <QUndoCommand>
#include <functional>

#include "editing/timed_words.h"

namespace verselane::ui {

class TimedEditCommand : public QUndoCommand {
  public:
    // `edit` was applied already and gave `inverse`; `changed` runs after
    // every undo and redo (the editor and the window show the song again).
    TimedEditCommand(const QString& name, editing::TimedWords& words, editing::Edit edit,
                     editing::Edit inverse, std::function<void()> changed);
    void redo() override;
    void undo() override;

  private:
    editing::TimedWords& words_;
    editing::Edit redo_;
    editing::Edit undo_;
    std::function<void()> changed_;
    bool applied_ = true;  // the first redo is the edit already made
};

}  // namespace verselane::ui
