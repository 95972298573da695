#include "ui/main_window.h"

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <exception>

#include "encoding/text_encoding.h"
#include "lyrics/sung_lines.h"
#include "lyrics/track_choice.h"
#include "reader/midi_reader.h"
#include "ui/check_panel.h"
#include "ui/song_text.h"
#include "writer/midi_writer.h"

namespace verselane::ui {

QString VersionedTitle(const QString& caption, int major, int minor, int revision) {
    return QStringLiteral("%1 v.%2.%3.%4").arg(caption).arg(major).arg(minor).arg(revision);
}

QString ProposedSaveName(const QString& input, int16_t choice) {
    if (input.isEmpty()) return {};
    const QFileInfo info(input);
    const QString stem = info.absolutePath() + QLatin1Char('/') + info.completeBaseName();
    if (choice == kChoiceLyricsToText) return stem + QStringLiteral(".kar");
    if (choice == kChoiceKaraokeToLyrics) return stem + QStringLiteral(".lyrics.mid");
    return input;
}

namespace {

QPushButton* Button(const QString& caption, const char* name, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

std::string FileNameBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

}  // namespace

MainWindow::MainWindow(std::unique_ptr<Prompts> prompts)
    : prompts_(prompts ? std::move(prompts) : std::make_unique<DesktopPrompts>()) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Midi Verselane"));
    setAcceptDrops(true);

    Command1 = Button(QStringLiteral("Read File"), "Command1", this);
    L2K = Button(QStringLiteral("Convert Lyrics"), "L2K", this);
    WriteFile = Button(QStringLiteral("Write File"), "WriteFile", this);
    L2K->setEnabled(false);
    WriteFile->setEnabled(false);

    Status = new QLabel(this);
    Status->setObjectName(QStringLiteral("Status"));
    Status->setWordWrap(true);
    Status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Status->setText(tr("Read a MIDI file, convert its lyrics, write the result."));

    WordsLabel = new QLabel(tr("Words:"), this);
    WordsLabel->setObjectName(QStringLiteral("WordsLabel"));
    Encoding = new QComboBox(this);
    Encoding->setObjectName(QStringLiteral("Encoding"));
    Encoding->setToolTip(tr("How the song's texts are shown. The song itself is not changed."));
    auto* encoding_label = new QLabel(tr("&Encoding:"), this);
    encoding_label->setBuddy(Encoding);
    FillEncodings();

    Words = new QPlainTextEdit(this);
    Words->setObjectName(QStringLiteral("Words"));
    Words->setReadOnly(true);
    Words->setPlaceholderText(tr("The words of the song appear here after a read."));
    Words->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addWidget(L2K);
    buttons->addWidget(WriteFile);
    buttons->addStretch(1);
    auto* words_row = new QHBoxLayout;
    words_row->addWidget(WordsLabel, 1);
    words_row->addWidget(encoding_label);
    words_row->addWidget(Encoding);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(Status);
    checks_ = new CheckPanel(&song_, this);
    layout->addWidget(checks_);
    layout->addLayout(words_row);
    layout->addWidget(Words, 1);

    // The buttons read Read File, Convert Lyrics, Write File, but the tab
    // order is Read File, Write File, Convert Lyrics.
    setTabOrder(Command1, WriteFile);
    setTabOrder(WriteFile, L2K);
    setTabOrder(L2K, Encoding);
    setTabOrder(Encoding, Words);

    conversion_dialog_ = new ConvertLyricsDialog(this);
    information_dialog_ = new KaraokeInformationDialog(this);
    conversion_dialog_->SetNameDecoder(
        [this](std::string_view bytes) { return DecodeForDisplay(bytes, ShownEncoding()); });
    information_dialog_->SetTextDecoder(
        [this](std::string_view bytes) { return DecodeForDisplay(bytes, ShownEncoding()); });
    // Typed texts go into the song in the encoding of its words (as shown).
    information_dialog_->SetTextEncoder([this](const QString& text) {
        TypedBytes bytes = TypedText(text.toStdString(), ShownEncoding());
        typed_as_utf8_ = typed_as_utf8_ || bytes.KeptUtf8;
        return bytes.Bytes;
    });

    connect(Command1, &QPushButton::clicked, this, &MainWindow::Command1_Click);
    connect(L2K, &QPushButton::clicked, this, &MainWindow::L2K_Click);
    connect(WriteFile, &QPushButton::clicked, this, &MainWindow::WriteFile_Click);
    connect(Encoding, &QComboBox::currentIndexChanged, this, [this] { UpdateWords(); });
    connect(checks_, &CheckPanel::Repaired, this, [this] {
        WriteFile->setEnabled(true);
        UpdateWords();
    });

