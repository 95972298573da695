// verselane-screenshots SONG FOLDER: pictures of the main window, the
// conversion dialog and the information dialog, as a user sees them while
// converting SONG's lyrics into karaoke text. Used by scripts/screenshots.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "ui/test_form.h"

namespace {

using verselane::ui::Prompts;

// Answers the open dialog with the song; nothing else is asked.
class OpenSong : public Prompts {
  public:
    explicit OpenSong(QString song) : song_(std::move(song)) {}
    std::optional<QString> OpenFileName(QWidget*) override { return song_; }
    std::optional<QString> SaveFileName(QWidget*, const QString&) override { return std::nullopt; }
    void ShowMessage(QWidget*, const QString&) override {}

  private:
    QString song_;
};

bool Save(QWidget* window, const QDir& folder, const char* name) {
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (!window->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "Usage: verselane-screenshots SONG FOLDER\n");
        return 2;
    }
    const QString song = QString::fromLocal8Bit(argv[1]);
    const QDir folder(QString::fromLocal8Bit(argv[2]));
    bool ok = true;

    verselane::ui::TestForm form(std::make_unique<OpenSong>(song));
    form.show();
    form.Command1_Click();
    QApplication::processEvents();
    ok &= Save(&form, folder, "main-window.png");

    // Each dialog is pictured once it has been on screen for a moment, then
    // closed the way the user would: lyrics into text, default information.
    int lyr_copy_seen = 0, kar_inf_seen = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        verselane::ui::LyrCopy& lyr_copy = form.Conversion();
        verselane::ui::KarInf& kar_inf = form.Information();
        if (lyr_copy.isVisible() && ++lyr_copy_seen == 3) {
            ok &= Save(&lyr_copy, folder, "convert-lyrics.png");
            lyr_copy.Command2->click();
        } else if (kar_inf.isVisible() && ++kar_inf_seen == 3) {
            ok &= Save(&kar_inf, folder, "karaoke-information.png");
            kar_inf.Done->click();
        }
    });
    poll.start(50);
    form.L2K_Click();
    poll.stop();
    QApplication::processEvents();
    ok &= Save(&form, folder, "main-window-converted.png");
    return ok && lyr_copy_seen >= 3 && kar_inf_seen >= 3 ? 0 : 1;
}
