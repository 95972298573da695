// The desktop program's real windows under Qt's offscreen platform: the
// keyboard, what the dialogs offer, and whole user journeys on songs of the
// corpus, with the file dialogs answered by a script. Widgets are found by
// their object names.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <functional>

#include "tests/support/sung_words.h"
#include "tests/support/test_support.h"
#include "ui/convert_lyrics_dialog.h"
#include "ui/convert_songs_dialog.h"
#include "ui/file_messages.h"
#include "ui/karaoke_information_dialog.h"
#include "ui/main_window.h"
#include "ui/song_text.h"
#include "writer/midi_writer.h"

namespace verselane::ui {
namespace {

namespace fs = std::filesystem;

// Answers the file dialogs and questions from queues and records what was
// asked. An empty name, or an empty queue, stands for a cancelled dialog.
class ScriptedPrompts : public Prompts {
  public:
    std::optional<QString> OpenFileName(QWidget*, const QString& folder) override {
        folders.push_back(folder);
        return Next(files);
    }
    QStringList OpenFileNames(QWidget*, const QString&) override { return {}; }
    std::optional<QString> FolderName(QWidget*, const QString&) override { return Next(files); }
    std::optional<QString> SaveFileName(QWidget*, const QString& proposed_name) override {
        proposed.push_back(proposed_name);
        return Next(files);
    }
    void ShowMessage(QWidget*, const QString& text) override { messages.push_back(text); }
    bool Ask(QWidget*, const QString& question) override {
        messages.push_back(question);
        return go_on;
    }

    std::deque<QString> files;
    std::vector<QString> proposed, folders, messages;
    bool go_on = true;

  private:
    static std::optional<QString> Next(std::deque<QString>& queue) {
        if (queue.empty()) return std::nullopt;
        const QString next = queue.front();
        queue.pop_front();
        return next.isEmpty() ? std::nullopt : std::optional<QString>(next);
    }
};

QString Path(const fs::path& path) {
    return QString::fromStdString(path.string());
}

fs::path Corpus(const char* name) {
    return *test::CorpusDir() / name;
}

template <typename T = QWidget>
T* Find(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

void Click(QWidget* parent, const char* name) {
    Find<QPushButton>(parent, name)->click();
}

// Runs `action` from inside the modal loop of the dialog named `name` once
// it is on screen. Should it never show, the test fails instead of hanging.
void WhenShown(QWidget* owner, const char* name, std::function<void(QWidget*)> action) {
    auto* timer = new QTimer(owner);  // ends with the window
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget* dialog = owner->objectName() == QLatin1String(name)
                              ? owner
                              : owner->findChild<QWidget*>(QString::fromLatin1(name));
        if (dialog && dialog->isVisible()) {
            timer->deleteLater();
            timer->stop();
            QApplication::setActiveWindow(dialog);
            action(dialog);
        } else if (++*waited > 1000) {
            timer->deleteLater();
            timer->stop();
            ADD_FAILURE() << name << " was never shown";
        }
    });
    timer->start(5);
}

void Activate(QWidget* window) {
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
}

// The object names of the widgets that Tab visits from `first` on.
std::vector<QString> TabStops(QWidget* window, QWidget* first) {
    Activate(window);
    first->setFocus(Qt::TabFocusReason);
    std::vector<QString> stops{first->objectName()};
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (QApplication::focusWidget() == first) break;
        stops.push_back(QApplication::focusWidget()->objectName());
    }
    return stops;
}

using Buttons = std::tuple<bool, bool, bool>;
const Buttons kStart{true, false, false};
const Buttons kConvertible{true, true, false};
const Buttons kConverted{true, false, true};