    resize(560, 380);
    Form_Load();
}

MainWindow::~MainWindow() = default;

void MainWindow::Form_Load() {
    setWindowTitle(VersionedTitle(QStringLiteral("Midi Verselane"), VERSELANE_VERSION_MAJOR,
                                  VERSELANE_VERSION_MINOR, VERSELANE_VERSION_PATCH));
}

void MainWindow::Command1_Click() {
    const std::optional<QString> path = prompts_->OpenFileName(this);
    if (!path) return;  // cancelled: nothing read, nothing changed
    ReadFile(*path);
}

void MainWindow::ReadFile(const QString& path) {
    if (reading_) return;
    reading_ = true;
    const QString name = QFileInfo(path).fileName();
    SetWaitCursor(true);
    // While the reader lets window events run, no command may start.
    Command1->setEnabled(false);
    L2K->setEnabled(false);
    WriteFile->setEnabled(false);
    source_path_ = path;
    converted_ = kChoiceNone;

    ReadOutcome read;
    try {
        ResetMidiFile(song_);
        read = ReadMidiFile(song_, FileNameBytes(path), [&](int64_t done, int64_t total) {
            if (total > 0) Status->setText(tr("Reading %1: %2%").arg(name).arg(done * 100 / total));
            QCoreApplication::processEvents();
        });
    } catch (const std::exception& e) {
        read = {ReadResult::Failed, {e.what()}};
    }
    SetWaitCursor(false);
    // A song read only in part is used only when the user says so, knowing
    // what is missing.
    std::string result = read.Message();
    if (read.Result == ReadResult::Partial) {
        QString lost;
        for (const std::string& message : read.Messages) {
            lost += QStringLiteral("\n") + QString::fromStdString(message);
        }
        if (prompts_->Ask(this, tr("%1 is damaged and could be read only in part:\n%2\n\n"
                                   "Use what could be read? A file written from it holds only "
                                   "that part, each track closed properly.")
                                    .arg(name, lost))) {
            result.clear();
        }
    }
    reading_ = false;
    Command1->setEnabled(true);
    const bool convertible =
        result.empty() && (!song_.KaraokeText.empty() || !song_.LyricText.empty());
    L2K->setEnabled(convertible);

    // Each song starts with its own detected encoding.
    detected_encoding_ = DetectEncoding(SongTexts(song_));
    {
        const QSignalBlocker quiet(Encoding);
        Encoding->setItemText(
            0, tr("Automatic: %1").arg(QString::fromStdString(EncodingLabel(detected_encoding_))));
        Encoding->setCurrentIndex(0);
    }
    if (!result.empty()) {
        Status->setText(tr("Could not read %1: %2").arg(name, QString::fromStdString(result)));
    } else {
        int64_t lyrics = 0, texts = 0;
        for (const TrackMaterial& m : MaterialOfTracks(song_)) {
            lyrics += m.LyricEvents;
            texts += m.TextEvents;
        }
        QString summary = tr("Read %1: %2 tracks, %3 lyric events, %4 karaoke text events.")
                              .arg(name)
                              .arg(RealTrackCount(song_))
                              .arg(lyrics)
                              .arg(texts);
        if (!convertible) summary += tr(" Nothing to convert.");
        Status->setText(summary);
    }
    checks_->KeepWordsFor(PlayerFamily::LyricReaders);
    checks_->Check();
    UpdateWords();
}

void MainWindow::L2K_Click() {
    bool converted = false;
    typed_as_utf8_ = false;
    try {
        converted = ConvertLyrics(song_, *conversion_dialog_, *information_dialog_, *this);
    } catch (const std::exception& e) {
        // The song may be half converted: it takes a new read to go on.
        L2K->setEnabled(false);
        WriteFile->setEnabled(false);
        Status->setText(tr("The conversion failed: %1").arg(QString::fromStdString(e.what())));
        converted_ = kChoiceNone;
        checks_->Check();
        UpdateWords();
        return;
    }
    if (!converted) return;
    L2K->setEnabled(false);
    WriteFile->setEnabled(true);
    converted_ = conversion_dialog_->Choice;
    const int track = std::max<int>(conversion_dialog_->FromIndex, 0);
    if (converted_ == kChoiceLyricsToText) {
        QString done = tr("Converted the lyrics of track %1 into karaoke text. "
                          "Write File saves the result.")
                           .arg(track);
        if (typed_as_utf8_) {
            done += tr(" The typed information does not fit the song's encoding (%1): "
                       "it is written as UTF-8.")
                        .arg(QString::fromStdString(ShownEncoding()));
        }
        Status->setText(done);
    } else if (converted_ == kChoiceKaraokeToLyrics) {
        Status->setText(tr("Converted the karaoke text of track %1 into lyrics. "
                           "Write File saves the result.")
                            .arg(track));
    }
    checks_->KeepWordsFor(converted_ == kChoiceLyricsToText ? PlayerFamily::SoftKaraoke
                                                            : PlayerFamily::LyricReaders);
    checks_->Check();
    UpdateWords();
}

void MainWindow::WriteFile_Click() {
    const std::optional<QString> path =
        prompts_->SaveFileName(this, ProposedSaveName(source_path_, converted_));
    if (!path) return;  // cancelled: nothing written
    const QString name = QFileInfo(*path).fileName();
    SetWaitCursor(true);
    std::string result;
    try {
        result = WriteMidiFile(song_, FileNameBytes(*path));
    } catch (const std::exception& e) {
        result = e.what();
    }
    SetWaitCursor(false);
    if (result.empty()) {
        Status->setText(tr("Wrote %1.").arg(name));
        return;
    }
    const QString message = QString::fromStdString(result);
    Status->setText(tr("Could not write %1: %2").arg(name, message));
    prompts_->ShowMessage(this, tr("Could not write %1.\n\n%2").arg(*path, message));
}

void MainWindow::ShowMessage(const std::string& Text) {
    prompts_->ShowMessage(this, QString::fromStdString(Text));
}

void MainWindow::SetWaitCursor(bool Waiting) {
    if (Waiting) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (!reading_ && mime->hasUrls() && mime->urls().size() == 1 &&
        mime->urls().front().isLocalFile()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (reading_ || !mime->hasUrls() || mime->urls().size() != 1) return;
    const QUrl url = mime->urls().front();
    if (!url.isLocalFile()) return;
    event->acceptProposedAction();
    ReadFile(url.toLocalFile());
}

void MainWindow::FillEncodings() {
    // Labels a person reads ("Vietnamese (Windows-1258)"), each with its name
    // for the decoder; the box is as wide as its longest entry.
    Encoding->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    Encoding->addItem(
        tr("Automatic: %1").arg(QString::fromStdString(EncodingLabel(detected_encoding_))));
    for (const LabelledEncoding& e : Encodings()) {
        Encoding->addItem(QString::fromStdString(e.Label), QString::fromStdString(e.Name));
    }
}

std::string MainWindow::ShownEncoding() const {
    if (Encoding->currentIndex() <= 0) return detected_encoding_;
    return Encoding->currentData().toString().toStdString();
}

void MainWindow::UpdateWords() {
    Words->clear();
    WordsLabel->setText(tr("Words:"));
    if (song_.TrackSlots == 0) return;

    int16_t track = -1;
    LineSource from = LineSource::Lyrics;
    if (converted_ == kChoiceLyricsToText) {
        track = 2;  // the new "Words" track
        from = LineSource::Karaoke;
    } else if (converted_ == kChoiceKaraokeToLyrics) {
        track = std::max<int16_t>(conversion_dialog_->FromIndex, 0);
        from = LineSource::Lyrics;
    } else if (const std::optional<LineSource> preferred = PreferredLineSource(song_)) {
        from = *preferred;
        track = ChooseSourceTrack(song_, from == LineSource::Lyrics
                                             ? ConversionDirection::LyricsToKaraoke
                                             : ConversionDirection::KaraokeToLyrics);
    }
    if (track < 0 || track >= RealTrackCount(song_)) {
        Words->setPlaceholderText(tr("This song has no words."));
        return;
    }
    try {
        const TextDecoder decoder(ShownEncoding());
        const std::string text = FormatSungLines(
            SungLines(song_, track, from),
            [&](std::string_view bytes) { return Printable(decoder.ToUtf8(bytes)); });
        Words->setPlainText(QString::fromStdString(text));
        WordsLabel->setText(from == LineSource::Lyrics
                                ? tr("Words of track %1 (lyric events):").arg(track)
                                : tr("Words of track %1 (karaoke text):").arg(track));
    } catch (const std::exception& e) {
        Words->setPlaceholderText(
            tr("The words cannot be shown: %1").arg(QString::fromStdString(e.what())));
    }
}

}  // namespace verselane::ui
