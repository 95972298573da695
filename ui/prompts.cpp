#include "ui/prompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace verselane::ui {

QString MidiFileFilter() {
    return QStringLiteral("MIDI files (*.mid *.midi *.kar *.rmi);;All files (*)");
}

std::optional<QString> DesktopPrompts::OpenFileName(QWidget* parent) {
    QString name = QFileDialog::getOpenFileName(parent, {}, {}, MidiFileFilter());
    if (name.isEmpty()) return std::nullopt;
    return name;
}

std::optional<QString> DesktopPrompts::SaveFileName(QWidget* parent, const QString& proposed) {
    QString name = QFileDialog::getSaveFileName(parent, {}, proposed, MidiFileFilter());
    if (name.isEmpty()) return std::nullopt;
    return name;
}

void DesktopPrompts::ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Midi Verselane"), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

bool Prompts::Ask(QWidget*, const QString&) {
    return false;
}

bool DesktopPrompts::Ask(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Midi Verselane"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace verselane::ui