struct Window {
    Window() {
        QSettings("verselane", "verselane").clear();  // each test starts afresh
        auto owned = std::make_unique<ScriptedPrompts>();
        prompts = owned.get();
        form = std::make_unique<MainWindow>(std::move(owned));
    }
    void Read(const fs::path& path) {
        prompts->files.push_back(Path(path));
        Click(form.get(), "Command1");
    }
    void Write(const fs::path& path) {
        prompts->files.push_back(Path(path));
        Click(form.get(), "WriteFile");
    }
    // Convert Lyrics with the button `button` of the conversion dialog, then
    // `info` in the information dialog when it shows.
    void Convert(const char* button, std::function<void(QWidget*)> info = {}) {
        if (button) {
            WhenShown(form.get(), "ConvertLyricsDialog", [=](QWidget* d) { Click(d, button); });
        }
        if (info) WhenShown(form.get(), "KaraokeInformationDialog", info);
        Click(form.get(), "L2K");
    }
    Buttons State() const {
        return {Find(form.get(), "Command1")->isEnabled(), Find(form.get(), "L2K")->isEnabled(),
                Find(form.get(), "WriteFile")->isEnabled()};
    }
    QString Status() const { return Find<QLabel>(form.get(), "Status")->text(); }
    QString Words() const { return Find<QPlainTextEdit>(form.get(), "Words")->toPlainText(); }
    ScriptedPrompts* prompts;
    std::unique_ptr<MainWindow> form;
};

