#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <exception>

#include "encoding/text_encoding.h"
#include "lyrics/sung_lines.h"
#include "lyrics/track_choice.h"
#include "reader/midi_reader.h"
#include "ui/check_panel.h"
#include "ui/convert_lyrics_dialog.h"
#include "ui/convert_songs_dialog.h"
#include "ui/file_messages.h"
#include "ui/karaoke_information_dialog.h"
#include "ui/lyric_sheet_dialog.h"
#include "ui/named.h"
#include "ui/playback_panel.h"
#include "ui/song_text.h"
#include "writer/midi_writer.h"

namespace verselane::ui {

QString VersionedTitle(const QString& caption, int major, int minor, int revision) {
    return QStringLiteral("%1 v.%2.%3.%4").arg(caption).arg(major).arg(minor).arg(revision);
}

QString ProposedSaveName(const QString& input, int16_t choice, const QString& folder) {
    if (input.isEmpty()) return {};
    const QFileInfo info(input);
    const QString stem = (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') +
                         info.completeBaseName();
    const QString extension =
        choice == kChoiceLyricsToText ? QStringLiteral(".kar") : QStringLiteral(".lyrics.mid");
    const QString proposed = stem + extension;
    if (QFileInfo(proposed).absoluteFilePath() != info.absoluteFilePath()) return proposed;
    return stem + QStringLiteral("-converted") + extension;
}

namespace {

constexpr int kRecentFiles = 8;

// Thrown from the reader's progress callback when the user cancels a read.
struct ReadCancelled {};

std::string FileNameBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QSettings Settings() {
    return QSettings(QStringLiteral("verselane"), QStringLiteral("verselane"));
}

bool SameFile(const QString& a, const QString& b) {
    const QFileInfo x(a), y(b);
    return x.exists() && y.exists() && x.canonicalFilePath() == y.canonicalFilePath();
}

QPushButton* Button(const QString& caption, const char* name, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

}  // namespace

MainWindow::MainWindow(std::unique_ptr<Prompts> prompts)
    : prompts_(prompts ? std::move(prompts) : std::make_unique<DesktopPrompts>()) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(VersionedTitle(tr("Midi Verselane"), VERSELANE_VERSION_MAJOR,
                                  VERSELANE_VERSION_MINOR, VERSELANE_VERSION_PATCH));
    setWindowIcon(QIcon(QStringLiteral(":/verselane.svg")));
    setAcceptDrops(true);
    createActions();
    createMenus();
    createCentralWidget();
    createDialogs();
    restoreSettings();
    setState(State::Empty);
}

MainWindow::~MainWindow() {
    playback_->SongChanging();  // lets go of the song before it goes
}

void MainWindow::createActions() {
    auto action = [this](const QString& text, const char* name, auto slot,
                         QList<QKeySequence> keys = {}) {
        auto* a = new QAction(text, this);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcuts(keys);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    read_action_ = action(tr("&Read File..."), "ReadAction", &MainWindow::readFile,
                          QKeySequence::keyBindings(QKeySequence::Open));
    convert_action_ = action(tr("&Convert Lyrics..."), "ConvertAction", &MainWindow::convertLyrics,
                             {QKeySequence(Qt::CTRL | Qt::Key_L)});
    write_action_ = action(tr("&Write File..."), "WriteAction", &MainWindow::writeFile,
                           {QKeySequence::SaveAs, QKeySequence::Save});
    convert_folder_action_ =
        action(tr("Convert a &Folder..."), "ConvertFolderAction", &MainWindow::convertFolder);
    convert_files_action_ =
        action(tr("Convert &Several Files..."), "ConvertFilesAction", &MainWindow::convertFiles);
    quit_action_ =
        action(tr("&Quit"), "QuitAction", &QWidget::close, {QKeySequence(Qt::CTRL | Qt::Key_Q)});
    help_action_ = action(tr("&Help"), "HelpAction", &MainWindow::showHelp,
                          QKeySequence::keyBindings(QKeySequence::HelpContents));
    about_action_ = action(tr("&About Midi Verselane"), "AboutAction", &MainWindow::showAbout);
}

void MainWindow::createMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(read_action_);
    recent_menu_ = file->addMenu(tr("Read &Recent"));
    recent_menu_->setObjectName(QStringLiteral("RecentMenu"));
    file->addAction(convert_action_);
    file->addAction(write_action_);
    file->addSeparator();
    file->addAction(convert_folder_action_);
    file->addAction(convert_files_action_);
    Named(file->addAction(tr("Words from a &Lyric Sheet..."), this, &MainWindow::wordsFromSheet),
          "SheetAction");
    file->addSeparator();
    file->addAction(quit_action_);
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(help_action_);
    help->addAction(about_action_);
}

void MainWindow::createCentralWidget() {
    auto* central = new QWidget(this);
    read_button_ = Button(tr("&Read File"), "Command1", central);
    convert_button_ = Button(tr("&Convert Lyrics"), "L2K", central);
    write_button_ = Button(tr("&Write File"), "WriteFile", central);
    connect(read_button_, &QPushButton::clicked, this, &MainWindow::readFile);
    connect(convert_button_, &QPushButton::clicked, this, &MainWindow::convertLyrics);
    connect(write_button_, &QPushButton::clicked, this, &MainWindow::writeFile);

    status_ = new QLabel(tr("Read a MIDI file, convert its lyrics, write the result."), central);
    status_->setObjectName(QStringLiteral("Status"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    progress_ = new QProgressBar(central);
    progress_->setObjectName(QStringLiteral("Progress"));
    progress_->setRange(0, 1000);
    cancel_button_ = Button(tr("Cancel"), "CancelRead", central);
    connect(cancel_button_, &QPushButton::clicked, this, [this] { cancel_read_ = true; });
    progress_->hide();
    cancel_button_->hide();

    words_label_ = new QLabel(tr("Words:"), central);
    words_label_->setObjectName(QStringLiteral("WordsLabel"));
    words_label_->setWordWrap(true);
    encoding_ = new QComboBox(central);
    encoding_->setObjectName(QStringLiteral("Encoding"));
    encoding_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    encoding_->setToolTip(tr("How the song's texts are shown. The song itself is not changed."));
    auto* encoding_label = new QLabel(tr("&Encoding:"), central);
    encoding_label->setBuddy(encoding_);
    fillEncodings();
    connect(encoding_, &QComboBox::currentIndexChanged, this, &MainWindow::showWords);

    words_ = new QPlainTextEdit(central);
    words_->setObjectName(QStringLiteral("Words"));
    words_->setReadOnly(true);
    words_->setPlaceholderText(tr("The words of the song appear here after a read."));
    words_->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(read_button_);
    buttons->addWidget(convert_button_);
    buttons->addWidget(write_button_);
    buttons->addStretch(1);
    auto* progress_row = new QHBoxLayout;
    progress_row->addWidget(progress_, 1);
    progress_row->addWidget(cancel_button_);
    auto* words_row = new QHBoxLayout;
    words_row->addWidget(words_label_, 1);
    words_row->addWidget(encoding_label);
    words_row->addWidget(encoding_);
    auto* layout = new QVBoxLayout(central);
    layout->addLayout(buttons);
    layout->addWidget(status_);
    layout->addLayout(progress_row);
    checks_ = new CheckPanel(&song_, central);
    layout->addWidget(checks_);
    layout->addLayout(words_row);
    layout->addWidget(words_, 1);
    playback_ =
        new PlaybackPanel(central, QGuiApplication::platformName() != QLatin1String("offscreen"));
    connect(playback_, &PlaybackPanel::StatusMessage, status_, &QLabel::setText);
    layout->addWidget(playback_, 2);
    setCentralWidget(central);

    // The buttons read Read File, Convert Lyrics, Write File, but the tab
    // order is Read File, Write File, Convert Lyrics.
    setTabOrder(read_button_, write_button_);
    setTabOrder(write_button_, convert_button_);
    setTabOrder(convert_button_, encoding_);
    setTabOrder(encoding_, words_);

    // A repaired song is ready to be written, like a converted one.
    connect(checks_, &CheckPanel::Repairing, this, [this] { playback_->SongChanging(); });
    connect(checks_, &CheckPanel::Repaired, this, [this] {
        setState(State::Converted);
        playback_->SetSong(song_);
        showWords();
    });
}

void MainWindow::createDialogs() {
    conversion_dialog_ = new ConvertLyricsDialog(this);
    information_dialog_ = new KaraokeInformationDialog(this);
    auto decode = [this](std::string_view bytes) {
        return DecodeForDisplay(bytes, shownEncoding());
    };
    conversion_dialog_->SetNameDecoder(decode);
    // Typed texts go into the song in the encoding of its words (as shown).
    information_dialog_->SetTextCodec(decode, [this](const QString& text) {
        TypedBytes bytes = TypedText(text.toStdString(), shownEncoding());
        typed_as_utf8_ = typed_as_utf8_ || bytes.KeptUtf8;
        return bytes.Bytes;
    });
}

void MainWindow::restoreSettings() {
    QSettings settings = Settings();
    recent_files_ = settings.value(QStringLiteral("recentFiles")).toStringList();
    fillRecentMenu();
    if (!restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray())) {
        resize(760, 640);
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    Settings().setValue(QStringLiteral("geometry"), saveGeometry());
    QMainWindow::closeEvent(event);
}

// Buttons and menu entries offer what the song allows; none while busy.
void MainWindow::setState(State state) {
    state_ = state;
    const bool idle = !busy_;
    read_button_->setEnabled(idle);
    read_action_->setEnabled(idle);
    recent_menu_->setEnabled(idle && !recent_files_.isEmpty());
    convert_button_->setEnabled(idle && state == State::Convertible);
    convert_action_->setEnabled(idle && state == State::Convertible);
    write_button_->setEnabled(idle && state == State::Converted);
    write_action_->setEnabled(idle && state == State::Converted);
    convert_folder_action_->setEnabled(idle);
    convert_files_action_->setEnabled(idle);
}

void MainWindow::remember(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    recent_files_.removeAll(absolute);
    recent_files_.prepend(absolute);
    while (recent_files_.size() > kRecentFiles) recent_files_.removeLast();
    QSettings settings = Settings();
    settings.setValue(QStringLiteral("recentFiles"), recent_files_);
    settings.setValue(QStringLiteral("lastFolder"), QFileInfo(absolute).absolutePath());
    fillRecentMenu();
}

void MainWindow::fillRecentMenu() {
    recent_menu_->clear();
    for (int i = 0; i < recent_files_.size(); ++i) {
        const QString path = recent_files_[i];
        QAction* a = recent_menu_->addAction(
            tr("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()), this, [this, path] {
                // Later: reading refills this menu.
                QMetaObject::invokeMethod(
                    this, [this, path] { Open(path); }, Qt::QueuedConnection);
            });
        a->setToolTip(path);
    }
    recent_menu_->setEnabled(!busy_ && !recent_files_.isEmpty());
}

void MainWindow::readFile() {
    const QString folder = Settings().value(QStringLiteral("lastFolder")).toString();
    if (const std::optional<QString> path = prompts_->OpenFileName(this, folder)) Open(*path);
}

void MainWindow::Open(const QString& path) {
    if (busy_) return;
    if (QFileInfo(path).isDir()) {
        ConvertSongs({path});
        return;
    }
    const QString name = QFileInfo(path).fileName();
    busy_ = true;
    cancel_read_ = false;
    setState(State::Empty);
    SetWaitCursor(true);
    source_path_ = path;
    converted_ = kChoiceNone;
    status_->setText(tr("Reading %1...").arg(name));
    playback_->Clear();

    // The reader lets window events run every 512 events; after a moment
    // a progress bar with Cancel shows.
    QElapsedTimer clock;
    clock.start();
    verselane::ReadOutcome read;
    bool cancelled = false;
    try {
        ResetMidiFile(song_);
        read = ReadMidiFile(song_, FileNameBytes(path), [&](int64_t done, int64_t total) {
            if (progress_->isHidden() && clock.elapsed() >= progress_delay_) {
                progress_->show();
                cancel_button_->show();
            }
            if (total > 0) progress_->setValue(static_cast<int>(done * 1000 / total));
            QCoreApplication::processEvents();
            if (cancel_read_) throw ReadCancelled{};
        });
    } catch (const ReadCancelled&) {
        cancelled = true;
    } catch (const std::exception& e) {
        read = {ReadResult::Failed, {std::string(kErrorPrefix) + e.what()}};
    }
    progress_->hide();
    cancel_button_->hide();
    SetWaitCursor(false);
    busy_ = false;

    const ReadReport report =
        cancelled ? ReadReport{ReadOutcome::Failed, tr("Reading was cancelled; nothing was kept.")}
                  : DescribeRead(read, song_);
    const bool partial = report.Outcome == ReadOutcome::Partial;
    bool keep = report.Outcome != ReadOutcome::Failed;
    if (partial) {
        keep = prompts_->Ask(this, tr("Only part of %1 could be read. %2\n\nGo on with what was "
                                      "read?")
                                       .arg(name, report.Problem));
    }
    if (!keep) ResetMidiFile(song_);
    if (keep) remember(path);

    // Each song starts with its own detected encoding.
    detected_encoding_ = keep ? DetectEncoding(SongTexts(song_)) : "UTF-8";
    {
        const QSignalBlocker quiet(encoding_);
        encoding_->setItemText(
            0, tr("Automatic: %1").arg(QString::fromStdString(EncodingLabel(detected_encoding_))));
        encoding_->setCurrentIndex(0);
    }
    const bool convertible = keep && (!song_.KaraokeText.empty() || !song_.LyricText.empty());
    setState(convertible ? State::Convertible : State::Empty);
    if (!keep) {
        status_->setText(partial ? tr("%1 was not loaded. %2").arg(name, report.Problem)
                                 : tr("Could not read %1. %2").arg(name, report.Problem));
    } else {
        QString text = partial ? tr("Read part of %1: %2").arg(name, summary(true))
                               : tr("Read %1: %2").arg(name, summary(false));
        if (!convertible) text += QLatin1Char(' ') + tr("Nothing to convert.");
        if (partial) text += QLatin1Char(' ') + report.Problem;
        status_->setText(text);
    }
    if (keep) playback_->SetSong(song_);
    checks_->KeepWordsFor(PlayerFamily::LyricReaders);
    checks_->Check();
    showWords();
}

// "4 tracks, 80 lyric events, 2 text events." Text events count as karaoke
// text where a player would show them as such.
QString MainWindow::summary(bool partial) const {
    int64_t lyrics = 0, texts = 0;
    for (const TrackMaterial& m : MaterialOfTracks(song_)) {
        lyrics += m.LyricEvents;
        texts += m.TextEvents;
    }
    const bool karaoke = PreferredLineSource(song_) == LineSource::Karaoke;
    // A song read in part counts the tracks that are there.
    int tracks = RealTrackCount(song_);
    while (partial && tracks > 0 && song_.Count(tracks - 1) == 0) --tracks;
    return tr("%1, %2, %3.")
        .arg(Counted(tracks, tr("1 track"), tr("%1 tracks")),
             Counted(lyrics, tr("1 lyric event"), tr("%1 lyric events")),
             karaoke ? Counted(texts, tr("1 karaoke text event"), tr("%1 karaoke text events"))
                     : Counted(texts, tr("1 text event"), tr("%1 text events")));
}

void MainWindow::convertLyrics() {
    if (busy_ || state_ != State::Convertible) return;
    const bool lay_out_again = playback_->SongChanging();
    bool converted = false;
    typed_as_utf8_ = false;
    try {
        converted = ConvertLyrics(song_, *conversion_dialog_, *information_dialog_, *this);
    } catch (const std::exception& e) {
        // The song may be half converted: it takes a new read to go on.
        setState(State::Empty);
        status_->setText(tr("The conversion failed (%1). Read the song again to retry.")
                             .arg(QString::fromStdString(e.what())));
        converted_ = kChoiceNone;
        checks_->Check();
        showWords();
        return;
    }
    if (!converted) {
        if (lay_out_again) playback_->SetSong(song_);
        return;
    }
    setState(State::Converted);
    converted_ = conversion_dialog_->Choice;
    const int track = std::max<int>(conversion_dialog_->FromIndex, 0);
    converted_track_ = converted_ == kChoiceLyricsToText ? 2 : static_cast<int16_t>(track);
    QString done = (converted_ == kChoiceLyricsToText
                        ? tr("Converted the lyrics of track %1 into karaoke text.")
                        : tr("Converted the karaoke text of track %1 into lyrics."))
                       .arg(track) +
                   QLatin1Char(' ') + tr("Write File saves the result.");
    if (typed_as_utf8_) {
        done += QLatin1Char(' ') + tr("The typed information does not fit the song's encoding "
                                      "(%1): it is written as UTF-8.")
                                       .arg(QString::fromStdString(shownEncoding()));
    }
    status_->setText(done);
    checks_->KeepWordsFor(converted_ == kChoiceLyricsToText ? PlayerFamily::SoftKaraoke
                                                            : PlayerFamily::LyricReaders);
    checks_->Check();
    playback_->SetSong(song_);
    showWords();
}

void MainWindow::writeFile() {
    if (busy_ || state_ != State::Converted) return;
    const QString folder = Settings().value(QStringLiteral("saveFolder")).toString();
    const std::optional<QString> path =
        prompts_->SaveFileName(this, ProposedSaveName(source_path_, converted_, folder));
    if (!path) return;  // cancelled: nothing written
    const QString name = QFileInfo(*path).fileName();
    if (SameFile(*path, source_path_)) {
        const QString message = tr("%1 is the song that was read, and it is never written over. "
                                   "Choose another name.")
                                    .arg(name);
        status_->setText(message);
        prompts_->ShowMessage(this, message);
        return;
    }
    SetWaitCursor(true);
    std::string result;
    try {
        result = WriteMidiFile(song_, FileNameBytes(*path));
    } catch (const std::exception& e) {
        result = e.what();
    }
    SetWaitCursor(false);
    if (result.empty()) {
        Settings().setValue(QStringLiteral("saveFolder"), QFileInfo(*path).absolutePath());
        status_->setText(tr("Wrote %1.").arg(name));
        return;
    }
    const QString message = tr("Could not write %1: %2").arg(name, DescribeWriteFailure(result));
    status_->setText(message);
    prompts_->ShowMessage(this, message);
}

void MainWindow::convertFolder() {
    const QString folder = Settings().value(QStringLiteral("lastFolder")).toString();
    if (const std::optional<QString> chosen = prompts_->FolderName(this, folder)) {
        ConvertSongs({*chosen});
    }
}

void MainWindow::convertFiles() {
    const QString folder = Settings().value(QStringLiteral("lastFolder")).toString();
    const QStringList files = prompts_->OpenFileNames(this, folder);
    if (!files.isEmpty()) ConvertSongs(files);
}

void MainWindow::ConvertSongs(const QStringList& paths) {
    if (busy_) return;
    const QStringList songs = SongsIn(paths);
    if (songs.isEmpty()) {
        prompts_->ShowMessage(this, tr("There are no MIDI files (.mid, .midi, .kar, .rmi) there."));
        return;
    }
    ConvertSongsDialog dialog(songs, this);
    dialog.exec();
}

void MainWindow::showHelp() {
    prompts_->ShowMessage(
        this, tr("1. Read File (Ctrl+O) loads a MIDI file; the words show below.\n"
                 "2. Convert Lyrics turns lyric events into karaoke text, or karaoke text into "
                 "lyric events, on the track you choose.\n"
                 "3. Write File (Ctrl+S) saves the result as a new file.\n\n"
                 "File > Convert a Folder converts many songs at once; dropping files or a "
                 "folder onto the window does the same."));
}

void MainWindow::showAbout() {
    prompts_->ShowMessage(this, tr("Midi Verselane %1.%2.%3\n\nConverts song lyrics inside "
                                   "Standard MIDI Files: lyric events into Soft Karaoke text "
                                   "and back.")
                                    .arg(VERSELANE_VERSION_MAJOR)
                                    .arg(VERSELANE_VERSION_MINOR)
                                    .arg(VERSELANE_VERSION_PATCH));
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

// Enter on a focused button presses it, as Space does.
void MainWindow::keyPressEvent(QKeyEvent* event) {
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (button && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        button->animateClick();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (busy_ || !mime->hasUrls()) return;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile()) return;
    }
    event->acceptProposedAction();
}

// One file is read; several files, or a folder, are converted in one go.
void MainWindow::dropEvent(QDropEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (busy_ || !mime->hasUrls()) return;
    QStringList paths;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile()) return;
        paths << url.toLocalFile();
    }
    event->acceptProposedAction();
    if (paths.size() == 1) {
        Open(paths.front());
    } else {
        ConvertSongs(paths);
    }
}

void MainWindow::fillEncodings() {
    // Labels a person reads ("Vietnamese (Windows-1258)"), each with its name
    // for the decoder; the box is as wide as its longest entry.
    encoding_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    encoding_->addItem(
        tr("Automatic: %1").arg(QString::fromStdString(EncodingLabel(detected_encoding_))));
    for (const LabelledEncoding& e : Encodings()) {
        encoding_->addItem(QString::fromStdString(e.Label), QString::fromStdString(e.Name));
    }
}

std::string MainWindow::shownEncoding() const {
    if (encoding_->currentIndex() <= 0) return detected_encoding_;
    return encoding_->currentData().toString().toStdString();
}

void MainWindow::showWords() {
    words_->clear();
    words_label_->setText(tr("Words:"));
    words_->setPlaceholderText(tr("The words of the song appear here after a read."));
    if (song_.TrackSlots == 0) return;

    int16_t track = -1;
    LineSource from = LineSource::Lyrics;
    if (converted_ == kChoiceLyricsToText) {
        track = converted_track_;  // the new "Words" track
        from = LineSource::Karaoke;
    } else if (converted_ == kChoiceKaraokeToLyrics) {
        track = converted_track_;
    } else if (const std::optional<LineSource> preferred = PreferredLineSource(song_)) {
        from = *preferred;
        track = ChooseSourceTrack(song_, from == LineSource::Lyrics
                                             ? ConversionDirection::LyricsToKaraoke
                                             : ConversionDirection::KaraokeToLyrics);
    }
    playback_->ShowWords(song_, track, from, [this](std::string_view bytes) {
        return DecodeForDisplay(bytes, shownEncoding());
    });
    if (track < 0 || track >= RealTrackCount(song_)) {
        words_->setPlaceholderText(tr("This song has no words."));
        return;
    }
    try {
        const TextDecoder decoder(shownEncoding());
        const auto decode = [&](std::string_view bytes) {
            return QString::fromStdString(Printable(decoder.ToUtf8(bytes)));
        };
        words_->setPlainText(
            WordsPreview(TitleLines(song_, track, from), SungLines(song_, track, from), decode));
        words_label_->setText(from == LineSource::Lyrics
                                  ? tr("Words of track %1 (lyric events):").arg(track)
                                  : tr("Words of track %1 (karaoke text):").arg(track));
    } catch (const std::exception& e) {
        words_->setPlaceholderText(
            tr("The words cannot be shown (%1).").arg(QString::fromStdString(e.what())));
    }
}

// File > Words from a Lyric Sheet: the dialog aligns a copy of the song; the
// window then shows it as after a conversion into karaoke text.
void MainWindow::wordsFromSheet() {
    if (busy_ || song_.TrackSlots == 0) return;  // no song read yet
    LyricSheetDialog dialog(song_, this);
    if (dialog.exec() != QDialog::Accepted || !dialog.Result()) return;
    playback_->SongChanging();
    song_ = *dialog.Result();
    setState(State::Converted);
    converted_ = kChoiceLyricsToText;
    converted_track_ = 2;  // the new "Words" track
    const QStringList doubtful = dialog.Doubtful();
    status_->setText(
        tr("The sheet's words are placed; %1 syllables are doubtful%2. Write File saves the result.")
            .arg(doubtful.size())
            .arg(doubtful.isEmpty() ? QString() : QStringLiteral(" (") + doubtful.front() + ')'));
    checks_->KeepWordsFor(PlayerFamily::SoftKaraoke);
    checks_->Check();
    playback_->SetSong(song_);
    showWords();
}

}  // namespace verselane::ui
