// The main window's actions, menus and toolbar, its keys, and the files
// dropped onto it.
#include <QAction>
#include <QActionGroup>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QToolBar>
#include <QUndoStack>
#include <QVBoxLayout>
#include <cmath>

#include "ui/main_window.h"
#include "ui/main_window_parts.h"
#include "ui/named.h"
#include "ui/playback_panel.h"
#include "ui/timing_editor.h"

namespace verselane::ui {

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
    play_from_action_ = action(tr("Play from the &Chosen Syllable"), "PlayFromChosenAction",
                               [this] {
                                   if (const std::optional<double> at = editor_->LeadInSeconds())
                                       playback_->PlayFrom(*at);
                               },
                               {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Space)});
    stop_action_ =
        action(tr("&Stop"), "StopAction", [this] { playback_->Stop(); },
               {QKeySequence(Qt::CTRL | Qt::Key_Period), QKeySequence(Qt::Key_MediaStop)});

    // Undo and redo are named for the edit they undo or redo.
    undo_action_ = undo_->createUndoAction(this, tr("&Undo"));
    undo_action_->setObjectName(QStringLiteral("UndoAction"));
    undo_action_->setShortcuts(QKeySequence::Undo);
    redo_action_ = undo_->createRedoAction(this, tr("&Redo"));
    redo_action_->setObjectName(QStringLiteral("RedoAction"));
    redo_action_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    // Back at the state last written (or read), by undo or redo: nothing is
    // unwritten, whatever the change undone or redone had left.
    connect(undo_, &QUndoStack::cleanChanged, this, [this](bool clean) {
        if (clean) unsaved_ = false;
        updateCommands();
    });
}

// The timing editor's commands, in the Edit menu; the moves act on the
// editor's selection and their keys work while the editor has the focus.
void MainWindow::createEditorActions() {
    auto editing = [this](const QString& text, const char* name, auto slot, QKeySequence key,
                          Qt::ShortcutContext context) {
        auto* a = new QAction(text, this);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(key);
        a->setShortcutContext(context);
        connect(a, &QAction::triggered, editor_, slot);
        editor_->addAction(a);
        editor_actions_ << a;
        return a;
    };
    const auto here = Qt::WidgetShortcut, anywhere = Qt::WindowShortcut;
    editing(
        tr("Move to the &Previous Note"), "PreviousNoteAction", [this] { editor_->MoveToNote(-1); },
        QKeySequence(Qt::ALT | Qt::Key_Left), here);
    editing(
        tr("Move to the &Next Note"), "NextNoteAction", [this] { editor_->MoveToNote(1); },
        QKeySequence(Qt::ALT | Qt::Key_Right), here);
    editing(
        tr("Pin to the Pre&vious Note and Re-align"), "PinPreviousNoteAction",
        [this] { editor_->PinToNote(-1); }, QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_Left), here);
    editing(
        tr("Pin to the Next Note and Re-ali&gn"), "PinNextNoteAction",
        [this] { editor_->PinToNote(1); }, QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_Right), here);
    editing(
        tr("Nudge &Earlier"), "NudgeEarlierAction", [this] { editor_->Nudge(-1); },
        QKeySequence(Qt::CTRL | Qt::Key_Left), here);
    editing(
        tr("Nudge &Later"), "NudgeLaterAction", [this] { editor_->Nudge(1); },
        QKeySequence(Qt::CTRL | Qt::Key_Right), here);
    editing(
        tr("Next &Doubtful Syllable"), "NextDoubtfulAction",
        [this] { editor_->NextDoubtful(1), editor_->setFocus(); }, QKeySequence(Qt::Key_F8),
        anywhere);
    editing(
        tr("Previous Doubtful S&yllable"), "PreviousDoubtfulAction",
        [this] { editor_->NextDoubtful(-1), editor_->setFocus(); },
        QKeySequence(Qt::SHIFT | Qt::Key_F8), anywhere);
    editing(
        tr("&Edit the Text..."), "EditTextAction", [this] { editor_->EditText(); },
        QKeySequence(Qt::Key_F2), here);
    editing(
        tr("&Insert a Word..."), "InsertAction", [this] { editor_->InsertWord(); },
        QKeySequence(Qt::Key_Insert), here);
    editing(
        tr("De&lete the Syllable"), "DeleteAction", [this] { editor_->DeleteSyllable(); },
        QKeySequence(Qt::Key_Delete), here);
    editing(
        tr("&Split the Syllable"), "SplitAction", [this] { editor_->SplitHalf(); },
        QKeySequence(Qt::CTRL | Qt::Key_Slash), here);
    editing(
        tr("&Merge with the Next"), "MergeAction", [this] { editor_->MergeNext(); },
        QKeySequence(Qt::CTRL | Qt::Key_J), here);
    editing(
        tr("&Hold over the Next Note"), "HoldAction", [this] { editor_->Hold(); },
        QKeySequence(Qt::Key_H), here);
    editing(
        tr("S&kip a Note"), "SkipAction", [this] { editor_->SkipNote(); }, QKeySequence(Qt::Key_K),
        here);
    editing(
        tr("Start a Li&ne Here"), "StartLineAction", [this] { editor_->StartLine(false); },
        QKeySequence(Qt::Key_Return), here);
    editing(
        tr("Start a &Paragraph Here"), "StartParagraphAction", [this] { editor_->StartLine(true); },
        QKeySequence(Qt::SHIFT | Qt::Key_Return), here);
    editing(
        tr("&Join to the Line Before"), "JoinLineAction", [this] { editor_->JoinLine(); },
        QKeySequence(Qt::Key_Backspace), here);
    // Tap to time works while the song plays, wherever the focus is; the
    // latency setting (seconds) takes off what the ear and the hand add on
    // top of the player's own reckoning of the sound.
    editing(
        tr("&Tap (Time the Next Syllable)"), "TapAction",
        [this] {
            const double latency = Settings().value(QStringLiteral("tapLatency"), 0.0).toDouble();
            editor_->Tap(playback_->Position(), latency, playback_->Speed());
        },
        QKeySequence(Qt::Key_T), anywhere);
    line_start_taps_action_ = editing(
        tr("Tap Line St&arts Only"), "LineStartTapsAction",
        [this](bool on) { editor_->SetLineStartTaps(on); }, QKeySequence(Qt::SHIFT | Qt::Key_T),
        anywhere);
    line_start_taps_action_->setCheckable(true);
    zoom_in_action_ = editing(
        tr("Zoom &In"), "ZoomInAction", [this] { editor_->Zoom(1.25); },
        QKeySequence(Qt::CTRL | Qt::Key_Plus), anywhere);
    zoom_in_action_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    zoom_out_action_ = editing(
        tr("Zoom &Out"), "ZoomOutAction", [this] { editor_->Zoom(0.8); },
        QKeySequence(Qt::CTRL | Qt::Key_Minus), anywhere);
}