TEST(MainWindow, TitleIconSizeTabOrderAndKeys) {
    EXPECT_EQ(VersionedTitle("Midi Verselane", 2, 10, 3), "Midi Verselane v.2.10.3");
    Window w;
    EXPECT_EQ(w.form->windowTitle(), "Midi Verselane v." VERSELANE_VERSION);
    EXPECT_FALSE(w.form->windowIcon().pixmap(32).isNull()) << "the icon is drawn at run time";
    EXPECT_EQ(w.State(), kStart);
    EXPECT_GE(w.form->width(), 700);
    EXPECT_EQ(TabStops(w.form.get(), Find(w.form.get(), "Command1")),
              (std::vector<QString>{"Command1", "Encoding", "Words", "Volume", "SoundFont"}))
        << "disabled buttons are skipped";

    // Made as small as it goes, nothing is cut: every button keeps its text.
    w.form->resize(50, 50);
    QApplication::processEvents();
    for (QPushButton* b : w.form->findChildren<QPushButton*>()) {
        if (b->isVisible()) {
            EXPECT_GE(b->width(), b->minimumSizeHint().width()) << b->text().toStdString();
        }
    }

    // Each key reaches its command: the open dialog, the help, the version.
    struct Row {
        const char* what;
        QKeySequence key;
        QString expected;  // what the open dialog or a message box got
    } const rows[] = {
        {"Alt+R", QKeySequence(Qt::ALT | Qt::Key_R), "open"},
        {"Ctrl+O", QKeySequence::Open, "open"},
        {"F1", QKeySequence::HelpContents, "Ctrl+O"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        w.prompts->folders.clear();
        w.prompts->messages.clear();
        QTest::keySequence(w.form.get(), row.key);
        QTest::qWait(200);  // a button's access key clicks it after a moment
        const QString got = w.prompts->folders.empty()
                                ? (w.prompts->messages.empty() ? "" : w.prompts->messages[0])
                                : "open";
        EXPECT_TRUE(got.contains(row.expected)) << got.toStdString();
    }
    // Enter on a focused button presses it.
    Find(w.form.get(), "Command1")->setFocus();
    w.prompts->folders.clear();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::qWait(300);
    EXPECT_EQ(w.prompts->folders.size(), 1u);

    w.prompts->messages.clear();
    w.form->findChild<QAction*>("AboutAction")->trigger();
    EXPECT_TRUE(w.prompts->messages.at(0).contains(VERSELANE_VERSION));
    QTest::keySequence(w.form.get(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_FALSE(w.form->isVisible());
}

// The entries say number, name and material; the buttons, the reason line
// and Enter follow the selected entry.
TEST(ConversionDialogWindow, EntriesFollowTheSelectedTracksMaterial) {
    ConvertLyricsDialog d;
    d.AddTrack(0, "", {0, 0});
    d.AddTrack(1, "Lyrics", {219, 0});
    d.AddTrack(2, "Words", {0, 496});
    d.AddTrack(3, "Both", {1, 2});
    auto* tracks = Find<QComboBox>(&d, "Tracks");
    struct Row {
        int track;
        QString entry;
        bool karaoke_to_lyrics, lyrics_to_text;
        const char* reason;  // part of the reason line, empty when hidden
        int16_t enter;       // what Enter does
    } const rows[] = {
        {0, "0: (no name) \u2014 no words", false, false, "cannot be converted", kChoiceNone},
        {1, "1: Lyrics \u2014 219 lyric events", false, true, "cannot become lyrics",
         kChoiceLyricsToText},
        {2, "2: Words \u2014 496 karaoke text events", true, false, "cannot become karaoke",
         kChoiceKaraokeToLyrics},
        {3, "3: Both \u2014 1 lyric event, 2 karaoke text events", true, true, "",
         kChoiceLyricsToText},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.track);
        d.SelectTrack(row.track);
        EXPECT_EQ(tracks->currentText(), row.entry);
        EXPECT_EQ(Find(&d, "Command1")->isEnabled(), row.karaoke_to_lyrics);
        EXPECT_EQ(Find(&d, "Command2")->isEnabled(), row.lyrics_to_text);
        const QString reason = Find<QLabel>(&d, "Reason")->text();
        EXPECT_EQ(reason.isEmpty(), !*row.reason);
        EXPECT_TRUE(reason.contains(row.reason)) << reason.toStdString();
        d.Choice = kChoiceNone;
        WhenShown(&d, "ConvertLyricsDialog", [&](QWidget*) {
            QTest::keyClick(tracks, Qt::Key_Return);
            if (d.isVisible()) d.reject();
        });
        d.ShowModal();
        EXPECT_EQ(d.Choice, row.enter == kChoiceNone ? kChoiceCancel : row.enter);
    }
    EXPECT_EQ(TabStops(&d, tracks),
              (std::vector<QString>{"Tracks", "Command1", "Command2", "Cancel", "KeepKar"}));
    d.hide();
}

TEST(ConversionDialogWindow, AccessKeysEscapeAndCloseBox) {
    ConvertLyricsDialog d;
    d.AddTrack(0, "a", {1, 1});
    d.AddTrack(1, "b", {1, 1});
    d.AddTrack2("c");
    struct Row {
        const char* what;
        std::function<void()> press;
        int16_t choice;
    } const rows[] = {
        {"Alt+K", [&] { QTest::keyClick(&d, Qt::Key_K, Qt::AltModifier); }, kChoiceKaraokeToLyrics},
        {"Alt+L", [&] { QTest::keyClick(&d, Qt::Key_L, Qt::AltModifier); }, kChoiceLyricsToText},
        {"Alt+A", [&] { QTest::keyClick(&d, Qt::Key_A, Qt::AltModifier); }, kChoiceCancel},
        {"Esc", [&] { QTest::keyClick(&d, Qt::Key_Escape); }, kChoiceCancel},
        {"close box", [&] { d.close(); }, kChoiceCancel},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        d.Choice = kChoiceNone;
        d.SelectTrack(1);
        WhenShown(&d, "ConvertLyricsDialog", [&](QWidget*) { row.press(); });
        d.ShowModal();
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.Choice, row.choice);
        if (row.choice != kChoiceCancel) {
            EXPECT_EQ(d.FromIndex, 1);
        }
    }
}

TEST(InformationDialogWindow, ProposalEnterDoneEscCancelAndTabOrder) {
    KaraokeInformationDialog d;
    const char* boxes[] = {"Lang", "SongT", "SongA"};
    struct Row {
        const char* box;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool done;
    } const rows[] = {
        {"Lang", Qt::Key_Return, Qt::NoModifier, true},
        {"SongT", Qt::Key_Enter, Qt::NoModifier, true},
        {"SongA", Qt::Key_Return, Qt::NoModifier, true},
        {"SongT", Qt::Key_D, Qt::AltModifier, true},
        {"SongT", Qt::Key_Escape, Qt::NoModifier, false},
        {"Lang", Qt::Key_A, Qt::AltModifier, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.box);
        d.Propose({"FREN", "Ma", "Me", ""});
        WhenShown(&d, "KaraokeInformationDialog", [&](QWidget*) {
            auto* box = Find<QLineEdit>(&d, row.box);
            box->setFocus();
            box->end(false);
            QTest::keyClicks(box, "X");
            QTest::keyClick(box, row.key, row.modifiers);
        });
        EXPECT_EQ(d.ShowModal(), row.done);
        EXPECT_FALSE(d.isVisible());
        std::vector<std::string> texts = {d.Language(), d.Title(), d.Artist()};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(texts[i].ends_with("X"), boxes[i] == std::string(row.box));
        }
    }
    EXPECT_EQ(TabStops(&d, Find(&d, "Lang")),
              (std::vector<QString>{"Lang", "SongT", "SongA", "Done", "Cancel"}));
    d.hide();
}

