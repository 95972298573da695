// verselane-screenshots SONG FOLDER: pictures of the main window, the
// conversion dialog and the information dialog, as a user sees them while
// converting SONG's lyrics into karaoke text, of the karaoke view in the
// middle of the converted song, of the timing editor at 1024x700 and at
// 1920x1080, and of the "Convert Songs" dialog after
// converting copies of the songs beside SONG (in a temporary folder). Used by
// scripts/screenshots.
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QKeyEvent>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "ui/convert_songs_dialog.h"
#include "ui/main_window.h"
#include "ui/screenshot_support.h"

namespace {

using verselane::ui::screenshots::OpenSong;
using verselane::ui::screenshots::Save;

template <typename T = QWidget>
T* Find(QWidget* window, const char* name) {
    return window->findChild<T*>(QString::fromLatin1(name));
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
    Find<QPushButton>(&window, "Command1")->click();
    QApplication::processEvents();
    ok &= Save(&window, folder, "main-window.png");

    // Each dialog is pictured once it has been on screen for a moment, then
    // closed the way the user would: lyrics into text, default information.
    int conversion_seen = 0, information_seen = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* conversion = Find(&window, "ConvertLyricsDialog");
        QWidget* information = Find(&window, "KaraokeInformationDialog");
        if (conversion->isVisible() && ++conversion_seen == 3) {
            ok &= Save(conversion, folder, "convert-lyrics.png");
            Find<QPushButton>(conversion, "Command2")->click();
        } else if (information->isVisible() && ++information_seen == 3) {
            ok &= Save(information, folder, "karaoke-information.png");
            Find<QPushButton>(information, "Done")->click();
        }
    });
    poll.start(50);
    Find<QPushButton>(&window, "L2K")->click();
    poll.stop();
    QApplication::processEvents();
    ok &= Save(&window, folder, "main-window-converted.png");

    // The karaoke view in the middle of the converted song: the position
    // slider (tenths of a second) moved to 5.6 s, in the middle of a word.
    // The song is laid out for playing in the background: wait for the slider.
    if (auto* position = window.findChild<QSlider*>(QStringLiteral("Position"))) {
        QDeadlineTimer deadline(5000);
        while (!position->isEnabled() && !deadline.hasExpired()) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        position->setValue(56);
    }
    QApplication::processEvents();
    ok &= Save(&window, folder, "karaoke-view.png");
    // The workstation with the timing editor at the smallest size it is
    // made for and on a full HD screen, a syllable chosen in the editor.
    if (auto* editor = Find(&window, "TimingEditor")) {
        editor->setFocus();
        for (int step = 0; step < 5; ++step) {
            QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
            QApplication::sendEvent(editor, &right);
        }
    }
    for (const auto& [size, name] : {std::pair{QSize(1024, 700), "editor-1024x700.png"},
                                     std::pair{QSize(1920, 1080), "editor-1920x1080.png"}}) {
        window.resize(size);
        QDeadlineTimer settle(300);
        while (!settle.hasExpired()) QApplication::processEvents(QEventLoop::AllEvents, 50);
        ok &= Save(&window, folder, name);
    }
    window.resize(1024, 700);
    // Songs converted in one go: copies of a few songs beside SONG.
    QTemporaryDir copies;
    const QDir songs = QFileInfo(song).absoluteDir();
    for (const QString& name :
         songs
             .entryList({QStringLiteral("*.mid"), QStringLiteral("*.kar")}, QDir::Files, QDir::Name)
             .mid(0, 6)) {
        QFile::copy(songs.filePath(name), QDir(copies.path()).filePath(name));
    }
    bool batch_seen = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* batch = Find<verselane::ui::ConvertSongsDialog>(&window, "ConvertSongsDialog");
        if (!batch || !batch->isVisible()) return;
        if (Find<QPushButton>(batch, "Start")->isEnabled()) {
            Find<QPushButton>(batch, "Start")->click();
        } else if (!batch->Running()) {
            batch_seen = true;
            ok &= Save(batch, folder, "convert-songs.png");
            batch->reject();
        }
    });
    poll.start(50);
    window.ConvertSongs({copies.path()});
    poll.stop();
    return ok && conversion_seen >= 3 && information_seen >= 3 && batch_seen ? 0 : 1;
}
