#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
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

QString ProposedSaveName(const QString& input, ConversionChoice choice, const QString& folder) {
    if (input.isEmpty()) return {};
    const QFileInfo info(input);
    const QString stem = (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') +
                         info.completeBaseName();
    QString extension = QStringLiteral(".lyrics.mid");
    if (choice == ConversionChoice::LyricsToText) {
        extension = QStringLiteral(".kar");
    } else if (choice == ConversionChoice::None) {
        extension =
            QStringLiteral(".fixed") +
            (info.suffix().isEmpty() ? QStringLiteral(".mid") : QLatin1Char('.') + info.suffix());
    }
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
    updateCommands();
    updateMinimumSize();
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
    // Ctrl+S first: the menu shows the first of the shortcuts.
    write_action_ = action(
        tr("&Write File..."), "WriteAction", [this] { writeFile(); },
        QKeySequence::keyBindings(QKeySequence::Save) +
            QKeySequence::keyBindings(QKeySequence::SaveAs));
    convert_folder_action_ =
        action(tr("Convert a &Folder..."), "ConvertFolderAction", &MainWindow::convertFolder);
    convert_files_action_ =
        action(tr("Convert &Several Files..."), "ConvertFilesAction", &MainWindow::convertFiles);
    quit_action_ =
        action(tr("&Quit"), "QuitAction", &QWidget::close, {QKeySequence(Qt::CTRL | Qt::Key_Q)});
    help_action_ = action(tr("&Help"), "HelpAction", &MainWindow::showHelp,
                          QKeySequence::keyBindings(QKeySequence::HelpContents));
    about_action_ = action(tr("&About Midi Verselane"), "AboutAction", &MainWindow::showAbout);
    // Space plays and pauses too, unless the widget with the focus takes it
    // (a button presses itself): see keyPressEvent.
    play_action_ =
        action(tr("&Play or Pause"), "PlayAction", [this] { playback_->PlayPause(); },
               {QKeySequence(Qt::CTRL | Qt::Key_Space), QKeySequence(Qt::Key_MediaTogglePlayPause),
                QKeySequence(Qt::Key_MediaPlay)});
    stop_action_ =
        action(tr("&Stop"), "StopAction", [this] { playback_->Stop(); },
               {QKeySequence(Qt::CTRL | Qt::Key_Period), QKeySequence(Qt::Key_MediaStop)});
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
    QMenu* playback = menuBar()->addMenu(tr("&Playback"));
    playback->addAction(play_action_);
    playback->addAction(stop_action_);
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
    central->installEventFilter(this);

    // The buttons read Read File, Convert Lyrics, Write File, but the tab
    // order is Read File, Write File, Convert Lyrics.
    setTabOrder(read_button_, write_button_);
    setTabOrder(write_button_, convert_button_);
    setTabOrder(convert_button_, encoding_);
    setTabOrder(encoding_, words_);

    // A repaired song is ready to be written, like a converted one.
    connect(checks_, &CheckPanel::Repairing, this, [this] { playback_->SongChanging(); });
    connect(checks_, &CheckPanel::Repaired, this, [this] {
        changed_ = unsaved_ = true;
        has_words_ = HasWordsToConvert();
        updateCommands();
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
    // Closing during a read cancels the read; the window stays.
    if (busy_) cancel_read_ = true;
    if (busy_ || !maySetSongAside()) {
        event->ignore();
        return;
    }
    Settings().setValue(QStringLiteral("geometry"), saveGeometry());
    QMainWindow::closeEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::LayoutRequest) {
        updateMinimumSize();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::updateMinimumSize() {
    // The layout's own minimum counts each wrapped line (the status, the
    // verdict) as one line, but lays it out at the height it takes at that
    // width, which then comes off the player: count those heights instead.
    auto* layout = static_cast<QBoxLayout*>(centralWidget()->layout());
    const QSize least = layout->totalMinimumSize();
    const QMargins margins = layout->contentsMargins();
    const int inner = least.width() - margins.left() - margins.right();
    int height = margins.top() + margins.bottom();
    int shown = 0;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->isEmpty()) continue;
        int item_height = item->minimumSize().height();
        if (item->hasHeightForWidth()) {
            item_height = std::max(item_height, item->heightForWidth(inner));
        }
        height += item_height;
        ++shown;
    }
    height += std::max(0, layout->spacing()) * std::max(0, shown - 1);
    const QSize wanted(least.width(), std::max(least.height(), height));
    if (centralWidget()->minimumSize() != wanted) centralWidget()->setMinimumSize(wanted);
}

bool MainWindow::maySetSongAside() {
    if (!unsaved_) return true;
    const QString question =
        changed_ && converted_ == ConversionChoice::None
            ? tr("The repaired song has not been written. Write it before it goes?")
            : tr("The converted song has not been written. Write it before it goes?");
    switch (prompts_->AskToSave(this, question)) {
        case QMessageBox::Save:
            return writeFile();  // a cancelled or failed write keeps the song
        case QMessageBox::Discard:
            return true;
        default:
            return false;
    }
}

bool MainWindow::HasWordsToConvert() const {
    for (const TrackMaterial& material : MaterialOfTracks(song_)) {
        if (HoldsMaterial(material, ConversionDirection::LyricsToKaraoke) ||
            HoldsMaterial(material, ConversionDirection::KaraokeToLyrics)) {
            return true;
        }
    }
    return false;
}

void MainWindow::updateCommands() {
    const bool idle = !busy_;
    const bool has_song = RealTrackCount(song_) > 0;
    const bool convertible =
        has_song && !broken_ && converted_ == ConversionChoice::None && has_words_;
    const bool writable = has_song && !broken_ && changed_;
    read_button_->setEnabled(idle);
    read_action_->setEnabled(idle);
    recent_menu_->setEnabled(idle && !recent_files_.isEmpty());
    convert_button_->setEnabled(idle && convertible);
    convert_action_->setEnabled(idle && convertible);
    write_button_->setEnabled(idle && writable);
    write_action_->setEnabled(idle && writable);
    convert_folder_action_->setEnabled(idle);
    convert_files_action_->setEnabled(idle);
    checks_->setEnabled(idle);  // no repair of a song while another is read
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
    if (busy_ || !maySetSongAside()) return;
    const QString folder = Settings().value(QStringLiteral("lastFolder")).toString();
    if (const std::optional<QString> path = prompts_->OpenFileName(this, folder)) {
        QFileInfo(*path).isDir() ? ConvertSongs({*path}) : read(*path);
    }
}

void MainWindow::Open(const QString& path) {
    if (busy_) return;
    if (QFileInfo(path).isDir()) {
        ConvertSongs({path});  // the song in the window stays
        return;
    }
    if (maySetSongAside()) read(path);
}

// The file is read beside the song in the window, which stays (with
// everything shown of it) unless the new one is taken: a read that fails, is
// cancelled, or a damaged song the user does not want, changes nothing.
void MainWindow::read(const QString& path) {
    if (busy_) return;
    const QString name = QFileInfo(path).fileName();
    busy_ = true;
    cancel_read_ = false;
    updateCommands();
    SetWaitCursor(true);
    status_->setText(tr("Reading %1...").arg(name));

    // The reader lets window events run every 512 events; after a moment
    // a progress bar with Cancel shows.
    QElapsedTimer clock;
    clock.start();
    verselane::ReadOutcome read;
    bool cancelled = false;
    MidiFile incoming;
    try {
        read = ReadMidiFile(incoming, FileNameBytes(path), [&](int64_t done, int64_t total) {
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
        read = {};
        ReadFault fault;
        fault.Detail = e.what();
        read.Add(fault);
    }
    progress_->hide();
    cancel_button_->hide();
    SetWaitCursor(false);
    busy_ = false;

    const ReadReport report =
        cancelled ? ReadReport{ReadOutcome::Failed, tr("Reading was cancelled; nothing was kept.")}
                  : DescribeRead(read, incoming);
    const bool partial = report.Outcome == ReadOutcome::Partial;
    bool keep = report.Outcome != ReadOutcome::Failed;
    if (partial) {
        keep = prompts_->Ask(this, tr("Only part of %1 could be read. %2\n\nGo on with what was "
                                      "read?")
                                       .arg(name, report.Problem));
    }
    if (!keep) {
        // The song in the window stays as it was; the status line says why
        // the file was not taken, and what the window still holds.
        QString text = partial ? tr("%1 was not loaded. %2").arg(name, report.Problem)
                               : tr("Could not read %1. %2").arg(name, report.Problem);
        if (RealTrackCount(song_) > 0) {
            text += QLatin1Char(' ') +
                    tr("The window still holds %1.").arg(QFileInfo(source_path_).fileName());
        }
        status_->setText(text);
        updateCommands();
        return;
    }

    playback_->Clear();  // lets go of the song before it is replaced
    song_ = std::move(incoming);
    source_path_ = path;
    converted_ = ConversionChoice::None;
    changed_ = unsaved_ = broken_ = false;
    has_words_ = HasWordsToConvert();
    remember(path);

    // Each song starts with its own detected encoding.
    detected_encoding_ = DetectEncoding(SongTexts(song_));
    {
        const QSignalBlocker quiet(encoding_);
        encoding_->setItemText(
            0, tr("Automatic: %1").arg(QString::fromStdString(EncodingLabel(detected_encoding_))));
        encoding_->setCurrentIndex(0);
    }
    updateCommands();
    const bool convertible = convert_button_->isEnabled();
    QString text = partial ? tr("Read part of %1: %2").arg(name, summary(true))
                           : tr("Read %1: %2").arg(name, summary(false));
    if (!convertible) text += QLatin1Char(' ') + tr("Nothing to convert.");
    if (partial) text += QLatin1Char(' ') + report.Problem;
    status_->setText(text);
    playback_->SetSong(song_);
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
        texts += m.TextEvents + m.OtherTexts;
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
    if (busy_ || !convert_button_->isEnabled()) return;
    const bool lay_out_again = playback_->SongChanging();
    bool converted = false;
    typed_as_utf8_ = false;
    try {
        converted = ConvertLyrics(song_, *conversion_dialog_, *information_dialog_, *this);
    } catch (const std::exception& e) {
        // The song may be half converted: it takes a new read to go on.
        broken_ = true;
        unsaved_ = false;  // nothing to write of it
        updateCommands();
        status_->setText(tr("The conversion failed (%1). Read the song again to retry.")
                             .arg(QString::fromStdString(e.what())));
        converted_ = ConversionChoice::None;
        checks_->Check();
        showWords();
        return;
    }
    if (!converted) {
        if (lay_out_again) playback_->SetSong(song_);
        return;
    }
    converted_ = conversion_dialog_->Choice;
    changed_ = unsaved_ = true;
    updateCommands();
    const int track = std::max<int>(conversion_dialog_->FromIndex, 0);
    converted_track_ =
        converted_ == ConversionChoice::LyricsToText ? 2 : static_cast<int16_t>(track);
    QString done = (converted_ == ConversionChoice::LyricsToText
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
    checks_->KeepWordsFor(converted_ == ConversionChoice::LyricsToText
                              ? PlayerFamily::SoftKaraoke
                              : PlayerFamily::LyricReaders);
    checks_->Check();
    playback_->SetSong(song_);
    showWords();
}

bool MainWindow::writeFile() {
    if (busy_ || !write_button_->isEnabled()) return false;
    const QString folder = Settings().value(QStringLiteral("saveFolder")).toString();
    const std::optional<QString> path =
        prompts_->SaveFileName(this, ProposedSaveName(source_path_, converted_, folder));
    if (!path) return false;  // cancelled: nothing written
    const QString name = QFileInfo(*path).fileName();
    if (SameFile(*path, source_path_)) {
        const QString message = tr("%1 is the song that was read, and it is never written over. "
                                   "Choose another name.")
                                    .arg(name);
        status_->setText(message);
        prompts_->ShowMessage(this, message);
        return false;
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
        unsaved_ = false;
        return true;
    }
    const QString message = tr("Could not write %1: %2").arg(name, DescribeWriteFailure(result));
    status_->setText(message);
    prompts_->ShowMessage(this, message);
    return false;
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
        this,
        tr("1. Read File (Ctrl+O) loads a MIDI file; the words show below.\n"
           "2. Convert Lyrics turns lyric events into karaoke text, or karaoke text into "
           "lyric events, on the track you choose.\n"
           "3. Write File (Ctrl+S) saves the result as a new file; the song read is never "
           "written over.\n\n"
           "Will the words show? The line under the status says whether karaoke players and "
           "keyboards will show the words; the list names each problem, with the players it "
           "concerns. Repair mends the chosen problem where that is safe; the words stay the "
           "same, and Write File saves the repaired song.\n\n"
           "Playback: Play (Space, or Ctrl+Space when a button has the focus) plays and pauses "
           "the song, Stop goes back to the start; the words light up as they are sung. Click "
           "or drag the slider to move through the song. SoundFont... picks the instruments' "
           "sound.\n\n"
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

// Enter on a focused button presses it, as Space does. Space that no
// widget took (a focused button takes it) plays and pauses.
void MainWindow::keyPressEvent(QKeyEvent* event) {
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (button && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        button->animateClick();
        return;
    }
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier &&
        !event->isAutoRepeat()) {
        playback_->PlayPause();
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
    if (converted_ == ConversionChoice::LyricsToText) {
        track = converted_track_;  // the new "Words" track
        from = LineSource::Karaoke;
    } else if (converted_ == ConversionChoice::KaraokeToLyrics) {
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
    converted_ = ConversionChoice::LyricsToText;
    converted_track_ = 2;  // the new "Words" track
    changed_ = unsaved_ = true;
    updateCommands();
    const QStringList doubtful = dialog.Doubtful();
    status_->setText(
        tr("The sheet's words are placed; %1 syllables are doubtful%2. Write File saves the "
           "result.")
            .arg(doubtful.size())
            .arg(doubtful.isEmpty() ? QString() : QStringLiteral(" (") + doubtful.front() + ')'));
    checks_->KeepWordsFor(PlayerFamily::SoftKaraoke);
    checks_->Check();
    playback_->SetSong(song_);
    showWords();
}

}  // namespace verselane::ui
