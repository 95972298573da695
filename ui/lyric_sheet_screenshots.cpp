// verselane-sheet-screenshots SONG SHEET FOLDER: pictures of words from a
// lyric sheet for the README: the lyric sheet dialog after Align
// (lyric-sheet-dialog.png) and the main window with the karaoke view in the
// middle of the song that the dialog made (lyric-sheet-view.png). SONG has
// no words; SHEET is UTF-8 text.
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <cstdio>

#include "ui/lyric_sheet_dialog.h"
#include "ui/main_window.h"
#include "ui/screenshot_support.h"

using verselane::ui::screenshots::OpenSong;
using verselane::ui::screenshots::Save;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "Usage: verselane-sheet-screenshots SONG SHEET FOLDER\n");
        return 2;
    }
    QFile sheet(QString::fromLocal8Bit(argv[2]));
    if (!sheet.open(QIODevice::ReadOnly)) return 1;
    const QString text = QString::fromUtf8(sheet.readAll());
    const QDir folder(QString::fromLocal8Bit(argv[3]));
    bool ok = true, seen = false;

    verselane::ui::MainWindow window(std::make_unique<OpenSong>(QString::fromLocal8Bit(argv[1])));
    window.resize(900, 700);
    window.show();
    window.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    QApplication::processEvents();
    // The dialog is filled, aligned, pictured and accepted once it shows.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = window.findChild<verselane::ui::LyricSheetDialog*>();
        if (seen || !dialog || !dialog->isVisible()) return;
        seen = true;
        dialog->findChild<QPlainTextEdit*>(QStringLiteral("Sheet"))->setPlainText(text);
        dialog->Align();
        QDeadlineTimer aligned(30000);
        while (dialog->Aligning() && !aligned.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        ok &= Save(dialog, folder, "lyric-sheet-dialog.png");
        dialog->accept();
    });
    poll.start(50);
    window.findChild<QAction*>(QStringLiteral("SheetAction"))->trigger();
    poll.stop();
    if (auto* position = window.findChild<QSlider*>(QStringLiteral("Position"))) {
        QDeadlineTimer deadline(5000);
        while (!position->isEnabled() && !deadline.hasExpired()) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        position->setValue(444);  // 44.4 s: in the middle of the second verse's first line
    }
    QApplication::processEvents();
    ok &= Save(&window, folder, "lyric-sheet-view.png");
    return ok && seen ? 0 : 1;
}
