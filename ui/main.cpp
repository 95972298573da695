// verselane: the desktop program.
#include <QApplication>

#include "ui/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("verselane"));
    QApplication::setDesktopFileName(QStringLiteral("verselane"));
    verselane::ui::MainWindow window;
    window.show();
    return app.exec();
}