// Read a song with lyrics in track 0, turn them into karaoke text with the
// proposed title and a typed artist, write it, read the file back.
TEST(UserJourney, LyricsIntoKaraokeTextWrittenAndReadBack) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    Window w;
    w.Read(Corpus("lyrics/twinkle_mma.mid"));
    EXPECT_EQ(w.State(), kConvertible);
    EXPECT_EQ(w.Status(), "Read twinkle_mma.mid: 4 tracks, 80 lyric events, 2 text events.")
        << "text events of a song without karaoke text are not called karaoke text";
    EXPECT_TRUE(w.Words().startsWith("0:00.50  Twin")) << w.Words().toStdString();
    // Typed text is stored in the encoding the words are shown in.
    auto* encoding = Find<QComboBox>(w.form.get(), "Encoding");
    encoding->setCurrentIndex(encoding->findData("WINDOWS-1252"));

    QString entry, proposed;
    WhenShown(w.form.get(), "ConvertLyricsDialog", [&](QWidget* d) {
        entry = Find<QComboBox>(d, "Tracks")->currentText();
        Click(d, "Command2");
    });
    w.Convert(nullptr, [&](QWidget* d) {
        proposed = Find<QLineEdit>(d, "SongT")->text();
        Find<QLineEdit>(d, "SongA")->setText(QString::fromUtf8("Mozart \u00e9"));
        QTest::keyClick(Find(d, "SongA"), Qt::Key_Return);
    });
    EXPECT_EQ(entry, "0: twinkle \u2014 80 lyric events, 2 karaoke text events");
    EXPECT_EQ(proposed, "twinkle") << "the song's own title, not a default";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(w.State(), kConverted);
    EXPECT_TRUE(w.Words().startsWith("twinkle\nMozart \u00e9\n")) << w.Words().toStdString();

    w.Write(dir / "out.kar");
    EXPECT_EQ(w.prompts->proposed.at(0), Path(Corpus("lyrics/twinkle_mma.kar")));
    EXPECT_EQ(w.Status(), "Wrote out.kar.");
    // The next save starts in the folder written to; the song is a recent file.
    w.Write(dir / "again.kar");
    EXPECT_EQ(w.prompts->proposed.at(1), Path(dir / "twinkle_mma.kar"));
    EXPECT_EQ(QSettings("verselane", "verselane").value("recentFiles").toStringList().value(0),
              Path(Corpus("lyrics/twinkle_mma.mid")));

    MidiFile back = test::ReadSong(dir / "out.kar");
    ASSERT_EQ(back.Header.NumTracks, 6);
    const std::vector<std::string> words = test::MetaTexts(back, 2, kMetaText);
    ASSERT_GT(words.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(words.begin(), words.begin() + 4),
              (std::vector<std::string>{"@LENGL", "@Ttwinkle", "@TMozart \xE9",
                                        "@TConverted by Verselane " VERSELANE_VERSION}));
    EXPECT_EQ(test::MetaTexts(back, 0, kMetaLyric).size(), 80u) << "the lyrics stay in track 0";
    EXPECT_EQ(test::ReadSungWords(back, 2, kMetaText), test::ReadSungWords(back, 0, kMetaLyric));
}

