// Widgets carry their short control names as objectName, so that tests and
// style sheets find them by name.
#pragma once

#include <QString>

namespace verselane::ui {

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace verselane::ui
