#include "ui/edit_commands.h"

#include <utility>

namespace verselane::ui {

TimedEditCommand::TimedEditCommand(const QString& name, std::function<editing::TimedWords*()> words,
                                   editing::Edit edit, editing::Edit inverse,
                                   std::function<void()> changed)
    : words_(std::move(words)),
      redo_(std::move(edit)),
      undo_(std::move(inverse)),
      changed_(std::move(changed)) {
    setText(name);
}

void TimedEditCommand::redo() {
    if (std::exchange(applied_, false)) return;
    if (editing::TimedWords* words = words_()) undo_ = words->Apply(redo_);
    if (changed_) changed_();
}

void TimedEditCommand::undo() {
    if (editing::TimedWords* words = words_()) redo_ = words->Apply(undo_);
    if (changed_) changed_();
}

}  // namespace verselane::ui
