// The file dialogs and message boxes of the main window, behind one small
// interface so that tests can answer them without the platform's dialogs.
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace verselane::ui {

class Prompts {
  public:
    virtual ~Prompts() = default;
    // The file to read, or nothing when the user cancelled.
    virtual std::optional<QString> OpenFileName(QWidget* parent) = 0;
    // The file to write, starting from `proposed`; nothing when cancelled.
    virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& proposed) = 0;
    // A message box with an OK button and the application's title.
    virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
    // A question with Yes and No; true for Yes. Unless overridden, No.
    virtual bool Ask(QWidget* parent, const QString& text);
};

// The platform's file dialogs and a plain message box.
class DesktopPrompts : public Prompts {
  public:
    std::optional<QString> OpenFileName(QWidget* parent) override;
    std::optional<QString> SaveFileName(QWidget* parent, const QString& proposed) override;
    void ShowMessage(QWidget* parent, const QString& text) override;
    bool Ask(QWidget* parent, const QString& text) override;
};

// The filters of both file dialogs: MIDI files first, every file as the other choice.
QString MidiFileFilter();

}  // namespace verselane::ui