void MainWindow::createMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(read_action_);
    recent_menu_ = file->addMenu(tr("Read &Recent"));
    recent_menu_->setObjectName(QStringLiteral("RecentMenu"));
    file->addAction(convert_action_);
    file->addAction(write_action_);
    // The edited words written as lyric events, Soft Karaoke text or both
    // (the stream the song lacks made from the edited words).
    write_as_menu_ = file->addMenu(tr("Write &Words As"));
    write_as_menu_->setObjectName(QStringLiteral("WriteAsMenu"));
    for (const auto& [caption, name, as] :
         {std::tuple{tr("&Lyric Events..."), "WriteLyricsAction", editing::SaveAs::Lyrics},
          std::tuple{tr("Soft &Karaoke Text..."), "WriteKaraokeAction", editing::SaveAs::Karaoke},
          std::tuple{tr("&Both..."), "WriteBothAction", editing::SaveAs::Both}}) {
        Named(write_as_menu_->addAction(caption, this,
                                        [this, as] {
                                            save_as_ = as;
                                            writeFile();
                                            save_as_ = editing::SaveAs::AsEdited;
                                        }),
              name);
    }
    file->addSeparator();
    file->addAction(convert_folder_action_);
    file->addAction(convert_files_action_);
    Named(file->addAction(tr("Words from a &Lyric Sheet..."), this, &MainWindow::wordsFromSheet),
          "SheetAction");
    file->addSeparator();
    file->addAction(quit_action_);
    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    edit->addAction(undo_action_);
    edit->addAction(redo_action_);
    edit->addSeparator();
    for (QAction* a : editor_actions_) {
        if (a == zoom_in_action_) edit->addSeparator();
        edit->addAction(a);
    }
    QMenu* playback = menuBar()->addMenu(tr("&Playback"));
    playback->addAction(play_action_);
    playback->addAction(play_from_action_);
    playback->addAction(stop_action_);
    // Slower playing for tapping; the choice is kept for the next start. The
    // access keys avoid T and H: the editor's own keys would take them.
    playback->addSeparator();
    auto* speeds = new QActionGroup(this);
    const double chosen = Settings().value(QStringLiteral("playback/speed"), 1.0).toDouble();
    for (const auto& [caption, name, factor] :
         {std::tuple{tr("&Full Speed"), "FullSpeedAction", 1.0},
          std::tuple{tr("Three-&Quarter Speed"), "ThreeQuarterSpeedAction", 0.75},
          std::tuple{tr("H&alf Speed"), "HalfSpeedAction", 0.5}}) {
        QAction* a = Named(playback->addAction(caption), name);
        a->setCheckable(true);
        a->setActionGroup(speeds);
        connect(a, &QAction::triggered, this, [this, factor] {
            playback_->SetSpeed(factor);
            Settings().setValue(QStringLiteral("playback/speed"), factor);
        });
        if (factor == chosen) a->setChecked(true);
        speed_actions_ << a;
    }
    if (!speeds->checkedAction()) speed_actions_.front()->setChecked(true);
    playback_->SetSpeed(chosen == 0.75 || chosen == 0.5 ? chosen : 1.0);
    playback->addSeparator();
    tap_latency_action_ =
        Named(playback->addAction(tr("Tap &Latency..."), this, &MainWindow::setTapLatency),
              "TapLatencyAction");
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(help_action_);
    help->addAction(about_action_);

    // The frequent actions in reach of the mouse.
    QToolBar* tools = addToolBar(tr("Tools"));
    tools->setObjectName(QStringLiteral("ToolBar"));
    tools->setMovable(false);
    tools->addAction(read_action_);
    tools->addAction(write_action_);
    tools->addSeparator();
    tools->addAction(undo_action_);
    tools->addAction(redo_action_);
    tools->addSeparator();
    tools->addAction(play_action_);
    tools->addAction(stop_action_);
    tools->addSeparator();
    tools->addAction(zoom_in_action_);
    tools->addAction(zoom_out_action_);
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
           "Timing: the editor under the words shows each syllable on the melody's notes. "
           "Left/Right choose a syllable, Alt+Left/Right move it to the previous or next note, "
           "Ctrl+Left/Right nudge it, F8 goes to the next doubtful syllable; drag a syllable "
           "onto a note, or Alt+Shift+Left/Right, to pin it there and re-align the rest of "
           "its line (the other chosen syllables move with a drag, Alt or Shift moves it "
           "alone); Ctrl+Shift+Space plays from two beats before the chosen syllable, and T "
           "while playing taps the next syllable onto its note. Ctrl+wheel or Ctrl+plus/minus "
           "zoom; Ctrl+Z undoes any edit; the Edit menu lists every edit.\n\n"
           "File > Convert a Folder converts many songs at once; dropping files or a "
           "folder onto the window does the same."));
}

