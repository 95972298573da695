// verselane [FILE]: the desktop program, reading FILE when one is given.
#include <QApplication>

#include "ui/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("verselane"));
    QApplication::setOrganizationName(QStringLiteral("verselane"));
    QApplication::setDesktopFileName(QStringLiteral("verselane"));
    verselane::ui::MainWindow window;
    window.show();
    if (argc > 1) window.Open(QString::fromLocal8Bit(argv[1]));
    return app.exec();
}
