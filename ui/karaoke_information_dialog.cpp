#include "ui/karaoke_information_dialog.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace verselane::ui {

namespace {

const QString kDefaultLanguage = QStringLiteral("ENGL");
const QString kDefaultTitle = QStringLiteral("YOUR SONG");
const QString kDefaultArtist = QStringLiteral("ARTIST");

QLineEdit* TextBox(const QString& tool_tip, const char* name, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setToolTip(tool_tip);
    return box;
}

QLabel* Label(const QString& caption, const char* name, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

}  // namespace

KaraokeInformationDialog::KaraokeInformationDialog(QWidget* owner)
    : QDialog(owner), encode_([](const QString& text) { return text.toStdString(); }) {
    setObjectName(QStringLiteral("KaraokeInformationDialog"));
    setWindowTitle(QStringLiteral("Karaoke Information"));
    setModal(true);

    Lang = TextBox(QStringLiteral("Enter the lyric language here, usually ENGL."), "Lang", this);
    Label1 = Label(QStringLiteral("Language"), "Label1", this);
    Label2 = Label(QStringLiteral("Song Title"), "Label2", this);
    SongT = TextBox(QStringLiteral("Enter the song name here."), "SongT", this);
    Label3 = Label(QStringLiteral("Song Artist"), "Label3", this);
    SongA =
        TextBox(QStringLiteral("Enter the name of the artist that wrote or performed the song."),
                "SongA", this);
    Label4 = Label(QStringLiteral("Aditional Text"), "Label4", this);
    AddTxt = new QPlainTextEdit(this);
    AddTxt->setObjectName(QStringLiteral("AddTxt"));
    AddTxt->setToolTip(QStringLiteral("Type any aditional file information here."));
    AddTxt->setFocusPolicy(Qt::NoFocus);
    Label4->hide();
    AddTxt->hide();
    Done = new QPushButton(QStringLiteral("&Done"), this);
    Done->setObjectName(QStringLiteral("Done"));
    Done->setDefault(true);

    Lang->setMaximumWidth(120);
    SongT->setMinimumWidth(280);

    auto* layout = new QGridLayout(this);
    layout->addWidget(Label1, 0, 0);
    layout->addWidget(Lang, 1, 0);
    layout->addWidget(Done, 0, 1, 2, 1, Qt::AlignRight | Qt::AlignBottom);
    layout->addWidget(Label2, 2, 0, 1, 2);
    layout->addWidget(SongT, 3, 0, 1, 2);
    layout->addWidget(Label3, 4, 0, 1, 2);
    layout->addWidget(SongA, 5, 0, 1, 2);
    layout->addWidget(Label4, 6, 0, 1, 2);
    layout->addWidget(AddTxt, 7, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // a fixed border: not resizable

    setTabOrder(Lang, SongT);
    setTabOrder(SongT, SongA);
    setTabOrder(SongA, Done);

    connect(Done, &QPushButton::clicked, this, &KaraokeInformationDialog::Done_Click);
    Unload();
}

void KaraokeInformationDialog::SetTextEncoder(std::function<std::string(const QString&)> encode) {
    encode_ = std::move(encode);
}

void KaraokeInformationDialog::SetTextDecoder(std::function<QString(std::string_view)> decode) {
    decode_ = std::move(decode);
}

void KaraokeInformationDialog::Propose(const KaraokeInfo& Song) {
    // What the song does not say keeps what the box holds: the text typed
    // for the last song, or the first default.
    const std::pair<const std::string*, QLineEdit*> boxes[] = {
        {&Song.Language, Lang}, {&Song.Title, SongT}, {&Song.Artist, SongA}};
    for (const auto& [bytes, box] : boxes) {
        if (!bytes->empty())
            box->setText(decode_ ? decode_(*bytes) : QString::fromStdString(*bytes));
    }
}

void KaraokeInformationDialog::ShowModal() {
    Lang->setFocus();
    exec();
}

std::string KaraokeInformationDialog::Language() const {
    return encode_(Lang->text());
}

std::string KaraokeInformationDialog::Title() const {
    return encode_(SongT->text());
}

std::string KaraokeInformationDialog::Artist() const {
    return encode_(SongA->text());
}

void KaraokeInformationDialog::Unload() {
    Lang->setText(kDefaultLanguage);
    SongT->setText(kDefaultTitle);
    SongA->setText(kDefaultArtist);
    AddTxt->clear();
}

void KaraokeInformationDialog::Done_Click() {
    done(QDialog::Accepted);
}

void KaraokeInformationDialog::closeEvent(QCloseEvent* event) {
    Unload();
    QDialog::closeEvent(event);
}

void KaraokeInformationDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace verselane::ui