void MainWindow::setTapLatency() {
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("TapLatencyDialog"));
    dialog.setWindowTitle(tr("Tap Latency"));
    const double reported = playback_->OutputLatency();
    auto* about = new QLabel(
        tr("The audio output reports %1 ms of delay, which the play cursor already takes "
           "off. Taps are taken back by the latency below as well: the time your ear and "
           "hand add.")
            .arg(std::lround(reported * 1000)),
        &dialog);
    about->setObjectName(QStringLiteral("ReportedLatency"));
    about->setWordWrap(true);
    auto* label = new QLabel(tr("&Latency:"), &dialog);
    auto* spin = new QSpinBox(&dialog);
    spin->setObjectName(QStringLiteral("TapLatency"));
    spin->setRange(0, 1000);
    spin->setSuffix(tr(" ms"));
    spin->setValue(static_cast<int>(
        std::lround(Settings().value(QStringLiteral("tapLatency"), 0.0).toDouble() * 1000)));
    label->setBuddy(spin);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);  // Enter in the box takes it
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(spin, 1);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(about);
    layout->addLayout(row);
    layout->addWidget(buttons);
    if (dialog.exec() == QDialog::Accepted)
        Settings().setValue(QStringLiteral("tapLatency"), spin->value() / 1000.0);
}

void MainWindow::showAbout() {
    prompts_->ShowMessage(this, tr("Midi Verselane %1.%2.%3\n\nConverts song lyrics inside "
                                   "Standard MIDI Files: lyric events into Soft Karaoke text "
                                   "and back.")
                                    .arg(VERSELANE_VERSION_MAJOR)
                                    .arg(VERSELANE_VERSION_MINOR)
                                    .arg(VERSELANE_VERSION_PATCH));
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

}  // namespace verselane::ui
