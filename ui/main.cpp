// verselane: the desktop program.
#include <QApplication>

#include "ui/test_form.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("verselane"));
    QApplication::setDesktopFileName(QStringLiteral("verselane"));
    verselane::ui::TestForm form;
    form.show();
    return app.exec();
}
