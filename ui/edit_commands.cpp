#include "ui/edit_commands.h"

#include <utility>

namespace verselane::ui {

TimedEditCommand::TimedEditCommand(const QString& name, editing::TimedWords& words,
                                   editing::Edit edit, editing::Edit inverse,
                                   std::function<void()> changed)
    : words_(words),
      redo_(std::move(edit)),
      undo_(std::move(inverse)),
      changed_(std::move(changed)) {
    setText(name);
}

void TimedEditCommand::redo() {
    if (std::exchange(applied_, false)) return;
    undo_ = words_.Apply(redo_);
    if (changed_) changed_();
}

void TimedEditCommand::undo() {
    redo_ = words_.Apply(undo_);
    if (changed_) changed_();
}

}  // namespace verselane::ui
