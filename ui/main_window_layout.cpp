// The main window's layout: the buttons and status on top, then the
// workstation of splitters (findings and words, player and karaoke view,
// timing editor), their sizes remembered; and the window's minimum size.
#include <QBoxLayout>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSplitter>
#include <QTimer>
#include <QUndoStack>
#include <QVBoxLayout>

#include "encoding/text_encoding.h"
#include "ui/check_panel.h"
#include "ui/main_window.h"
#include "ui/main_window_parts.h"
#include "ui/playback_panel.h"
#include "ui/timing_editor.h"

namespace verselane::ui {

void MainWindow::createCentralWidget() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    createCommandRows(central, layout);
    createWorkstation(central);
    layout->addWidget(main_split_, 1);
    setCentralWidget(central);
    central->installEventFilter(this);
    words_panel_->installEventFilter(this);
    connectPanels();
}

// The three buttons, the status line and the progress of a read.
void MainWindow::createCommandRows(QWidget* central, QVBoxLayout* layout) {
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

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(read_button_);
    buttons->addWidget(convert_button_);
    buttons->addWidget(write_button_);
    buttons->addStretch(1);
    auto* progress_row = new QHBoxLayout;
    progress_row->addWidget(progress_, 1);
    progress_row->addWidget(cancel_button_);
    layout->addLayout(buttons);
    layout->addWidget(status_);
    layout->addLayout(progress_row);
}

// The words with their encoding and the findings, in the panel on the left.
QWidget* MainWindow::createWordsPanel(QWidget* parent) {
    auto* words_panel = words_panel_ = new QWidget(parent);
    words_panel->setObjectName(QStringLiteral("WordsPanel"));
    words_label_ = new QLabel(tr("Words:"), words_panel);
    words_label_->setObjectName(QStringLiteral("WordsLabel"));
    words_label_->setWordWrap(true);
    encoding_ = new QComboBox(words_panel);
    encoding_->setObjectName(QStringLiteral("Encoding"));
    encoding_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    encoding_->setToolTip(tr("How the song's texts are shown. The song itself is not changed."));
    auto* encoding_label = new QLabel(tr("&Encoding:"), words_panel);
    encoding_label->setBuddy(encoding_);
    fillEncodings();
    connect(encoding_, &QComboBox::currentIndexChanged, this, &MainWindow::showWords);

    words_ = new QPlainTextEdit(words_panel);
    words_->setObjectName(QStringLiteral("Words"));
    words_->setReadOnly(true);
    words_->setPlaceholderText(tr("The words of the song appear here after a read."));
    words_->setLineWrapMode(QPlainTextEdit::NoWrap);

    // The words' caption has a line of its own: beside the encoding it
    // would widen the panel at the player's cost.
    auto* words_row = new QHBoxLayout;
    words_row->addWidget(encoding_label);
    words_row->addWidget(encoding_, 1);
    auto* words_layout = new QVBoxLayout(words_panel);
    words_layout->setContentsMargins(0, 0, 0, 0);
    checks_ = new CheckPanel(&song_, words_panel);
    words_layout->addWidget(checks_);
    words_layout->addLayout(words_row);
    words_layout->addWidget(words_label_);
    words_layout->addWidget(words_, 1);
    return words_panel;
}

// The workstation: the findings and the words beside the player (with the
// karaoke view), the timing editor under both; the splitters' sizes are
// remembered.
void MainWindow::createWorkstation(QWidget* central) {
    upper_split_ = new QSplitter(Qt::Horizontal);
    upper_split_->setObjectName(QStringLiteral("UpperSplit"));
    upper_split_->setChildrenCollapsible(false);
    QWidget* words_panel = createWordsPanel(upper_split_);
    playback_ = new PlaybackPanel(upper_split_,
                                  QGuiApplication::platformName() != QLatin1String("offscreen"));
    connect(playback_, &PlaybackPanel::StatusMessage, status_, &QLabel::setText);
    upper_split_->addWidget(words_panel);
    upper_split_->addWidget(playback_);
    upper_split_->setStretchFactor(0, 2);
    upper_split_->setStretchFactor(1, 3);

    editor_ = new TimingEditor(undo_, central);
    connect(editor_, &TimingEditor::SongEdited, this, &MainWindow::songEdited);
    connect(editor_, &TimingEditor::StatusMessage, status_, &QLabel::setText);
    // Typed syllables go into the song in the encoding of its words (as shown).
    editor_->SetEncoder([this](const QString& text) {
        return TypedText(text.toStdString(), shownEncoding()).Bytes;
    });
    main_split_ = new QSplitter(Qt::Vertical, central);
    main_split_->setObjectName(QStringLiteral("MainSplit"));
    main_split_->setChildrenCollapsible(false);
    main_split_->addWidget(upper_split_);
    main_split_->addWidget(editor_);
    main_split_->setStretchFactor(0, 3);
    main_split_->setStretchFactor(1, 2);
}

