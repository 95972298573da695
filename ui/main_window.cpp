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
#include <QUndoStack>
#include <QVBoxLayout>
#include <exception>
#include <map>

#include "encoding/text_encoding.h"
#include "lyrics/sung_lines.h"
#include "lyrics/track_choice.h"
#include "model/errors.h"
#include "reader/midi_reader.h"
#include "ui/check_panel.h"
#include "ui/convert_lyrics_dialog.h"
#include "ui/convert_songs_dialog.h"
#include "ui/edit_commands.h"
#include "ui/file_messages.h"
#include "ui/karaoke_information_dialog.h"
#include "ui/lyric_sheet_dialog.h"
#include "ui/main_window_parts.h"
#include "ui/named.h"
#include "ui/playback_panel.h"
#include "ui/refusals.h"
#include "ui/song_text.h"
#include "ui/timing_editor.h"
#include "workflow/output_names.h"
#include "workflow/words_track.h"
#include "writer/midi_writer.h"

namespace verselane::ui {

QString VersionedTitle(const QString& caption, int major, int minor, int revision) {
    return QStringLiteral("%1 v.%2.%3.%4").arg(caption).arg(major).arg(minor).arg(revision);
}

QString ProposedSaveName(const QString& input, workflow::OutputKind kind, const QString& folder) {
    return QFile::decodeName(QByteArray::fromStdString(workflow::ProposedSaveName(
        QFile::encodeName(input).toStdString(), kind, QFile::encodeName(folder).toStdString())));
}

namespace {

constexpr int kRecentFiles = 8;

// Thrown from the reader's progress callback when the user cancels a read.
struct ReadCancelled {};

std::string FileNameBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

bool SameFile(const QString& a, const QString& b) {
    const QFileInfo x(a), y(b);
    return x.exists() && y.exists() && x.canonicalFilePath() == y.canonicalFilePath();
}

}  // namespace

MainWindow::MainWindow(std::unique_ptr<Prompts> prompts)
    : prompts_(prompts ? std::move(prompts) : std::make_unique<DesktopPrompts>()) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(VersionedTitle(tr("Midi Verselane"), VERSELANE_VERSION_MAJOR,
                                  VERSELANE_VERSION_MINOR, VERSELANE_VERSION_PATCH));
    setWindowIcon(QIcon(QStringLiteral(":/verselane.svg")));
    setAcceptDrops(true);
    undo_ = new QUndoStack(this);
    createActions();
    createCentralWidget();
    createEditorActions();
    createMenus();
    createDialogs();
    restoreSettings();
    updateCommands();
    updateMinimumSize();
}