// A karaoke file: its title lines shown above the words, turned into lyrics
// in place, written and read back; Ctrl+S writes.
TEST(UserJourney, KaraokeTextIntoLyricsWrittenAndReadBack) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    Window w;
    w.Read(Corpus("kar/twinkle_dmp.kar"));
    ASSERT_EQ(w.State(), kConvertible);
    EXPECT_TRUE(w.Status().endsWith("0 lyric events, 90 karaoke text events."));
    const QStringList shown = w.Words().split('\n');
    ASSERT_GT(shown.size(), 3);
    EXPECT_FALSE(shown[0].contains(':')) << "a title line, without a time";
    const test::SungText sung = test::ReadSungWords(w.form->Song(), 0, kMetaText);

    WhenShown(w.form.get(), "ConvertLyricsDialog", [](QWidget* d) {
        Find<QCheckBox>(d, "KeepKar")->setChecked(false);
        Click(d, "Command1");
    });
    Click(w.form.get(), "L2K");
    EXPECT_EQ(w.State(), kConverted);
    Activate(w.form.get());
    w.prompts->files.push_back(Path(dir / "twinkle.lyrics.mid"));
    QTest::keySequence(w.form.get(), QKeySequence::Save);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.prompts->proposed.empty(); }, 3000));
    EXPECT_EQ(w.prompts->proposed.at(0), Path(Corpus("kar/twinkle_dmp.lyrics.mid")));
    MidiFile back = test::ReadSong(dir / "twinkle.lyrics.mid");
    for (const std::string& text : test::MetaTexts(back, 0, kMetaText)) {
        EXPECT_EQ(text[0], '@') << "only the tags stay text: " << text;
    }
    // The words players show are those of the karaoke text read.
    EXPECT_EQ(test::ReadSungWords(back, 0, kMetaLyric), sung);
}

// What a read says, for each way a file can be: plain sentences, tracks
// from 0, and a song read in part kept when the user says so.
TEST(UserJourney, ReadOutcomesAreSaidPlainly) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    struct Row {
        fs::path file;
        bool go_on;
        Buttons buttons;
        QString status;  // how the status line starts
        QString also;    // and something it holds
    };
    const std::vector<Row> rows = {
        {Corpus("odd/not_midi.mid"), true, kStart, "Could not read not_midi.mid. It is not a MIDI",
         ".mid, .kar"},
        {dir / "missing.mid", true, kStart, "Could not read missing.mid. There is no such file",
         "folder"},
        {Corpus("odd/smpte_offset.mid"), true, kStart, "Read smpte_offset.mid: 11 tracks",
         "Nothing to convert."},
        {Corpus("odd/rmid_info.mid"), true, kStart, "Read rmid_info.mid: 14 tracks", ""},
        {Corpus("odd/kar_trunc.kar"), true, kConvertible, "Read part of kar_trunc.kar: 14 tracks",
         "The file announces 25 tracks but only the first 14 are there"},
        {Corpus("odd/trunc_lyrics.mid"), true, kConvertible, "Read part of trunc_lyrics.mid",
         "middle of track 9"},
        {Corpus("odd/trunc_lyrics.mid"), false, kStart, "trunc_lyrics.mid was not loaded",
         "middle of track 9"},
    };
    Window w;
    w.Read(Corpus("kar/twinkle_dmp.kar"));  // a converted song first: Write File on
    w.Convert("Command1");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file.string());
        w.prompts->go_on = row.go_on;
        w.Read(row.file);
        EXPECT_EQ(w.State(), row.buttons);
        EXPECT_TRUE(w.Status().startsWith(row.status)) << w.Status().toStdString();
        EXPECT_TRUE(w.Status().contains(row.also)) << w.Status().toStdString();
        EXPECT_FALSE(w.Status().contains("Error")) << w.Status().toStdString();
    }
    EXPECT_EQ(DescribeRead(verselane::ReadOutcome{ReadResult::Failed,
                                                  {"Error processing file. Error: Overflow"}},
                           MidiFile{})
                  .Problem,
              "The file is damaged (Overflow). Try another copy of the song.");
}

TEST(UserJourney, CancelledDialogsChangeNothing) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    Window w;
    Click(w.form.get(), "Command1");  // cancelled before anything was read
    EXPECT_EQ(w.State(), kStart);
    w.Read(Corpus("lyrics/twinkle_mma.mid"));
    const std::string song = EncodeMidiFile(w.form->Song());
    w.Convert("Cancel");
    w.Convert("Command2", [](QWidget* d) { QTest::keyClick(d, Qt::Key_Escape); });
    EXPECT_EQ(w.State(), kConvertible);
    EXPECT_EQ(EncodeMidiFile(w.form->Song()), song);

    // Converted, then both file dialogs cancelled.
    w.Convert("Command2", [](QWidget* d) { Click(d, "Done"); });
    ASSERT_EQ(w.State(), kConverted);
    const std::string converted = EncodeMidiFile(w.form->Song());
    const QString status = w.Status();
    Click(w.form.get(), "Command1");
    Click(w.form.get(), "WriteFile");
    EXPECT_EQ(w.State(), kConverted);
    EXPECT_EQ(EncodeMidiFile(w.form->Song()), converted);
    EXPECT_EQ(w.Status(), status);
    EXPECT_TRUE(fs::is_empty(dir.path()));
    EXPECT_TRUE(w.prompts->messages.empty());
}

