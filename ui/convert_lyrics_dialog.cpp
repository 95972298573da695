#include "ui/convert_lyrics_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/file_messages.h"
#include "ui/named.h"

namespace verselane::ui {

QString MaterialText(const TrackMaterial& Material) {
    QStringList parts;
    if (Material.LyricEvents > 0) {
        parts << Counted(Material.LyricEvents, ConvertLyricsDialog::tr("1 lyric event"),
                         ConvertLyricsDialog::tr("%1 lyric events"));
    }
    if (Material.TextEvents > 0) {
        parts << Counted(Material.TextEvents, ConvertLyricsDialog::tr("1 karaoke text event"),
                         ConvertLyricsDialog::tr("%1 karaoke text events"));
    }
    if (parts.isEmpty()) return ConvertLyricsDialog::tr("no words");
    return parts.join(QStringLiteral(", "));
}

ConvertLyricsDialog::ConvertLyricsDialog(QWidget* owner)
    : QDialog(owner), decode_([](std::string_view bytes) {
          return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
      }) {
    setObjectName(QStringLiteral("ConvertLyricsDialog"));
    setWindowTitle(tr("Convert Lyrics"));
    setModal(true);
    createWidgets();
    layOut();
    connect(karaoke_to_lyrics_, &QPushButton::clicked, this,
            &ConvertLyricsDialog::convertKaraokeToLyrics);
    connect(lyrics_to_text_, &QPushButton::clicked, this,
            &ConvertLyricsDialog::convertLyricsToText);
    connect(cancel_, &QPushButton::clicked, this, &ConvertLyricsDialog::cancel);
    connect(tracks_, &QComboBox::currentIndexChanged, this,
            &ConvertLyricsDialog::followSelectedTrack);
}

void ConvertLyricsDialog::createWidgets() {
    tracks_ = Named(new QComboBox(this), "Tracks");
    tracks_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    reason_ = Named(new QLabel(this), "Reason");
    reason_->setWordWrap(true);
    karaoke_to_lyrics_ =
        Named(new QPushButton(tr("Convert &Karaoke Text -> Lyrics"), this), "Command1");
    lyrics_to_text_ = Named(new QPushButton(tr("Convert &Lyrics -> Text"), this), "Command2");
    cancel_ = Named(new QPushButton(tr("C&ancel"), this), "Cancel");

    insertion_ = Named(new QFrame(this), "Frame1");
    tracks2_ = Named(new QComboBox(insertion_), "Tracks2");
    tracks2_->setFocusPolicy(Qt::NoFocus);
    auto* insertion_layout = new QGridLayout(insertion_);
    insertion_layout->addWidget(
        Named(new QLabel(tr("If Converting Karaoke Text Events to Lyric Events"), insertion_),
              "Label2_1"),
        0, 0, 1, 2, Qt::AlignCenter);
    insertion_layout->addWidget(
        Named(new QLabel(tr("Insert Lyrics Track After:"), insertion_), "Label2_0"), 1, 0);
    insertion_layout->addWidget(tracks2_, 1, 1);
    insertion_->hide();

    keep_karaoke_ = Named(new QCheckBox(tr("Keep Karaoke Lyrics"), this), "KeepKar");
    keep_karaoke_->setChecked(true);
    // "L" is the access key of Convert Lyrics -> Text already.
    keep_lyrics_ = Named(new QCheckBox(tr("Keep L&yric Events"), this), "KeepLyrics");
    keep_lyrics_->setChecked(true);
}

void ConvertLyricsDialog::layOut() {
    auto* label = Named(new QLabel(tr("Copy lyrics from:"), this), "Label1");
    label->setBuddy(tracks_);
    auto* source_row = new QHBoxLayout;
    source_row->addWidget(label);
    source_row->addWidget(tracks_, 1);
    auto* button_row = new QHBoxLayout;
    button_row->addWidget(karaoke_to_lyrics_);
    button_row->addWidget(lyrics_to_text_);
    button_row->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(source_row);
    layout->addWidget(reason_);
    layout->addLayout(button_row);
    layout->addWidget(keep_lyrics_);
    layout->addWidget(keep_karaoke_);
    layout->addWidget(insertion_);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // a fixed border: not resizable

    setTabOrder(tracks_, karaoke_to_lyrics_);
    setTabOrder(karaoke_to_lyrics_, lyrics_to_text_);
    setTabOrder(lyrics_to_text_, cancel_);
    setTabOrder(cancel_, keep_lyrics_);
    setTabOrder(keep_lyrics_, keep_karaoke_);
}

void ConvertLyricsDialog::SetNameDecoder(std::function<QString(std::string_view)> decode) {
    decode_ = std::move(decode);
}

void ConvertLyricsDialog::ClearTracks() {
    materials_.clear();
    tracks_->clear();
}

void ConvertLyricsDialog::AddTrack(int16_t Number, const std::string& Name,
                                   const TrackMaterial& Material) {
    const QString name = Name.empty() ? tr("(no name)") : decode_(Name);
    materials_.append(Material);
    tracks_->addItem(tr("%1: %2 \u2014 %3").arg(Number).arg(name, MaterialText(Material)));
}

void ConvertLyricsDialog::SelectTrack(int Index) {
    tracks_->setCurrentIndex(Index);
    followSelectedTrack();
}

void ConvertLyricsDialog::ClearInsertionPoints() {
    tracks2_->clear();
}

void ConvertLyricsDialog::AddInsertionPoint(const std::string& Name) {
    tracks2_->addItem(decode_(Name));
}

int ConvertLyricsDialog::InsertionPointCount() const {
    return tracks2_->count();
}

void ConvertLyricsDialog::SelectInsertionPoint(int Index) {
    tracks2_->setCurrentIndex(Index);
}

bool ConvertLyricsDialog::KeepKaraoke() const {
    return keep_karaoke_->isChecked();
}

bool ConvertLyricsDialog::KeepLyrics() const {
    return keep_lyrics_->isChecked();
}

void ConvertLyricsDialog::ShowModal() {
    tracks_->setFocus();
    exec();
}

void ConvertLyricsDialog::Unload() {
    hide();
    ClearTracks();
    tracks2_->clear();
    keep_karaoke_->setChecked(true);
    keep_lyrics_->setChecked(true);
    followSelectedTrack();
}

// The direction buttons offer what the selected track holds; Enter takes
// the one direction it can go (lyrics first when it holds both).
void ConvertLyricsDialog::followSelectedTrack() {
    const int index = tracks_->currentIndex();
    const TrackMaterial material =
        index >= 0 && index < materials_.size() ? materials_[index] : TrackMaterial{};
    const bool lyrics = material.LyricEvents > 0, text = material.TextEvents > 0;
    karaoke_to_lyrics_->setEnabled(text);
    lyrics_to_text_->setEnabled(lyrics);
    keep_karaoke_->setEnabled(text);
    keep_lyrics_->setEnabled(lyrics);
    lyrics_to_text_->setDefault(lyrics);
    karaoke_to_lyrics_->setDefault(text && !lyrics);
    if (index < 0) {
        reason_->clear();
    } else if (!lyrics && !text) {
        reason_->setText(tr("Track %1 holds no lyric or karaoke text events, so it cannot be "
                            "converted. Choose a track that lists some.")
                             .arg(index));
    } else if (!lyrics) {
        reason_->setText(
            tr("Track %1 holds no lyric events, so it cannot become karaoke text.").arg(index));
    } else if (!text) {
        reason_->setText(
            tr("Track %1 holds no karaoke text events, so it cannot become lyrics.").arg(index));
    } else {
        reason_->clear();
    }
    reason_->setVisible(!reason_->text().isEmpty());
}

void ConvertLyricsDialog::storeChoice(ConversionChoice choice) {
    Choice = choice;
    FromIndex = static_cast<int16_t>(tracks_->currentIndex());
    AfterIndex = static_cast<int16_t>(tracks2_->currentIndex());
}

void ConvertLyricsDialog::convertKaraokeToLyrics() {
    storeChoice(ConversionChoice::KaraokeToLyrics);
    done(QDialog::Accepted);
}

void ConvertLyricsDialog::convertLyricsToText() {
    storeChoice(ConversionChoice::LyricsToText);
    done(QDialog::Accepted);
}

void ConvertLyricsDialog::cancel() {
    Choice = ConversionChoice::Cancel;
    done(QDialog::Rejected);
}

void ConvertLyricsDialog::reject() {
    cancel();
}

}  // namespace verselane::ui
