#include "ui/convert_lyrics_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace verselane::ui {

namespace {

QPushButton* Button(const QString& caption, const char* name, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    // No button of this dialog is its default button: Enter converts nothing.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace

ConvertLyricsDialog::ConvertLyricsDialog(QWidget* owner)
    : QDialog(owner), decode_([](std::string_view bytes) {
          return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
      }) {
    setObjectName(QStringLiteral("ConvertLyricsDialog"));
    setWindowTitle(QStringLiteral("Convert Lyrics"));
    setModal(true);

    Tracks = new QComboBox(this);
    Tracks->setObjectName(QStringLiteral("Tracks"));
    Tracks->setMinimumWidth(210);
    Label1 = new QLabel(QStringLiteral("Copy lyrics from:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Command1 = Button(QStringLiteral("Convert &Karaoke Text -> Lyrics"), "Command1", this);
    Command2 = Button(QStringLiteral("Convert &Lyrics -> Text"), "Command2", this);
    Cancel = Button(QStringLiteral("C&ancel"), "Cancel", this);

    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Tracks2 = new QComboBox(Frame1);
    Tracks2->setObjectName(QStringLiteral("Tracks2"));
    Tracks2->setFocusPolicy(Qt::NoFocus);
    Label2[0] = new QLabel(QStringLiteral("Insert Lyrics Track After:"), Frame1);
    Label2[0]->setObjectName(QStringLiteral("Label2_0"));
    Label2[1] =
        new QLabel(QStringLiteral("If Converting Karaoke Text Events to Lyric Events"), Frame1);
    Label2[1]->setObjectName(QStringLiteral("Label2_1"));
    Label2[1]->setAlignment(Qt::AlignCenter);
    auto* frame_layout = new QGridLayout(Frame1);
    frame_layout->addWidget(Label2[1], 0, 0, 1, 2);
    frame_layout->addWidget(Label2[0], 1, 0);
    frame_layout->addWidget(Tracks2, 1, 1);
    Frame1->hide();

    KeepKar = new QCheckBox(QStringLiteral("Keep Karaoke Lyrics"), this);
    KeepKar->setObjectName(QStringLiteral("KeepKar"));
    KeepKar->setChecked(true);

    auto* source_row = new QHBoxLayout;
    source_row->addWidget(Label1);
    source_row->addWidget(Tracks, 1);
    auto* button_row = new QHBoxLayout;
    button_row->addWidget(Command1);
    button_row->addWidget(Command2);
    button_row->addWidget(Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(source_row);
    layout->addLayout(button_row);
    layout->addWidget(KeepKar);
    layout->addWidget(Frame1);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // a fixed border: not resizable

    setTabOrder(Tracks, Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Cancel);
    setTabOrder(Cancel, KeepKar);

    connect(Command1, &QPushButton::clicked, this, &ConvertLyricsDialog::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &ConvertLyricsDialog::Command2_Click);
    connect(Cancel, &QPushButton::clicked, this, &ConvertLyricsDialog::Cancel_Click);
}

void ConvertLyricsDialog::SetNameDecoder(std::function<QString(std::string_view)> decode) {
    decode_ = std::move(decode);
}

void ConvertLyricsDialog::ClearTracks() {
    Tracks->clear();
}

void ConvertLyricsDialog::AddTrack(const std::string& Name) {
    Tracks->addItem(decode_(Name));
}

void ConvertLyricsDialog::SelectTrack(int Index) {
    Tracks->setCurrentIndex(Index);
}

void ConvertLyricsDialog::ClearTracks2() {
    Tracks2->clear();
}

void ConvertLyricsDialog::AddTrack2(const std::string& Name) {
    Tracks2->addItem(decode_(Name));
}

int ConvertLyricsDialog::Tracks2Count() const {
    return Tracks2->count();
}

void ConvertLyricsDialog::SelectTrack2(int Index) {
    Tracks2->setCurrentIndex(Index);
}

void ConvertLyricsDialog::SetKaraokeToLyricsEnabled(bool Enabled) {
    Command1->setEnabled(Enabled);
}

void ConvertLyricsDialog::SetLyricsToTextEnabled(bool Enabled) {
    Command2->setEnabled(Enabled);
}

bool ConvertLyricsDialog::KeepKaraoke() const {
    return KeepKar->isChecked();
}

void ConvertLyricsDialog::ShowModal() {
    Tracks->setFocus();
    exec();
}

void ConvertLyricsDialog::Unload() {
    hide();
    Tracks->clear();
    Tracks2->clear();
    Command1->setEnabled(true);
    Command2->setEnabled(true);
    KeepKar->setChecked(true);
}

void ConvertLyricsDialog::StoreChoice(int16_t choice) {
    Choice = choice;
    FromIndex = static_cast<int16_t>(Tracks->currentIndex());
    AfterIndex = static_cast<int16_t>(Tracks2->currentIndex());
}

void ConvertLyricsDialog::Command1_Click() {
    StoreChoice(kChoiceKaraokeToLyrics);
    done(QDialog::Accepted);
}

void ConvertLyricsDialog::Command2_Click() {
    StoreChoice(kChoiceLyricsToText);
    done(QDialog::Accepted);
}

void ConvertLyricsDialog::Cancel_Click() {
    Choice = kChoiceCancel;
    done(QDialog::Rejected);
}

void ConvertLyricsDialog::reject() {
    Cancel_Click();
}

}  // namespace verselane::ui