TEST(UserJourney, FailedWritesAreSaidOnceAndTheInputIsNeverWrittenOver) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    const fs::path input = dir / "song.kar";
    fs::copy_file(Corpus("kar/twinkle_dmp.kar"), input);
    Window w;
    w.Read(input);
    w.Convert("Command1");
    w.Write(dir / "no-such-folder" / "out.mid");
    w.Write(input);
    ASSERT_EQ(w.prompts->messages.size(), 2u);
    EXPECT_EQ(w.prompts->messages[0],
              "Could not write out.mid: No such file or directory. Choose another folder or name.");
    EXPECT_TRUE(w.prompts->messages[1].contains("never written over"));
    EXPECT_EQ(test::ReadAll(input), test::ReadAll(Corpus("kar/twinkle_dmp.kar")));
    EXPECT_EQ(w.State(), kConverted);
}

// A long read shows a progress bar and Cancel, keeps the window answering
// with every command off, and Cancel drops the song.
TEST(UserJourney, LongReadShowsProgressAndCanBeCancelled) {
    VERSELANE_REQUIRE_CORPUS();
    for (bool cancel : {false, true}) {
        Window w;
        w.form->SetProgressDelay(0);
        int ticks = 0;
        bool any_enabled = false, progress_shown = false;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            const auto [read, convert, write] = w.State();
            any_enabled |= read || convert || write;
            progress_shown |= !Find(w.form.get(), "Progress")->isHidden();
            if (++ticks == 5 && cancel) Click(w.form.get(), "CancelRead");
        });
        timer.start(0);
        w.Read(Corpus("plain/big_beatles.mid"));
        timer.stop();
        EXPECT_GT(ticks, 4);
        EXPECT_FALSE(any_enabled);
        EXPECT_TRUE(progress_shown);
        EXPECT_TRUE(Find(w.form.get(), "Progress")->isHidden());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(w.State(), cancel ? kStart : kConvertible);
        EXPECT_EQ(w.Status().contains("cancelled"), cancel) << w.Status().toStdString();
    }
}

// Many songs at once, from dropped files or a folder: options chosen once,
// a row per song, files that exist kept, Stop after the current song.
TEST(UserJourney, SongsConvertedInOneGo) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    for (const char* name : {"lyrics/twinkle_mma.mid", "kar/twinkle_dmp.kar", "odd/not_midi.mid"}) {
        fs::copy_file(Corpus(name), dir.path() / fs::path(name).filename());
    }
    Window w;
    auto run = [&](std::function<void()> start, std::function<void()> drop) {
        std::vector<QStringList> rows;
        QString summary;
        WhenShown(w.form.get(), "ConvertSongsDialog", [&](QWidget* d) {
            start();
            auto* dialog = static_cast<ConvertSongsDialog*>(d);
            while (dialog->Running()) QTest::qWait(10);
            auto* table = Find<QTableWidget>(d, "Results");
            for (int r = 0; r < table->rowCount(); ++r) {
                rows.push_back({table->item(r, 0)->text(), table->item(r, 1)->text()});
            }
            summary = Find<QLabel>(d, "Summary")->text();
            QTest::keyClick(d, Qt::Key_Escape);
        });
        drop();
        return std::make_pair(rows, summary);
    };
    QWidget* form = w.form.get();
    auto start = [&] { Click(Find(form, "ConvertSongsDialog"), "Start"); };
    auto [rows, summary] = run(start, [&] {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(Path(dir / "twinkle_mma.mid")),
                      QUrl::fromLocalFile(Path(dir / "not_midi.mid"))});
        QDragEnterEvent enter(QPoint(9, 9), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(form, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(9, 9), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(form, &drop);
    });
    EXPECT_EQ(rows, (std::vector<QStringList>{{"twinkle_mma.mid", "written"},
                                              {"not_midi.mid", "failed"}}));
    EXPECT_EQ(summary, "1 written, 1 failed.");
    EXPECT_TRUE(fs::exists(dir / "twinkle_mma.kar"));

    // The folder, the other way: both karaoke files convert, but no two
    // songs write one file; Stop ends after the first song.
    w.prompts->files.push_back(Path(dir.path()));
    auto to_lyrics = [&] {
        Find<QRadioButton>(Find(form, "ConvertSongsDialog"), "ToLyrics")->setChecked(true);
        start();
    };
    std::tie(rows, summary) =
        run(to_lyrics, [&] { form->findChild<QAction*>("ConvertFolderAction")->trigger(); });
    EXPECT_EQ(rows, (std::vector<QStringList>{{"not_midi.mid", "failed"},
                                              {"twinkle_dmp.kar", "written"},
                                              {"twinkle_mma.kar", "written"},
                                              {"twinkle_mma.mid", "failed"}}));
    std::tie(rows, summary) = run(
        [&] {
            start();
            QTest::keyClick(Find(form, "ConvertSongsDialog"), Qt::Key_Escape);
        },
        [&] { w.form->ConvertSongs({Path(dir.path())}); });
    EXPECT_EQ(rows.size(), 1u);
    EXPECT_EQ(summary, "0 written, 1 failed, 5 not converted (stopped).");
}