MainWindow::~MainWindow() {
    playback_->SongChanging();  // lets go of the song before it goes
    // The undo stack goes with the widgets after this window's own members,
    // and empties itself as it goes: what it says then must not reach a
    // window that is no longer one.
    undo_->disconnect(this);
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

bool MainWindow::maySetSongAside() {
    if (!unsaved_ && undo_->isClean()) return true;
    const QString question =
        !unsaved_ ? tr("The edited song has not been written. Write it before it goes?")
        : changed_ && converted_ == ConversionChoice::None
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
    const bool has_song = song_.TrackCount() > 0;
    const bool convertible =
        has_song && !broken_ && converted_ == ConversionChoice::None && has_words_;
    const bool writable = has_song && !broken_ && (changed_ || !undo_->isClean());
    read_button_->setEnabled(idle);
    read_action_->setEnabled(idle);
    recent_menu_->setEnabled(idle && !recent_files_.isEmpty());
    convert_button_->setEnabled(idle && convertible);
    convert_action_->setEnabled(idle && convertible);
    write_button_->setEnabled(idle && writable);
    write_action_->setEnabled(idle && writable);
    write_as_menu_->setEnabled(idle && writable && editor_->Words());
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
    Song incoming;
    SongFacts incoming_facts;
    const ReadProgress progress = [&](int64_t done, int64_t total) {
        if (progress_->isHidden() && clock.elapsed() >= progress_delay_) {
            progress_->show();
            cancel_button_->show();
        }
        if (total > 0) progress_->setValue(static_cast<int>(done * 1000 / total));
        QCoreApplication::processEvents();
        if (cancel_read_) throw ReadCancelled{};
    };
    try {
        read = ReadSong(incoming, incoming_facts, FileNameBytes(path), progress);
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
        if (song_.TrackCount() > 0) {
            text += QLatin1Char(' ') +
                    tr("The window still holds %1.").arg(QFileInfo(source_path_).fileName());
        }
        status_->setText(text);
        updateCommands();
        return;
    }

    playback_->Clear();  // lets go of the song before it is replaced
    editor_->Clear();
    undo_->clear();  // its edits and changes are of the song that goes
    song_ = std::move(incoming);
    facts_ = std::move(incoming_facts);
    has_song_ = true;
    source_path_ = path;
    converted_ = ConversionChoice::None;
    sheet_doubts_.clear();
    sheet_text_.clear();
    changed_ = unsaved_ = broken_ = false;
    output_ = workflow::OutputKind::Retimed;  // until converted or repaired, only edits
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
    showSong(PlayerFamily::LyricReaders);
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
    int16_t tracks = song_.TrackCount();
    while (partial && tracks > 0 && song_.At(static_cast<int16_t>(tracks - 1)).Empty()) --tracks;
    return tr("%1, %2, %3.")
        .arg(Counted(tracks, tr("1 track"), tr("%1 tracks")),
             Counted(lyrics, tr("1 lyric event"), tr("%1 lyric events")),
             karaoke ? Counted(texts, tr("1 karaoke text event"), tr("%1 karaoke text events"))
                     : Counted(texts, tr("1 text event"), tr("%1 text events")));
}

void MainWindow::convertLyrics() {
    if (busy_ || !convert_button_->isEnabled()) return;
    const bool lay_out_again = playback_->SongChanging();
    std::shared_ptr<const SongState> before = songState();
    editor_->Clear();  // built anew from the converted song
    bool converted = false;
    typed_as_utf8_ = false;
    try {
        converted = ConvertLyrics(song_, facts_, *conversion_dialog_, *information_dialog_, *this);
    } catch (...) {
        const CaughtError error = CurrentError();
        // The song may be half converted: it takes a new read to go on, and
        // the edits before it cannot be undone on it.
        undo_->clear();
        broken_ = true;
        unsaved_ = false;  // nothing to write of it
        updateCommands();
        status_->setText(tr("The conversion failed (%1). Read the song again to retry.")
                             .arg(ErrorReason(error)));
        converted_ = ConversionChoice::None;
        checks_->Check();
        showWords();
        return;
    }
    if (!converted) {
        if (lay_out_again) playback_->SetSong(song_);
        showWords();  // the editor takes the words again
        return;
    }
    converted_ = conversion_dialog_->Choice;
    output_ = converted_ == ConversionChoice::LyricsToText ? workflow::OutputKind::Karaoke
                                                           : workflow::OutputKind::Lyrics;
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
    showSong(converted_ == ConversionChoice::LyricsToText ? PlayerFamily::SoftKaraoke
                                                          : PlayerFamily::LyricReaders);
    pushSongChange(tr("Convert Lyrics"), std::move(before));
}

void MainWindow::showSong(PlayerFamily keep) {
    checks_->KeepWordsFor(keep);
    checks_->Check();
    playback_->SetSong(song_);
    showWords();
}

std::shared_ptr<const MainWindow::SongState> MainWindow::songState() const {
    return std::make_shared<const SongState>(SongState{song_, facts_, converted_, converted_track_,
                                                       output_, sheet_doubts_, changed_, unsaved_,
                                                       has_words_, checks_->KeptFor()});
}

void MainWindow::restoreSongState(const SongState& state) {
    playback_->SongChanging();
    editor_->Clear();  // built anew from the song put back
    song_ = state.Content;
    facts_ = state.Facts;
    converted_ = state.Converted;
    converted_track_ = state.ConvertedTrack;
    output_ = state.Output;
    sheet_doubts_ = state.SheetDoubts;
    changed_ = state.Changed;
    unsaved_ = state.Unsaved;
    has_words_ = state.HasWords;
    showSong(state.Keep);
}

void MainWindow::pushSongChange(const QString& name, std::shared_ptr<const SongState> before) {
    undo_->push(new SongChangeCommand<SongState>(
        name, std::move(before), songState(),
        [this](const SongState& state) { restoreSongState(state); }));
}

bool MainWindow::writeFile() {
    if (busy_ || !write_button_->isEnabled()) return false;
    const QString folder = Settings().value(QStringLiteral("saveFolder")).toString();
    // Write Words As names the file for the stream it writes.
    using workflow::OutputKind;
    const bool words_as = save_as_ != editing::SaveAs::AsEdited && editor_->Words();
    const OutputKind kind = !words_as                             ? output_
                            : save_as_ == editing::SaveAs::Lyrics ? OutputKind::Lyrics
                                                                  : OutputKind::Karaoke;
    const std::optional<QString> path =
        prompts_->SaveFileName(this, ProposedSaveName(source_path_, kind, folder));
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
    std::optional<WriteFailure> failure;
    try {
        // Write Words As: the edited words in the stream chosen.
        if (words_as) {
            failure = WriteSong(editor_->Words()->SongToWrite(save_as_), FileNameBytes(*path));
        } else {
            failure = WriteSong(song_, FileNameBytes(*path));
        }
    } catch (const std::exception&) {
        failure = CurrentWriteFailure(FileNameBytes(*path));
    }
    SetWaitCursor(false);
    if (!failure) {
        Settings().setValue(QStringLiteral("saveFolder"), QFileInfo(*path).absolutePath());
        // An RMID file's sound bank, and bytes after the last track, are
        // not part of the song written.
        QString status = facts_.WrapperBytes > 0
                             ? tr("Wrote %1 as a Standard MIDI File; the %2 bytes besides the "
                                  "MIDI data of the RMID file read (a sound bank, information) "
                                  "are not in it.")
                                   .arg(name)
                                   .arg(facts_.WrapperBytes)
                             : tr("Wrote %1.").arg(name);
        if (facts_.TrailingBytes > 0) {
            status += QLatin1Char(' ') +
                      Counted(facts_.TrailingBytes,
                              tr("The byte after the last track of the file read (no part of "
                                 "the song) is not in it."),
                              tr("The %1 bytes after the last track of the file read (no part "
                                 "of the song) are not in it."));
        }
        status_->setText(status);
        unsaved_ = false;
        undo_->setClean();
        return true;
    }
    const QString message = tr("Could not write %1: %2").arg(name, DescribeWriteFailure(*failure));
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

void MainWindow::Refuse(const ConversionRefusal& Refusal) {
    QString message = tr("No Text or Lyric events were found.");
    if (Refusal.Why == ConversionRefusal::TrackWithoutMaterial) {
        message = Refusal.Direction == ConversionDirection::LyricsToKaraoke
                      ? tr("Track %1 holds no lyric events, so there is nothing to turn into "
                           "karaoke text. Choose a track that lists lyric events.")
                      : tr("Track %1 holds no karaoke text events, so there is nothing to turn "
                           "into lyrics. Choose a track that lists karaoke text events.");
        message = message.arg(Refusal.Track);
    }
    prompts_->ShowMessage(this, message);
}

void MainWindow::SetWaitCursor(bool Waiting) {
    if (Waiting) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
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
    if (!has_song_) return editor_->Clear();

    int16_t track = -1;
    LineSource from = LineSource::Lyrics;
    if (converted_ == ConversionChoice::LyricsToText) {
        track = converted_track_;  // the new "Words" track
        from = LineSource::Karaoke;
    } else if (converted_ == ConversionChoice::KaraokeToLyrics) {
        track = converted_track_;
    } else if (const std::optional<workflow::WordsSource> words = workflow::SongWords(song_)) {
        from = words->From;
        track = words->Track;
    }
    playback_->ShowWords(song_, track, from, [this](std::string_view bytes) {
        return DecodeForDisplay(bytes, shownEncoding());
    });
    if (track >= 0 && track < song_.TrackCount()) {
        editor_->SetSong(song_, track, from, [this](std::string_view bytes) {
            return DecodeForDisplay(bytes, shownEncoding());
        });
    } else {
        editor_->Clear();
    }
    updateCommands();  // Write Words As is offered for the words the editor holds
    playback_->ShowDoubts(ShownDoubts());
    if (track < 0 || track >= song_.TrackCount()) {
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
    } catch (...) {
        words_->setPlaceholderText(
            tr("The words cannot be shown (%1).").arg(ErrorReason(CurrentError())));
    }
}

// File > Words from a Lyric Sheet: the dialog aligns a copy of the song; the
// window then shows it as after a conversion into karaoke text.
// The doubtful syllables the karaoke view marks: those the timing editor
// marks, and the aligner's after a lyric sheet (its reason first).
std::vector<MarkedDoubt> MainWindow::ShownDoubts() const {
    std::vector<MarkedDoubt> doubts;
    const std::vector<EditorSyllable>& syllables = editor_->Syllables();
    std::vector<align::Doubt> reasons(syllables.size(), align::Doubt::OffNote);
    if (const editing::TimedWords* words = editor_->Words()) {
        for (const editing::DoubtMark& mark : words->Doubts())
            if (mark.Syllable < reasons.size()) reasons[mark.Syllable] = mark.Reason;
    }
    std::map<int32_t, int> on_tick;  // syllables so far on each tick
    for (size_t i = 0; i < syllables.size(); ++i) {
        const int order = on_tick[syllables[i].Tick]++;
        if (syllables[i].Doubtful)
            doubts.push_back({syllables[i].Tick, order, DescribeDoubt(reasons[i])});
    }
    doubts.insert(doubts.end(), sheet_doubts_.begin(), sheet_doubts_.end());
    return doubts;
}

void MainWindow::wordsFromSheet() {
    if (busy_ || !has_song_) return;  // no song read yet
    LyricSheetDialog dialog(song_, facts_, this);
    dialog.SetSheetText(sheet_text_);
    const int answer = dialog.exec();
    sheet_text_ = dialog.SheetText();
    if (answer != QDialog::Accepted || !dialog.Result()) return;
    std::shared_ptr<const SongState> before = songState();
    playback_->SongChanging();
    editor_->Clear();
    song_ = *dialog.Result();
    facts_ = dialog.ResultFacts();
    sheet_doubts_ = dialog.Doubts();
    converted_ = ConversionChoice::LyricsToText;
    converted_track_ = 2;  // the new "Words" track
    output_ = workflow::OutputKind::Aligned;
    changed_ = unsaved_ = true;
    updateCommands();
    const QStringList doubtful = dialog.Doubtful();
    status_->setText(
        tr("The sheet's words are placed; %1 syllables are doubtful%2. Write File saves the "
           "result.")
            .arg(doubtful.size())
            .arg(doubtful.isEmpty() ? QString() : QStringLiteral(" (") + doubtful.front() + ')'));
    showSong(PlayerFamily::SoftKaraoke);
    pushSongChange(tr("Words from a Lyric Sheet"), std::move(before));
}

// The edits change words only, never the sound: the player plays on (a tap
// while playing must not stop the song) and only the words it shows are
// renewed. A layout for playing still under way reads the song, so it is
// stopped before the song changes and started again after.
void MainWindow::songEdited(const Song& song) {
    const bool lay_out_again = playback_->SongChanging();
    song_ = song;
    sheet_doubts_.clear();  // the timing editor works out the doubts of the edited words
    updateCommands();
    if (lay_out_again) playback_->SetSong(song_);
    showWords();
}

}  // namespace verselane::ui