// The play cursor, the tab order and the repairs, once every panel is there.
void MainWindow::connectPanels() {
    // The play cursor in the editor follows the player's clock.
    auto* cursor = new QTimer(this);
    connect(cursor, &QTimer::timeout, this,
            [this] { editor_->ShowAt(playback_->Position(), playback_->Playing()); });
    cursor->start(40);

    // The buttons read Read File, Convert Lyrics, Write File, but the tab
    // order is Read File, Write File, Convert Lyrics.
    setTabOrder(read_button_, write_button_);
    setTabOrder(write_button_, convert_button_);
    setTabOrder(convert_button_, encoding_);
    setTabOrder(encoding_, words_);
    setTabOrder(words_, editor_);

    // A repaired song is ready to be written, like a converted one.
    // The song before the repair, for its undo, is taken when it starts.
    connect(checks_, &CheckPanel::Repairing, this, [this] {
        before_repair_ = songState();
        repair_lays_out_again_ = playback_->SongChanging();
    });
    // Nothing to undo and nothing to write; the player goes on with the
    // song it had, laid out again where the repair stopped that.
    connect(checks_, &CheckPanel::RepairChangedNothing, this, [this] {
        before_repair_.reset();
        if (repair_lays_out_again_) playback_->SetSong(song_);
        status_->setText(tr("The repair left the song as it was."));
    });
    connect(checks_, &CheckPanel::Repaired, this, [this] {
        editor_->Clear();  // built anew from the repaired song
        changed_ = unsaved_ = true;
        if (output_ == workflow::OutputKind::Retimed) output_ = workflow::OutputKind::Fixed;
        has_words_ = HasWordsToConvert();
        playback_->SetSong(song_);
        showWords();  // and the commands for the repaired song
        pushSongChange(tr("Repair"), std::move(before_repair_));
    });
}

void MainWindow::restoreSettings() {
    QSettings settings = Settings();
    recent_files_ = settings.value(QStringLiteral("recentFiles")).toStringList();
    fillRecentMenu();
    if (!restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray())) {
        resize(1024, 700);
    }
    // At first the words take two fifths of the width, the editor a third
    // of the height.
    if (!upper_split_->restoreState(settings.value(QStringLiteral("upperSplit")).toByteArray())) {
        upper_split_->setSizes({400, 620});
    }
    if (!main_split_->restoreState(settings.value(QStringLiteral("mainSplit")).toByteArray())) {
        main_split_->setSizes({360, 200});
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing during a read cancels the read; the window stays.
    if (busy_) cancel_read_ = true;
    if (busy_ || !maySetSongAside()) {
        event->ignore();
        return;
    }
    QSettings settings = Settings();
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("upperSplit"), upper_split_->saveState());
    settings.setValue(QStringLiteral("mainSplit"), main_split_->saveState());
    QMainWindow::closeEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == centralWidget() || watched == words_panel_) &&
        event->type() == QEvent::LayoutRequest) {
        updateMinimumSize();
    }
    return QMainWindow::eventFilter(watched, event);
}

namespace {

// The least size of a box layout's widget with each wrapped line (the
// status, the verdict) counted at the height it takes at the narrowest
// width: the layout's own minimum counts it as one line, but lays it out
// taller, which then comes off the widgets below.
QSize WrappedMinimumSize(QBoxLayout* layout) {
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
    return {least.width(), std::max(least.height(), height)};
}

}  // namespace

void MainWindow::updateMinimumSize() {
    // The words beside the player first: the splitters take their least
    // size from it.
    const QSize words = WrappedMinimumSize(static_cast<QBoxLayout*>(words_panel_->layout()));
    if (words_panel_->minimumSize() != words) words_panel_->setMinimumSize(words);
    const QSize wanted = WrappedMinimumSize(static_cast<QBoxLayout*>(centralWidget()->layout()));
    if (centralWidget()->minimumSize() != wanted) centralWidget()->setMinimumSize(wanted);
}

}  // namespace verselane::ui
