#include "ui/karaoke_information_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace verselane::ui {

namespace {

QLineEdit* TextBox(const QString& tool_tip, const char* name, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setToolTip(tool_tip);
    return box;
}

QLabel* Label(const QString& caption, QLineEdit* buddy, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

}  // namespace

KaraokeInformationDialog::KaraokeInformationDialog(QWidget* owner)
    : QDialog(owner),
      decode_([](std::string_view bytes) {
          return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
      }),
      encode_([](const QString& text) { return text.toStdString(); }) {
    setObjectName(QStringLiteral("KaraokeInformationDialog"));
    setWindowTitle(tr("Karaoke Information"));
    setModal(true);

    language_ = TextBox(tr("Enter the lyric language here, usually ENGL."), "Lang", this);
    title_ = TextBox(tr("Enter the song name here."), "SongT", this);
    artist_ = TextBox(tr("Enter the name of the artist that wrote or performed the song."), "SongA",
                      this);
    done_ = new QPushButton(tr("&Done"), this);
    done_->setObjectName(QStringLiteral("Done"));
    done_->setDefault(true);
    cancel_ = new QPushButton(tr("C&ancel"), this);
    cancel_->setObjectName(QStringLiteral("Cancel"));
    cancel_->setAutoDefault(false);
    language_->setMaximumWidth(120);
    title_->setMinimumWidth(280);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(done_);
    buttons->addWidget(cancel_);
    buttons->addStretch(1);
    auto* layout = new QGridLayout(this);
    layout->addWidget(Label(tr("Language"), language_, this), 0, 0);
    layout->addWidget(language_, 1, 0);
    layout->addLayout(buttons, 0, 1, 3, 1);
    layout->addWidget(Label(tr("Song Title"), title_, this), 2, 0);
    layout->addWidget(title_, 3, 0, 1, 2);
    layout->addWidget(Label(tr("Song Artist"), artist_, this), 4, 0);
    layout->addWidget(artist_, 5, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // a fixed border: not resizable

    setTabOrder(language_, title_);
    setTabOrder(title_, artist_);
    setTabOrder(artist_, done_);
    setTabOrder(done_, cancel_);

    // Done accepts; Cancel, Esc and the close box reject.
    connect(done_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    Propose(KaraokeInfo{"ENGL", "YOUR SONG", "ARTIST", {}});
}

void KaraokeInformationDialog::SetTextCodec(std::function<QString(std::string_view)> decode,
                                            std::function<std::string(const QString&)> encode) {
    decode_ = std::move(decode);
    encode_ = std::move(encode);
}

void KaraokeInformationDialog::Propose(const KaraokeInfo& Info) {
    language_->setText(decode_(Info.Language));
    title_->setText(decode_(Info.Title));
    artist_->setText(decode_(Info.Artist));
}

bool KaraokeInformationDialog::ShowModal() {
    language_->setFocus();
    return exec() == QDialog::Accepted;
}

std::string KaraokeInformationDialog::Language() const {
    return encode_(language_->text());
}

std::string KaraokeInformationDialog::Title() const {
    return encode_(title_->text());
}

std::string KaraokeInformationDialog::Artist() const {
    return encode_(artist_->text());
}

}  // namespace verselane::ui
