// The file dialogs and message boxes of the main window, behind one small
// interface so that tests can answer them without the platform's dialogs.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace verselane::ui {

class Prompts {
  public:
    virtual ~Prompts() = default;
    // The file to read, starting in `folder`; nothing when the user cancelled.
    virtual std::optional<QString> OpenFileName(QWidget* parent, const QString& folder) = 0;
    // The files to convert, starting in `folder`; empty when cancelled.
    virtual QStringList OpenFileNames(QWidget* parent, const QString& folder) = 0;
    // The folder whose songs to convert; nothing when cancelled.
    virtual std::optional<QString> FolderName(QWidget* parent, const QString& folder) = 0;
    // The file to write, starting from `proposed`; nothing when cancelled.
    virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& proposed) = 0;
    // A message box with an OK button and the application's title.
    virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
    // A question with Yes (true) and No (false).
    virtual bool Ask(QWidget* parent, const QString& question) = 0;
    // Whether to save changed work before it goes: QMessageBox::Save,
    // Discard or Cancel (also for Esc and the close box).
    virtual QMessageBox::StandardButton AskToSave(QWidget* parent, const QString& question) = 0;
};

// The platform's file dialogs and plain message boxes.
class DesktopPrompts : public Prompts {
  public:
    std::optional<QString> OpenFileName(QWidget* parent, const QString& folder) override;
    QStringList OpenFileNames(QWidget* parent, const QString& folder) override;
    std::optional<QString> FolderName(QWidget* parent, const QString& folder) override;
    std::optional<QString> SaveFileName(QWidget* parent, const QString& proposed) override;
    void ShowMessage(QWidget* parent, const QString& text) override;
    bool Ask(QWidget* parent, const QString& question) override;
    QMessageBox::StandardButton AskToSave(QWidget* parent, const QString& question) override;
};

// The filters of the file dialogs: MIDI files first, every file as the other choice.
QString MidiFileFilter();

}  // namespace verselane::ui
