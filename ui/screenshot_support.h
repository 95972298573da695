// What the two picture-taking programs share: prompts that answer the open
// dialog with one song, and saving a window's picture into a folder.
#pragma once

#include <QDir>
#include <QWidget>
#include <cstdio>
#include <utility>

#include "ui/prompts.h"

namespace verselane::ui::screenshots {

// Answers the open dialog with the song; any unwritten song is discarded and
// nothing else is asked.
class OpenSong : public Prompts {
  public:
    explicit OpenSong(QString song) : song_(std::move(song)) {}
    std::optional<QString> OpenFileName(QWidget*, const QString&) override { return song_; }
    QStringList OpenFileNames(QWidget*, const QString&) override { return {}; }
    std::optional<QString> FolderName(QWidget*, const QString&) override { return {}; }
    std::optional<QString> SaveFileName(QWidget*, const QString&) override { return {}; }
    void ShowMessage(QWidget*, const QString&) override {}
    bool Ask(QWidget*, const QString&) override { return true; }
    QMessageBox::StandardButton AskToSave(QWidget*, const QString&) override {
        return QMessageBox::Discard;
    }

  private:
    QString song_;
};

// Saves the window's picture as NAME in `folder` and prints its path.
inline bool Save(QWidget* window, const QDir& folder, const char* name) {
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (!window->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace verselane::ui::screenshots
