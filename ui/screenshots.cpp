// verselane-screenshots SONG FOLDER: pictures of the main window, the
// conversion dialog and the information dialog, as a user sees them while
// converting SONG's lyrics into karaoke text, and the karaoke view in the
// middle of the converted song. Used by scripts/screenshots.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <cstdio>

#include "ui/main_window.h"

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

    verselane::ui::MainWindow window(std::make_unique<OpenSong>(song));
    window.show();
    window.Command1_Click();
    QApplication::processEvents();
    ok &= Save(&window, folder, "main-window.png");

    // Each dialog is pictured once it has been on screen for a moment, then
    // closed the way the user would: lyrics into text, default information.
    int conversion_seen = 0, information_seen = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        verselane::ui::ConvertLyricsDialog& conversion = window.Conversion();
        verselane::ui::KaraokeInformationDialog& information = window.Information();
        if (conversion.isVisible() && ++conversion_seen == 3) {
            ok &= Save(&conversion, folder, "convert-lyrics.png");
            conversion.Command2->click();
        } else if (information.isVisible() && ++information_seen == 3) {
            ok &= Save(&information, folder, "karaoke-information.png");
            information.Done->click();
        }
    });
    poll.start(50);
    window.L2K_Click();
    poll.stop();
    QApplication::processEvents();
    ok &= Save(&window, folder, "main-window-converted.png");

    // The karaoke view in the middle of the converted song: the position
    // slider (tenths of a second) moved to 5.6 s, in the middle of a word.
    if (auto* position = window.findChild<QSlider*>(QStringLiteral("Position"))) {
        position->setValue(56);
    }
    QApplication::processEvents();
    ok &= Save(&window, folder, "karaoke-view.png");
    return ok && conversion_seen >= 3 && information_seen >= 3 ? 0 : 1;
}
