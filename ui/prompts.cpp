#include "ui/prompts.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace verselane::ui {

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("Prompts", text);
}

std::optional<QString> Chosen(const QString& name) {
    if (name.isEmpty()) return std::nullopt;
    return name;
}

}  // namespace

QString MidiFileFilter() {
    return Tr("MIDI files (*.mid *.midi *.kar *.rmi);;All files (*)");
}

std::optional<QString> DesktopPrompts::OpenFileName(QWidget* parent, const QString& folder) {
    return Chosen(QFileDialog::getOpenFileName(parent, Tr("Read File"), folder, MidiFileFilter()));
}

QStringList DesktopPrompts::OpenFileNames(QWidget* parent, const QString& folder) {
    return QFileDialog::getOpenFileNames(parent, Tr("Convert Songs"), folder, MidiFileFilter());
}

std::optional<QString> DesktopPrompts::FolderName(QWidget* parent, const QString& folder) {
    return Chosen(QFileDialog::getExistingDirectory(parent, Tr("Convert a Folder"), folder));
}

std::optional<QString> DesktopPrompts::SaveFileName(QWidget* parent, const QString& proposed) {
    return Chosen(
        QFileDialog::getSaveFileName(parent, Tr("Write File"), proposed, MidiFileFilter()));
}

void DesktopPrompts::ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, Tr("Midi Verselane"), text, QMessageBox::Ok, parent);
    box.exec();
}

bool DesktopPrompts::Ask(QWidget* parent, const QString& question) {
    return QMessageBox::question(parent, Tr("Midi Verselane"), question) == QMessageBox::Yes;
}

QMessageBox::StandardButton DesktopPrompts::AskToSave(QWidget* parent, const QString& question) {
    QMessageBox box(QMessageBox::Warning, Tr("Midi Verselane"), question,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    const auto answer = static_cast<QMessageBox::StandardButton>(box.exec());
    return answer == QMessageBox::Save || answer == QMessageBox::Discard ? answer
                                                                         : QMessageBox::Cancel;
}

}  // namespace verselane::ui
