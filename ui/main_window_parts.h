// What the files of the main window share (main_window*.cpp): its settings
// store and its buttons.
#pragma once

#include <QPushButton>
#include <QSettings>

namespace verselane::ui {

inline QSettings Settings() {
    return QSettings(QStringLiteral("verselane"), QStringLiteral("verselane"));
}

inline QPushButton* Button(const QString& caption, const char* name, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

}  // namespace verselane::ui