TEST(UserJourney, EncodingChoiceChangesTheWordsShownNotTheSong) {
    VERSELANE_REQUIRE_CORPUS();
    Window w;
    w.Read(Corpus("lyrics/konigin.mid"));
    const std::string song = EncodeMidiFile(w.form->Song());
    const QString automatic = w.Words();
    auto* encoding = Find<QComboBox>(w.form.get(), "Encoding");
    EXPECT_EQ(encoding->itemText(0), "Automatic: Unicode (UTF-8)");
    EXPECT_TRUE(automatic.contains(QString::fromUtf8("Der H\u00f6lle Rache")));
    encoding->setCurrentIndex(encoding->findData("WINDOWS-1252"));
    EXPECT_TRUE(w.Words().contains(QString::fromUtf8("Der H\u00c3\u00b6lle Rache")));
    EXPECT_EQ(EncodeMidiFile(w.form->Song()), song);
    // The song again from File > Read Recent starts from the detected encoding.
    w.form->findChild<QMenu*>("RecentMenu")->actions().at(0)->trigger();
    QApplication::processEvents();
    EXPECT_EQ(encoding->currentIndex(), 0);
    EXPECT_EQ(w.Words(), automatic);
}

TEST(SongText, PreviewShowsTitlesAndNoTimeOnEmptyLines) {
    const auto same = [](std::string_view s) { return QString::fromStdString(std::string(s)); };
    std::vector<SungLine> lines = {
        {0, 1.5, "One", true, {}}, {0, 2.25, "", false, {}}, {0, 75.5, "Three", true, {}}};
    EXPECT_EQ(WordsPreview({"Song", "Singer"}, lines, same),
              "Song\nSinger\n\n0:01.50  One\n\n\n1:15.50  Three");
    EXPECT_EQ(WordsPreview({}, {lines[0]}, same), "0:01.50  One");
}

TEST(SaveName, ProposedFromTheInputTheDirectionAndTheLastFolder) {
    EXPECT_EQ(ProposedSaveName("/m/song.mid", kChoiceLyricsToText), "/m/song.kar");
    EXPECT_EQ(ProposedSaveName("/m/a.b.kar", kChoiceKaraokeToLyrics), "/m/a.b.lyrics.mid");
    EXPECT_EQ(ProposedSaveName("/m/noext", kChoiceLyricsToText, "/out"), "/out/noext.kar");
    EXPECT_EQ(ProposedSaveName("/m/song.kar", kChoiceLyricsToText), "/m/song-converted.kar")
        << "never the input itself";
    EXPECT_EQ(ProposedSaveName("", kChoiceLyricsToText), "");
}

}  // namespace
}  // namespace verselane::ui
