// The desktop program's real windows under Qt's offscreen platform: the
// keyboard, what the dialogs offer, the check panel, the karaoke view and
// playback, and whole user journeys on songs of the corpus, with the file
// dialogs answered by a script. Widgets are found by their object names.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QSplitter>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QUndoStack>
#include <QUrl>
#include <QWheelEvent>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "lyrics/converters.h"
#include "lyrics/track_choice.h"
#include "reader/midi_reader.h"
#include "tests/support/lyrics_fixtures.h"
#include "tests/support/sung_words.h"
#include "tests/support/test_support.h"
#include "ui/check_panel.h"
#include "ui/convert_lyrics_dialog.h"
#include "ui/convert_songs_dialog.h"
#include "ui/file_messages.h"
#include "ui/karaoke_information_dialog.h"
#include "ui/karaoke_view.h"
#include "ui/lyric_sheet_dialog.h"
#include "ui/main_window.h"
#include "ui/playback_panel.h"
#include "ui/song_text.h"
#include "ui/timing_editor.h"
#include "writer/midi_writer.h"

namespace verselane::ui {
namespace {

namespace fs = std::filesystem;
using Dialog = std::function<void(QWidget*)>;
using Names = std::vector<QString>;

// Answers the file dialogs and questions from a queue and records what was
// asked. An empty name, or an empty queue, stands for a cancelled dialog.
struct ScriptedPrompts : Prompts {
    std::optional<QString> OpenFileName(QWidget*, const QString& folder) override {
        folders.push_back(folder);
        return Next();
    }
    QStringList OpenFileNames(QWidget*, const QString&) override { return {}; }
    std::optional<QString> FolderName(QWidget*, const QString&) override { return Next(); }
    std::optional<QString> SaveFileName(QWidget*, const QString& proposed_name) override {
        proposed.push_back(proposed_name);
        const std::optional<QString> name = Next();
        // Whatever a test left queued, no song is ever written into the corpus.
        if (!name || !InsideCorpus(name->toStdString())) return name;
        ADD_FAILURE() << "a save into the corpus was asked: " << name->toStdString();
        return std::nullopt;
    }
    static bool InsideCorpus(const std::string& path) {
        const std::optional<fs::path> corpus = ::verselane::test::CorpusDir();
        if (!corpus) return false;
        const std::string root = fs::weakly_canonical(*corpus).string() + '/';
        return fs::weakly_canonical(fs::absolute(path)).string().starts_with(root);
    }
    void ShowMessage(QWidget*, const QString& text) override { messages.push_back(text); }
    bool Ask(QWidget*, const QString& question) override { return messages << question, go_on; }
    QMessageBox::StandardButton AskToSave(QWidget*, const QString& question) override {
        save_questions << question;
        return save_answer;
    }
    std::optional<QString> Next() {
        const QString next = files.isEmpty() ? QString() : files.takeFirst();
        return next.isEmpty() ? std::nullopt : std::optional(next);
    }
    QStringList files, proposed, folders, messages, save_questions;
    bool go_on = true;
    QMessageBox::StandardButton save_answer = QMessageBox::Cancel;
};

QString Path(const fs::path& path) {
    return QString::fromStdString(path.string());
}
fs::path Corpus(const char* name) {
    return *test::CorpusDir() / name;
}
// The song a file holds, read in full.
Song ReadBack(const fs::path& path) {
    Song song;
    SongFacts facts;
    EXPECT_EQ(ReadSong(song, facts, path.string()).Result, ReadResult::Complete) << path;
    return song;
}

template <typename T = QWidget>
T* Find(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

bool On(QWidget* parent, const char* name) {
    return Find(parent, name)->isEnabled();
}
void Click(QWidget* parent, const char* name) {
    Find<QPushButton>(parent, name)->click();
}
QString Label(QWidget* parent, const char* name) {
    return Find(parent, name)->property("text").toString();
}

// A dialog awaited by WhenShown. When it goes out of scope the dialog must
// have shown (a test that went on without it fails), and a wait still
// pending ends, so that the action cannot run later, in another dialog of
// the same name, with what the test has let go since.
using Awaited = std::shared_ptr<void>;

// Runs `action` from inside the modal loop of the dialog named `name` once
// it is on screen. Should it never show, the test fails instead of hanging.
[[nodiscard]] Awaited WhenShown(QWidget* owner, const char* name, Dialog action) {
    QPointer<QTimer> timer = new QTimer(owner);    // ends with the window at the latest
    auto settled = std::make_shared<bool>(false);  // shown, or given up on (and failed)
    QObject::connect(timer, &QTimer::timeout, [=, waited = 0]() mutable {
        QWidget* dialog = owner->objectName() == name ? owner : owner->findChild<QWidget*>(name);
        const bool shown = dialog && dialog->isVisible();
        if (!shown && ++waited <= 1000) return;
        delete timer.data();
        EXPECT_TRUE(shown) << name << " was never shown";
        *settled = true;
        if (shown) QApplication::setActiveWindow(dialog), action(dialog);
    });
    timer->start(5);
    return Awaited(nullptr, [=](void*) {
        delete timer.data();
        EXPECT_TRUE(*settled) << name << " was never shown";
    });
}

void Activate(QWidget* window) {
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
}

// Keys pressed on `widget` one after another (its window's shortcuts included).
void Keys(QWidget* widget, std::initializer_list<QKeyCombination> keys) {
    for (const QKeyCombination key : keys)
        QTest::keyClick(widget, key.key(), key.keyboardModifiers());
}

// The object names of the widgets that Tab visits from `first` on.
Names TabStops(QWidget* window, QWidget* first) {
    Activate(window);
    first->setFocus(Qt::TabFocusReason);
    Names stops{first->objectName()};
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (QApplication::focusWidget() == first) break;
        stops.push_back(QApplication::focusWidget()->objectName());
    }
    return stops;
}

// Read File, Convert Lyrics and Write File enabled?
using Buttons = std::tuple<bool, bool, bool>;
const Buttons kStart{true, false, false}, kConvertible{true, true, false},
    kConverted{true, false, true};

enum class Show { Hidden, Active };
struct Window {
    // A new window, shown and active if asked, with `song` of the corpus in it if given.
    explicit Window(const char* song = nullptr, Show show = Show::Hidden) {
        QSettings("verselane", "verselane").clear();  // each test starts afresh
        auto owned = std::make_unique<ScriptedPrompts>();
        prompts = owned.get();
        form = std::make_unique<MainWindow>(std::move(owned));
        if (show == Show::Active) Activate(form.get());
        if (song) Open(song);
    }
    void Read(const fs::path& path) { Press("Command1", path); }
    void Write(const fs::path& path) { Press("WriteFile", path); }
    void Open(const char* song) { form->Open(Path(Corpus(song))); }
    void ReadRecent() {  // the newest of File > Read Recent
        form->findChild<QMenu*>("RecentMenu")->actions().at(0)->trigger();
        QApplication::processEvents();
    }
    void Trigger(const char* action) { form->findChild<QAction*>(action)->trigger(); }
    // Opens the lyric sheet dialog, types `typed` into its box and runs
    // `then` in it (by default Cancel); gives back the box's text as the
    // dialog opened.
    using InSheet = std::function<void(LyricSheetDialog*, QPlainTextEdit*)>;
    QString Sheet(const QString& typed, InSheet then = {}) {
        QString seen;
        const Awaited sheet = WhenShown(form.get(), "LyricSheetDialog", [&](QWidget* shown) {
            auto* d = static_cast<LyricSheetDialog*>(shown);
            auto* box = Find<QPlainTextEdit>(d, "Sheet");
            seen = box->toPlainText();
            box->setPlainText(typed);
            then ? then(d, box) : d->reject();
        });
        Trigger("SheetAction");
        return seen;
    }
    // The file name the save dialog proposed first.
    QString ProposedName() const { return QFileInfo(prompts->proposed.value(0)).fileName(); }
    QString UndoName() const { return form->findChild<QAction*>("UndoAction")->text(); }
    void Undo() { Keys(form.get(), {Qt::CTRL | Qt::Key_Z}); }
    void Press(const char* button, const fs::path& answer) {
        prompts->files.push_back(Path(answer));
        Click(form.get(), button);
    }
    // Convert Lyrics: `lyrics` acts in the conversion dialog, then `info` in
    // the information dialog when it shows.
    void Convert(Dialog lyrics, Dialog info = {}) {
        const Awaited conversion = WhenShown(form.get(), "ConvertLyricsDialog", lyrics);
        const Awaited information =
            info ? WhenShown(form.get(), "KaraokeInformationDialog", info) : nullptr;
        Click(form.get(), "L2K");
    }
    Buttons State() const {
        return {On(form.get(), "Command1"), On(form.get(), "L2K"), On(form.get(), "WriteFile")};
    }
    std::string SongBytes() const { return EncodeSong(form->CurrentSong()); }
    QString Text(const char* label = "Status") const { return Label(form.get(), label); }
    QString Words() const { return Find(form.get(), "Words")->property("plainText").toString(); }
    ScriptedPrompts* prompts;
    std::unique_ptr<MainWindow> form;
};

Dialog Press(const char* button) {
    return [=](QWidget* d) { Click(d, button); };
}

// Files dropped onto the window.
void Drop(QWidget* form, const std::vector<fs::path>& files) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const fs::path& file : files) urls << QUrl::fromLocalFile(Path(file));
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(9, 9), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(form, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent dropped(QPointF(9, 9), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(form, &dropped);
}

TEST(MainWindow, TitleIconTabOrderAndKeys) {
    Window w;
    QWidget* form = w.form.get();
    EXPECT_EQ(form->windowTitle(), "Midi Verselane v." VERSELANE_VERSION);
    EXPECT_FALSE(form->windowIcon().pixmap(32).isNull()) << "the icon is drawn at run time";
    EXPECT_EQ(TabStops(form, Find(form, "Command1")),
              (Names{"Command1", "Encoding", "Words", "TimingEditor", "Volume", "SoundFont"}))
        << "disabled buttons are skipped";
    // Each key reaches its command: the open dialog (Ctrl+O is pressed in
    // the journey on a real X server), the help, the version. Enter on a
    // focused button presses it.
    const QString open = "(open dialog)";
    const std::pair<std::function<void()>, QStringList> keys[] = {
        {[&] { QTest::keySequence(form, QKeySequence(Qt::ALT | Qt::Key_R)); }, {open}},
        {[&] { QTest::keyClick(Find(form, "Command1"), Qt::Key_Return); }, {open}},
        {[&] { QTest::keySequence(form, QKeySequence::HelpContents); },
         {"Ctrl+O", "Ctrl+Space", "Repair"}},
        {[&] { form->findChild<QAction*>("AboutAction")->trigger(); }, {VERSELANE_VERSION}},
    };
    for (const auto& [key, expected] : keys) {
        w.prompts->folders = w.prompts->messages = {};
        key();
        QTest::qWait(300);  // a button's access key clicks it after a moment
        const QString got = w.prompts->folders.isEmpty() ? w.prompts->messages.value(0) : open;
        for (const QString& part : expected) EXPECT_TRUE(got.contains(part)) << got.toStdString();
        EXPECT_EQ(w.prompts->folders.size() + w.prompts->messages.size(), 1);
    }
    // The menus show Ctrl+S beside Write File, Ctrl+Space beside Play or Pause.
    EXPECT_EQ(form->findChild<QAction*>("WriteAction")->shortcut(), QKeySequence::Save);
    EXPECT_EQ(form->findChild<QAction*>("PlayAction")->shortcut(), QKeySequence("Ctrl+Space"));
    QTest::keySequence(form, QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_FALSE(form->isVisible());
}

// The conversion dialog's entries say number, name and material; the
// buttons and the reason line follow the selected entry. Then the keys and
// the close box that close either dialog, and their outcome: the conversion
// dialog's choice (Enter: the direction the entry allows, if any), the
// information dialog's Done (1) or Cancel (0), its boxes keeping what was
// typed.
TEST(ConversionDialogWindow, EntriesFollowTheMaterialAndKeysCloseEitherDialog) {
    ConvertLyricsDialog c;
    c.AddTrack(0, "", {0, 0});
    c.AddTrack(1, "Lyrics", {219, 0});
    c.AddTrack(2, "Words", {0, 496});
    c.AddTrack(3, "Both", {1, 2});
    c.AddInsertionPoint("c");
    const std::tuple<QString, bool, bool, const char*> entries[] = {
        {"0: (no name) \u2014 no words", false, false, "cannot be converted"},
        {"1: Lyrics \u2014 219 lyric events", false, true, "cannot become lyrics"},
        {"2: Words \u2014 496 karaoke text events", true, false, "cannot become karaoke"},
        {"3: Both \u2014 1 lyric event, 2 karaoke text events", true, true, ""},
    };
    for (int track = 0; track < 4; ++track) {
        const auto& [entry, from_karaoke, from_lyrics, reason] = entries[track];
        c.SelectTrack(track);
        EXPECT_EQ(Find<QComboBox>(&c, "Tracks")->currentText(), entry);
        EXPECT_EQ(std::tuple(On(&c, "Command1"), On(&c, "KeepKar"), On(&c, "Command2"),
                             On(&c, "KeepLyrics")),
                  std::tuple(from_karaoke, from_karaoke, from_lyrics, from_lyrics))
            << track;
        const QString why = Label(&c, "Reason");
        EXPECT_TRUE(*reason ? why.contains(reason) : why.isEmpty()) << track;
    }
    EXPECT_EQ(TabStops(&c, Find(&c, "Tracks")),
              (Names{"Tracks", "Command1", "Command2", "Cancel", "KeepLyrics", "KeepKar"}));
    EXPECT_TRUE(c.KeepLyrics()) << "lyric events stay by default";
    c.hide();

    KaraokeInformationDialog i;
    using C = ConversionChoice;
    const QKeyCombination close;  // no key: the close box
    const std::tuple<QDialog*, int, const char*, QKeyCombination, int> rows[] = {
        {&c, 0, "Tracks", Qt::Key_Return, int(C::None)},
        {&c, 1, "Tracks", Qt::Key_Return, int(C::LyricsToText)},
        {&c, 2, "Tracks", Qt::Key_Return, int(C::KaraokeToLyrics)},
        {&c, 3, "Tracks", Qt::Key_Return, int(C::LyricsToText)},
        {&c, 3, nullptr, Qt::ALT | Qt::Key_K, int(C::KaraokeToLyrics)},
        {&c, 3, nullptr, Qt::ALT | Qt::Key_L, int(C::LyricsToText)},
        {&c, 3, nullptr, Qt::ALT | Qt::Key_A, int(C::Cancel)},
        {&c, 3, nullptr, Qt::Key_Escape, int(C::Cancel)},
        {&c, 3, nullptr, close, int(C::Cancel)},
        {&i, 0, "Lang", Qt::Key_Return, 1},
        {&i, 0, "SongT", Qt::Key_Enter, 1},
        {&i, 0, "SongT", Qt::ALT | Qt::Key_D, 1},
        {&i, 0, "SongT", Qt::Key_Escape, 0},
        {&i, 0, "Lang", Qt::ALT | Qt::Key_A, 0},
    };
    for (const auto& [d, track, box, key, outcome] : rows) {
        c.Choice = C::None;
        c.SelectTrack(track);
        i.Propose({"FREN", "Ma", "Me", ""});
        const Awaited shown = WhenShown(
            d, d == &i ? "KaraokeInformationDialog" : "ConvertLyricsDialog", [&](QWidget*) {
                QWidget* edit = box ? Find(d, box) : d;  // the box with the focus, else the dialog
                edit->setFocus();
                if (d == &i) QTest::keyClick(edit, Qt::Key_End), QTest::keyClicks(edit, "X");
                key == close ? void(d->close()) : Keys(edit, {key});
                if (d == &c && outcome == int(C::None)) c.hide();  // Enter did nothing
            });
        EXPECT_EQ(d == &i ? i.ShowModal() : (c.ShowModal(), static_cast<int>(c.Choice)), outcome)
            << track << key.toCombined();
        EXPECT_FALSE(d->isVisible());
        EXPECT_TRUE(d == &c ? outcome == int(C::Cancel) || c.FromIndex == track
                            : Label(d, box).endsWith("X") &&
                                  (i.Language() + i.Title() + i.Artist()).size() == 9);
    }
    EXPECT_EQ(TabStops(&i, Find(&i, "Lang")), (Names{"Lang", "SongT", "SongA", "Done", "Cancel"}));
}

// A converted song is not lost without a question: quitting, closing, and
// reading another file (from the dialog, by a drop or from Read Recent) ask
// first. Cancel, or Save with the save dialog cancelled, keeps the song and
// the window; Save writes it and goes on; Discard goes on.
TEST(UnsavedWork, AskedBeforeAConvertedSongGoes) {
    VERSELANE_REQUIRE_CORPUS();
    const fs::path other = Corpus("kar/twinkle_dmp.kar");
    const std::map<std::string, std::function<void(Window&)>> actions = {
        {"quit", [](Window& w) { w.Trigger("QuitAction"); }},
        {"close", [](Window& w) { w.form->close(); }},
        {"read", [&](Window& w) { w.Read(other); }},
        {"drop", [&](Window& w) { Drop(w.form.get(), {other}); }},
        {"recent", [](Window& w) { w.ReadRecent(); }},
    };
    const auto save = QMessageBox::Save, discard = QMessageBox::Discard,
               cancel = QMessageBox::Cancel;
    // What sets the song aside, the answer, whether the save dialog is
    // cancelled, whether the song then goes.
    const std::tuple<std::string, QMessageBox::StandardButton, bool, bool> rows[] = {
        {"quit", cancel, false, false},  {"quit", discard, false, true},
        {"quit", save, false, true},     {"quit", save, true, false},
        {"close", discard, false, true}, {"close", cancel, false, false},
        {"read", cancel, false, false},  {"read", save, false, true},
        {"drop", discard, false, true},  {"drop", cancel, false, false},
        {"recent", save, true, false},   {"recent", discard, false, true},
    };
    for (const auto& [name, answer, save_cancelled, goes] : rows) {
        SCOPED_TRACE(name + " " + std::to_string(answer) +
                     (save_cancelled ? " (save cancelled)" : ""));
        test::TempDir dir;
        Window w("lyrics/twinkle_mma.mid", Show::Active);
        w.Convert(Press("Command2"), Press("Done"));
        ASSERT_EQ(w.State(), kConverted);
        const std::string converted = w.SongBytes();
        w.prompts->save_answer = answer;
        if (answer == save) w.prompts->files << (save_cancelled ? QString() : Path(dir / "s.kar"));
        actions.at(name)(w);
        EXPECT_EQ(w.prompts->save_questions,
                  QStringList{"The converted song has not been written. Write it before it goes?"});
        const bool window_goes = name == "quit" || name == "close";
        EXPECT_EQ(window_goes ? !w.form->isVisible() : w.SongBytes() != converted, goes);
        EXPECT_TRUE(goes || w.State() == kConverted);
        EXPECT_EQ(fs::exists(dir / "s.kar"), answer == save && !save_cancelled);
        EXPECT_EQ(fs::exists(dir / "s.kar") ? test::ReadAll(dir / "s.kar") : converted, converted);
    }
}

// Write File says what the song written leaves out of the file it was read
// from: an RMID file's chunks besides the MIDI data, bytes after the last
// track.
TEST(UnsavedWork, WrittenSongSaysWhatOfTheFileReadIsNotInIt) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    // A song wrapped as RMID data, with an information chunk after it.
    std::string smf = test::ReadAll(Corpus("lyrics/twinkle_mma.mid"));
    smf += std::string(smf.size() % 2, '\0');
    const auto little = [](size_t n) {
        return std::string{char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
    };
    test::WriteAll(dir / "s.rmi", "RIFF" + little(smf.size() + 24) + "RMIDdata" +
                                      little(smf.size()) + smf + "LIST" + little(4) + "INFO");
    const std::pair<fs::path, QString> rows[] = {
        {Corpus("lyrics/twinkle_mma.mid"), "Wrote out.kar."},
        {Corpus("odd/html_tail.mid"),
         "Wrote out.kar. The 335 bytes after the last track of the "
         "file read (no part of the song) are not in it."},
        {dir / "s.rmi",
         "Wrote out.kar as a Standard MIDI File; the 12 bytes besides the MIDI "
         "data of the RMID file read (a sound bank, information) are not in it."},
    };
    for (const auto& [file, status] : rows) {
        SCOPED_TRACE(file.string());
        Window w(nullptr, Show::Active);
        w.Read(file);
        w.Convert(Press("Command2"), Press("Done"));
        ASSERT_EQ(w.State(), kConverted);
        w.Write(dir / "out.kar");
        EXPECT_EQ(w.Text(), status);
    }
}

// Dialogs cancelled change nothing; then the lyrics in track 0 become
// karaoke text with the proposed title and typed lines, are written, read
// back, and read again from the recent files.
TEST(UserJourney, LyricsIntoKaraokeTextWrittenAndReadBackAfterCancelledDialogs) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    Window w;
    auto* encoding = Find<QComboBox>(w.form.get(), "Encoding");
    w.Read(Corpus("lyrics/twinkle_mma.mid"));
    EXPECT_EQ(w.State(), kConvertible);
    EXPECT_EQ(w.Text(), "Read twinkle_mma.mid: 4 tracks, 80 lyric events, 2 text events.")
        << "text events of a song without karaoke text are not called karaoke text";
    const QString words = w.Words();
    EXPECT_TRUE(words.startsWith("0:00.50  Twin")) << words.toStdString();
    const std::string song = w.SongBytes();
    w.Convert(Press("Cancel"));
    w.Convert(Press("Command2"), [](QWidget* d) { QTest::keyClick(d, Qt::Key_Escape); });
    EXPECT_EQ(std::pair(w.State(), w.SongBytes()), std::pair(kConvertible, song));

    // Typed text is stored in the encoding the words are shown in.
    encoding->setCurrentIndex(encoding->findData("WINDOWS-1252"));
    w.Convert(
        [&](QWidget* d) {
            EXPECT_EQ(Find<QComboBox>(d, "Tracks")->currentText(),
                      "0: twinkle \u2014 80 lyric events")
                << "its two texts are notes of the program that made it, not karaoke text";
            Click(d, "Command2");
        },
        [&](QWidget* d) {
            EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "no wait cursor while one types";
            EXPECT_EQ(Label(d, "SongT"), "twinkle") << "the song's own title, not a default";
            Find(d, "Lang")->setProperty("text", " GERM ");
            Find(d, "SongA")->setProperty("text", QString::fromUtf8("Mozart \u00e9"));
            QTest::keyClick(Find(d, "SongA"), Qt::Key_Return);
        });
    EXPECT_TRUE(w.Words().startsWith("twinkle\nMozart \u00e9\n")) << w.Words().toStdString();

    // Both file dialogs cancelled: song, status and folder as they were.
    const auto before = std::tuple(w.State(), w.SongBytes(), w.Text());
    Click(w.form.get(), "Command1");
    Click(w.form.get(), "WriteFile");
    EXPECT_EQ(std::tuple(w.State(), w.SongBytes(), w.Text()), before);
    EXPECT_TRUE(fs::is_empty(dir.path()) && w.prompts->messages.empty())
        << "nothing written or said";

    w.Write(dir / "out.kar");
    // The next save starts in the folder written to.
    w.Write(dir / "again.kar");
    const QString kar = Path(Corpus("lyrics/twinkle_mma.kar"));  // the cancelled save too
    EXPECT_EQ(w.prompts->proposed, (QStringList{kar, kar, Path(dir / "twinkle_mma.kar")}));

    const Song back = ReadBack(dir / "out.kar");
    ASSERT_EQ(back.TrackCount(), 6);
    std::vector<std::string> texts = test::MetaTexts(back, 2, kMetaText);
    texts.resize(5);  // the tags and the first word
    EXPECT_EQ(texts, (std::vector<std::string>{"@LGERM", "@Ttwinkle", "@TMozart \xE9",
                                               "@TConverted by Verselane " VERSELANE_VERSION,
                                               "\\Twinkle, "}));
    // The song again from File > Read Recent, in its detected encoding.
    w.ReadRecent();
    EXPECT_EQ(w.SongBytes(), song);
    EXPECT_EQ(w.Words(), words);
}

// A karaoke file: its title lines shown above the words, turned into lyrics
// in place and written with Ctrl+S; failed writes are said once and never
// write over the input; then what a read says for each way a file can be.
TEST(UserJourney, KaraokeTextIntoLyricsThenFailedWritesAndReadOutcomes) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    const fs::path input = dir / "song.kar", original = Corpus("kar/twinkle_dmp.kar");
    fs::copy_file(original, input);
    Window w;
    w.Read(input);
    ASSERT_EQ(w.State(), kConvertible);
    EXPECT_TRUE(w.Text().endsWith("0 lyric events, 90 karaoke text events."));
    EXPECT_TRUE(w.Words().startsWith("Twinkle, Twinkle, Little Star\n\n0:01.92  Twinkle, "))
        << "a title line, without a time";
    const test::SungText sung = test::ReadSungWords(w.form->CurrentSong(), 0, kMetaText);
    w.Convert([](QWidget* d) {
        Find(d, "KeepKar")->setProperty("checked", false);
        Click(d, "Command1");
    });
    // Ctrl+S itself is pressed in the journey on a real X server.
    w.Write(dir / "lyrics.mid");
    EXPECT_EQ(w.prompts->proposed.value(0), Path(dir / "song.lyrics.mid"));
    const Song back = ReadBack(dir / "lyrics.mid");
    for (const std::string& text : test::MetaTexts(back, 0, kMetaText))
        EXPECT_EQ(text[0], '@') << "only the tags stay text: " << text;
    // The words players show are those of the karaoke text read.
    EXPECT_EQ(test::ReadSungWords(back, 0, kMetaLyric), sung);

    // Each failure worded from its kind, not from the system's text.
    fs::create_directory(dir / "folder.mid");
    w.Write(dir / "no-such-folder" / "out.mid");
    w.Write(dir / "folder.mid");
    w.Write(input);
    EXPECT_EQ(
        w.prompts->messages,
        (QStringList{"Could not write out.mid: Its folder does not exist. Choose another folder.",
                     "Could not write folder.mid: That name is a folder. Choose another name.",
                     "song.kar is the song that was read, and it is never written over. Choose "
                     "another name."}));
    EXPECT_EQ(test::ReadAll(input), test::ReadAll(original));

    // Plain sentences, tracks from 0, and a song read in part kept when the
    // user says so: how the status line starts, and something it holds; the
    // check's verdict on every song read. A file not taken (not read, or
    // damaged and not wanted) leaves the song in the window as it was, with
    // its words and commands.
    const std::tuple<const char*, bool, Buttons, QString, QString> rows[] = {
        {"not_midi.mid", true, kConverted, "Could not read not_midi.mid. It is not a",
         "holds song"},
        {"missing.mid", true, kConverted, "Could not read missing.mid. There is no such", "folder"},
        {"smpte_offset.mid", true, kStart, "Read smpte_offset.mid: 11 tracks", "Nothing to"},
        {"rmid_info.mid", true, kStart, "Read rmid_info.mid: 14 tracks", ""},
        {"ntracks0.mid", true, kStart, "Read part of ntracks0.mid: 1 track",
         "The file's header announces no tracks, but it holds 1 track; it was read."},
        {"kar_trunc.kar", true, kConvertible, "Read part of kar_trunc.kar: 14 tracks",
         "In track 13 an event at byte 25410 runs past the end of its chunk; the events before it "
         "were read. The file announces 25 tracks but ends after 14 tracks; tracks 0 to 13 were "
         "read."},
        {"trunc_lyrics.mid", false, kConvertible, "trunc_lyrics.mid was not loaded", "track 9"},
        {"trunc_lyrics.mid", true, kConvertible, "Read part of trunc_", "middle of track 9"},
    };
    const auto shown = [&] { return std::tuple(w.SongBytes(), w.Words(), w.Text("CheckVerdict")); };
    for (const auto& [file, go_on, buttons, starts, holds] : rows) {
        const auto before = shown();
        w.prompts->go_on = go_on;
        w.Read(Corpus("odd") / file);  // there is no missing.mid
        EXPECT_EQ(w.State(), buttons) << file;
        EXPECT_EQ(shown() == before, !w.Text().startsWith("Read")) << file;
        EXPECT_NE(w.Text("CheckVerdict") == "", w.form->CurrentSong().TrackCount() > 0) << file;
        EXPECT_TRUE(w.Text().startsWith(starts) && w.Text().contains(holds) &&
                    !w.Text().contains("Error"))
            << w.Text().toStdString();
    }
    EXPECT_TRUE(w.prompts->save_questions.isEmpty()) << "the converted song was written";
    // Every fault in one wording of its own, tracks counted from 0, each
    // sentence said once however often its fault comes, the four reads that
    // fail marked so; then errors that stopped a job, worded from their value:
    // the kind with its detail. (A chunk overrun and missing tracks are
    // worded above, from a real file.)
    using enum ReadFaultKind;
    QStringList said;
    for (const ReadFaultKind kind :
         {TrackMissing, CutShort, LongNumber, NoStatus, HighDataByte, UndefinedStatus,
          SysExHighByte, EventsAfterEnd, ExtraTracks, UnknownFormat, SeveralTracksInFormat0,
          NoTiming, EmptyFile, FileNotFound, FileAccess, BrokenSong}) {
        verselane::ReadOutcome read;
        const ReadFault fault{
            kind, 3, 90, kind == UndefinedStatus ? 0xF4 : 2, "Overflow", "Permission denied"};
        for (int twice = 0; twice < 2; ++twice) read.Add(fault);
        const ReadReport report = DescribeRead(read, Song{});
        EXPECT_NE(report.Outcome, ReadOutcome::Complete) << int(kind);
        said << (report.Outcome == ReadOutcome::Failed ? "(failed) " : "") + report.Problem;
    }
    using E = CaughtError;
    for (const E& error :
         {E{E::Runtime, ErrorKind::Overflow, "track 2"}, E{E::Runtime, ErrorKind::FileAccess, ""},
          E{E::OutOfMemory, ErrorKind::OutOfMemory, ""},
          E{E::Unknown, ErrorKind::InvalidArgument, ""}})
        said << DescribeError(error);
    EXPECT_EQ(said.join('\n').toStdString(),
              R"(Track 3 is not a track chunk; it was left empty and the other tracks were read.
The file ends in the middle of track 3; everything before that point was read.
Track 3 is damaged at byte 90 (a number longer than four bytes); the rest of that track was not read.
Track 3 is damaged at byte 90 (data with no message it belongs to); the rest of that track was not read.
Track 3 is damaged at byte 90 (a message cut off by another); the rest of that track was not read.
Track 3 holds the byte 0xF4 at byte 90, which is no MIDI message; it was left out.
Track 3 holds a damaged system-exclusive message at byte 90; it was left out.
Track 3 ends at byte 90, but 2 more events follow; they were read, and the track now ends after them.
The file holds 2 more tracks than its header announces; they were not read.
The file's format (2) is not one of the three; it was read as format 1.
The file says it holds one track (format 0) but holds 2; it was read as format 1.
The file gives its events no timing; they were read at 480 ticks a quarter note.
(failed) The file is empty. Choose a Standard MIDI File (.mid, .kar).
(failed) There is no such file. Check its name and folder.
(failed) It could not be opened (Permission denied). Check that it is a file you may read.
(failed) The file is damaged (Overflow). Try another copy of the song.
An error stopped it (Overflow: track 2).
An error stopped it (File access error).
There is not enough memory for it.
An error stopped it (an unknown error).)");
}

// A long read shows a progress bar and Cancel, keeps the window answering
// with every command off, and Cancel drops the song; closing the window
// during the read cancels it too, and the window stays.
TEST(UserJourney, LongReadShowsProgressAndCanBeCancelled) {
    VERSELANE_REQUIRE_CORPUS();
    for (const char* how : {"", "CancelRead", "close"}) {
        SCOPED_TRACE(how);
        const bool cancel = *how != 0;
        Window w(nullptr, Show::Active);
        w.form->SetProgressDelay(0);
        int ticks = 0;
        bool any_enabled = false, progress_shown = false;
        QWidget* progress = Find(w.form.get(), "Progress");
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            any_enabled |= w.State() != Buttons{};
            progress_shown |= !progress->isHidden();
            if (++ticks != 5 || !cancel) return;
            how == std::string("close") ? void(w.form->close()) : Click(w.form.get(), how);
        });
        timer.start(0);
        w.Read(Corpus("lyrics/up_around.mid"));  // large, with lyric events
        timer.stop();
        // The window kept answering with every command off; the progress bar
        // showed and is gone, and so is any wait cursor.
        EXPECT_TRUE(ticks > 4 && !any_enabled) << ticks << " ticks";
        EXPECT_TRUE(progress_shown && progress->isHidden() && !QApplication::overrideCursor());
        EXPECT_EQ(w.State(), cancel ? kStart : kConvertible);
        EXPECT_EQ(w.Text().contains("cancelled"), cancel) << w.Text().toStdString();
        EXPECT_TRUE(w.form->isVisible());
    }
}

// Many songs at once, from dropped files or a folder: options chosen once,
// a row per song ("name: outcome"), files that exist kept, Stop after the
// current song.
TEST(UserJourney, SongsConvertedInOneGo) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir, other, many;
    const char* songs[] = {"lyrics/twinkle_mma.mid", "kar/twinkle_dmp.kar", "odd/not_midi.mid",
                           "plain/dmp_test.mid", "odd/kar_trunc.kar"};
    for (int n = 0; n < 5; ++n)
        fs::copy_file(Corpus(songs[n]),
                      (n < 3 ? dir : other).path() / fs::path(songs[n]).filename());
    for (int i = 0; i < 40; ++i)
        fs::copy_file(Corpus("kar/twinkle_dmp.kar"), many / ("s" + std::to_string(i) + ".kar"));
    Window w;
    QStringList rows, messages;
    // The rows ("name: outcome") and the summary of the dialog `open` shows,
    // with `options` chosen and, if `stop`, Stop (Esc) pressed at once.
    const auto run = [&](std::function<void()> open, Dialog options = {}, bool stop = false) {
        rows = messages = {};
        const Awaited dialog = WhenShown(w.form.get(), "ConvertSongsDialog", [&](QWidget* d) {
            if (options) options(d);
            Click(d, "Start");
            if (stop) QTest::keyClick(d, Qt::Key_Escape);
            while (static_cast<ConvertSongsDialog*>(d)->Running()) QTest::qWait(10);
            auto* table = Find<QTableWidget>(d, "Results");
            for (int r = 0; r < table->rowCount(); ++r) {
                rows.push_back(table->item(r, 0)->text() + ": " + table->item(r, 1)->text());
                messages.push_back(table->item(r, 2)->text());
            }
            rows.push_back(Label(d, "Summary"));
            QTest::keyClick(d, Qt::Key_Escape);
        });
        open();
        return rows;
    };
    // Into lyrics: only the options of that direction are offered, Salvage
    // off at first and then set to `salvage`.
    const auto to_lyrics = [](bool salvage = false) {
        return [=](QWidget* d) {
            Find(d, "ToLyrics")->setProperty("checked", true);
            EXPECT_EQ(
                std::tuple(On(d, "Lang"), On(d, "KeepLyrics"), On(d, "KeepKar"), On(d, "Browse")),
                std::tuple(false, false, true, true));
            EXPECT_FALSE(Find(d, "Salvage")->property("checked").toBool()) << "off at first";
            Find(d, "Salvage")->setProperty("checked", salvage);
        };
    };
    // Songs given as a folder, as when one is dropped on the window.
    const auto folder = [&](fs::path p) { return [&w, p] { w.form->ConvertSongs({Path(p)}); }; };
    const auto drop = [&] { Drop(w.form.get(), {dir / "twinkle_mma.mid", dir / "not_midi.mid"}); };
    EXPECT_EQ(run(drop), (QStringList{"twinkle_mma.mid: written", "not_midi.mid: failed",
                                      "1 written, 0 without words, 1 failed."}));

    // The folder, the other way: twinkle_dmp.kar converts; twinkle_mma.kar,
    // written by the run before with its lyrics kept, holds both forms and
    // is not converted again (nor counted as written); no two songs write
    // one file.
    w.prompts->files.push_back(Path(dir.path()));
    EXPECT_EQ(run([&] { w.Trigger("ConvertFolderAction"); }, to_lyrics()),
              (QStringList{"not_midi.mid: failed", "twinkle_dmp.kar: written",
                           "twinkle_mma.kar: converted before", "twinkle_mma.mid: failed",
                           "1 written, 0 without words, 2 failed, 1 converted before (nothing "
                           "written)."}));
    EXPECT_TRUE(messages.value(2).startsWith("Its words are in both forms already"));
    // Stop (Esc while running) ends after the song being converted: of 40
    // songs fewer are done (how many, none or a few, depends on the threads'
    // pace), and the rest are counted as not converted.
    const qsizetype done = run(folder(many.path()), to_lyrics(), true).size() - 1;
    EXPECT_LT(done, 40);
    EXPECT_EQ(rows.last(),
              QString("%1 written, 0 without words, 0 failed, %2 not converted (stopped).")
                  .arg(done)
                  .arg(40 - done));

    // Counted as the command line counts them: a song without words is not
    // a failure; a damaged song is written only when asked, and counted apart.
    EXPECT_EQ(run(folder(other.path()), to_lyrics(false)),
              (QStringList{"dmp_test.mid: without words", "kar_trunc.kar: failed",
                           "0 written, 1 without words, 1 failed."}));
    // The damaged song's message names the desktop's option, not --salvage.
    EXPECT_TRUE(messages.value(1).startsWith(
        "damaged; not written (\"Convert damaged songs with what could be read\" writes it):"))
        << messages.value(1).toStdString();
    EXPECT_EQ(
        run(folder(other.path()), to_lyrics(true)),
        (QStringList{"dmp_test.mid: without words", "kar_trunc.kar: written from a damaged file",
                     "1 written (1 of them from damaged files), 1 without words, 0 failed."}));
    EXPECT_TRUE(fs::exists(other / "kar_trunc.lyrics.mid"));
    EXPECT_FALSE(messages.join('\n').contains("--")) << messages.join('\n').toStdString();
}

// A repair that cannot change the song (Japanese words into the Western
// code page) says so, leaves nothing to undo or write, and the player still
// has the song to play. Then a karaoke song with or without its "@K" line:
// the verdict and findings after a read, and a repair that changes the song
// but not the words shown.
TEST(CheckPanel, ARepairThatChangesNothingSaysSoThenVerdictAfterReadAndRepair) {
    using namespace test;
    TempDir dir;
    WriteAll(
        dir / "bare.kar",
        EncodeSong(BuildSong({{Name("Song"), NoteOn(0, 60), NoteOn(2000, 60), EndOfTrack(2000)},
                              {Name("Soft Karaoke"), EndOfTrack(0)},
                              {Name("Words"), Text(0, "@LENGL"), Text(480, "\\Twin"),
                               Text(720, "kle "), Text(960, "/star"), EndOfTrack(2000)}})));
    WriteAll(dir / "sakura.mid",
             EncodeSong(BuildSong({{Name("Song"), NoteOn(0, 60), NoteOn(480, 62),
                                    Lyric(0, "\xE3\x81\x95\xE3\x81\x8F "),
                                    Lyric(480, "\xE3\x82\x89\r"), EndOfTrack(2000)}})));
    Window w;
    auto* findings = Find<QListWidget>(w.form.get(), "CheckFindings");
    EXPECT_EQ(w.Text("CheckVerdict"), "");
    w.form->Open(Path(dir / "sakura.mid"));
    const QList<QListWidgetItem*> advice = findings->findItems("UTF-8", Qt::MatchContains);
    ASSERT_EQ(advice.size(), 1) << "the UTF-8 advice is listed";
    findings->setCurrentItem(advice[0]);
    ASSERT_TRUE(On(w.form.get(), "CheckRepair"));
    // The song, its undo step and what there is to write stay as they were.
    const auto before = std::tuple(w.SongBytes(), w.UndoName(), w.State());
    Click(w.form.get(), "CheckRepair");
    EXPECT_EQ(std::tuple(w.SongBytes(), w.UndoName(), w.State()), before);
    EXPECT_EQ(w.Text("Status"), "The repair left the song as it was.");
    EXPECT_TRUE(w.Text("CheckVerdict").contains("2 texts could not be converted"))
        << w.Text("CheckVerdict").toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return On(w.form.get(), "PlayPause"); }, 5000));

    static const QString no_k = "No \"@K\" line marks the song as Soft Karaoke.";
    w.form->Open(Path(dir / "bare.kar"));
    EXPECT_EQ(w.Text("CheckVerdict"), "1 problem: " + no_k);
    ASSERT_EQ(findings->count(), 2);
    EXPECT_EQ(findings->item(0)->text(), "will not show (karaoke players): " + no_k);
    // The finding's sentence comes through the desktop's translation.
    struct OneEntry : QTranslator {
        QString translate(const char*, const char* source, const char*, int) const override {
            return source == no_k.toStdString() ? QStringLiteral("Kein @K") : QString();
        }
    } translator;
    QCoreApplication::installTranslator(&translator);
    Find<CheckPanel>(w.form.get(), "CheckPanel")->Check();
    QCoreApplication::removeTranslator(&translator);
    EXPECT_EQ(w.Text("CheckVerdict"), "1 problem: Kein @K");
    EXPECT_TRUE(On(w.form.get(), "CheckRepair"));
    const QString words = w.Words();
    const std::string bare = w.SongBytes();
    Click(w.form.get(), "CheckRepair");
    EXPECT_EQ(w.Text("CheckVerdict"), "Will show in karaoke players; keyboards show no words");
    // The one finding left, advice, has no repair.
    EXPECT_FALSE(On(w.form.get(), "CheckRepair"));
    EXPECT_EQ(w.Words(), words);
    EXPECT_EQ(w.State(), (Buttons{true, true, true})) << "saved, or converted first";
    // Undo takes the repair back, finding and all; redo makes it again.
    const std::string repaired = w.SongBytes();
    EXPECT_EQ(w.UndoName(), "&Undo Repair");
    w.Trigger("UndoAction");
    EXPECT_EQ(w.SongBytes(), bare);
    EXPECT_EQ(w.Text("CheckVerdict"), "1 problem: " + no_k);
    EXPECT_EQ(w.State(), kConvertible) << "as read: nothing to write";
    w.Trigger("RedoAction");
    EXPECT_EQ(w.SongBytes(), repaired);

    // Not lost without a question; saved under the name `fix` gives it.
    w.form->Open(Path(dir / "bare.kar"));
    EXPECT_EQ(w.prompts->save_questions.value(0),
              "The repaired song has not been written. Write it before it goes?");
    EXPECT_EQ(w.SongBytes(), repaired);
    w.Write(dir / "out.kar");
    EXPECT_EQ(w.prompts->proposed.value(0), Path(dir / "bare.fixed.kar"));
    EXPECT_EQ(test::ReadAll(dir / "out.kar"), repaired);

    // The repaired song converts like any other: into lyrics, saved as such.
    w.Convert(Press("Command1"));
    w.Write(dir / "lyrics.mid");
    EXPECT_EQ(w.prompts->proposed.value(1), Path(dir / "bare.lyrics.mid"));
    EXPECT_EQ(ReadBack(dir / "lyrics.mid").TrackCount(), 4) << "the header track the repair put in";
}

TEST(SaveName, ProposedFromTheInputTheKindAndTheLastFolder) {
    // As the command line names its outputs; never the input itself. Which
    // kind the window asks for is checked where its songs are written.
    using enum workflow::OutputKind;
    const std::tuple<const char*, workflow::OutputKind, const char*, const char*> rows[] = {
        {"/m/a.b.kar", Lyrics, "", "/m/a.b.lyrics.mid"},
        {"/m/noext", Karaoke, "/out", "/out/noext.kar"},
        {"/m/song.kar", Karaoke, "", "/m/song-converted.kar"},
        {"", Karaoke, "", ""},
        {"/m/a.b.mid", Fixed, "/out", "/out/a.b.fixed.mid"},
        {"/m/noext", Fixed, "", "/m/noext.fixed.mid"},
        {"/m/song.kar", Aligned, "", "/m/song.aligned.kar"},
        {"/m/song.KAR", Retimed, "", "/m/song.retimed.KAR"},
    };
    for (const auto& [input, kind, folder, expected] : rows)
        EXPECT_EQ(ui::ProposedSaveName(input, kind, folder), expected) << input;
}

// "Negra Sombra": division 480, 1.2 s a quarter note with two slower
// stretches (2 s a quarter note from tick 3917 to 4320 and 7200 to 7680), so
// tick T after 7680 lies at 20.671667 + (T - 7680) * 0.0025 s: the first
// words ("\Can", tick 15840) at 41.0717 s, "/ne" (18720) at 48.2717 s, the
// second paragraph ("\Can", 30240) at 77.0717 s.
const std::string kLines =
    "Cando penso que te fuches,|negra sombra que me asombras,|"
    "ó pé dos meus cabezales|tornas facéndome mofa.||"
    "Cando maxino que es ida,|no mesmo sol te me amostras,";
// At a time, the line shown (the same in both forms: the conversion keeps the
// words) and the next one after it, by their place in kLines, and the
// syllable lit. The paragraph is sung to its end: no next line, then a clean
// screen.
const std::tuple<double, int, const char*> kDue[] = {
    {40.0, 0, ""},     {41.2, 0, "Can"}, {46.0, 0, "ches,"}, {48.4, 1, "ne"},
    {51.3, 1, "me a"}, {72.0, 3, "fa."}, {76.0, 5, ""},      {77.2, 5, "Can"}};

TEST(KaraokeView, ShowsTheDueLineAndSyllableInBothFormsAndTheSliderEndsWithTheLastNote) {
    VERSELANE_REQUIRE_CORPUS();
    const Song karaoke = ReadBack(Corpus("kar/negra_sombra.kar"));
    Song lyrics = karaoke;
    KaraokeToLyrics(lyrics, 2, false);
    auto utf8 = [](std::string_view bytes) { return DecodeForDisplay(bytes, "UTF-8"); };
    const QStringList lines = QString::fromStdString(kLines).split('|');

    PlaybackPanel panel(nullptr, false);
    auto* view = Find<KaraokeView>(&panel, "KaraokeView");
    for (const auto& [song, from] : {std::pair(&std::as_const(lyrics), LineSource::Lyrics),
                                     std::pair(&karaoke, LineSource::Karaoke)}) {
        SCOPED_TRACE(from == LineSource::Karaoke ? "karaoke text" : "lyric events");
        panel.SetSong(*song);
        panel.ShowWords(*song, 2, from, utf8);
        // Before the words: the title lines, found in the header track.
        view->ShowAt(5.0);
        EXPECT_EQ(view->Titles().size(), 4);
        EXPECT_EQ(view->Titles().value(3).left(19), "Sequence and score:");
        EXPECT_EQ(view->CurrentLine(), "");
        for (const auto& [seconds, line, syllable] : kDue) {
            view->ShowAt(seconds);
            EXPECT_TRUE(view->Titles().isEmpty()) << seconds;
            EXPECT_EQ(view->CurrentLine(), lines.value(line)) << seconds;
            EXPECT_EQ(view->Syllable(), QString::fromUtf8(syllable)) << seconds;
            EXPECT_EQ(view->NextLine(), lines.value(line + 1)) << seconds;
        }
        // 41.2 s is 0.128 s into "Can", which lasts 0.6 s; at 46 s the line is lit in full.
        view->ShowAt(41.2);
        EXPECT_NEAR(view->Sweep(), 0.128333 / 0.6, 1e-4);
        view->ShowAt(46.0);
        EXPECT_EQ(view->SungText(), view->CurrentLine());
    }
    // The slider of the song set last, the karaoke form, ends with the last
    // note ("Negra Sombra" ends its tracks 12 s after it, at 267.9 s); a
    // click in the groove moves the song there at once.
    panel.resize(700, 300);
    Activate(&panel);
    auto* slider = Find<QSlider>(&panel, "Position");
    ASSERT_TRUE(QTest::qWaitFor([&] { return slider->isEnabled(); }, 5000));
    EXPECT_EQ(Label(&panel, "PlaybackTime"), "0:00 / 4:15");
    EXPECT_NEAR(slider->maximum() / 10.0, 255.9, 0.2);
    QTest::mouseClick(slider, Qt::LeftButton, {},
                      QPoint(slider->width() * 3 / 4, slider->height() / 2));
    EXPECT_NEAR(panel.Position(), 0.75 * 255.9, 8);
    EXPECT_FALSE(panel.Playing());
}

// The window starts the check panel on a repairable finding and plays what
// it read, in the encoding chosen (which changes the
// words shown, not the song; each read starts from the detected one), and
// what it converted.
TEST(KaraokeView, MainWindowPlaysWhatItReadAndConvertedInTheChosenEncoding) {
    VERSELANE_REQUIRE_CORPUS();
    Window w(nullptr, Show::Active);
    auto* encoding = Find<QComboBox>(w.form.get(), "Encoding");
    auto* panel = Find<PlaybackPanel>(w.form.get(), "PlaybackPanel");
    auto* view = Find<KaraokeView>(w.form.get(), "KaraokeView");
    auto* play = Find<QPushButton>(w.form.get(), "PlayPause");
    EXPECT_FALSE(play->isEnabled());
    w.Open("kar/negra_sombra.kar");
    ASSERT_TRUE(QTest::qWaitFor([&] { return play->isEnabled(); }, 5000));
    // The findings list starts on the first finding that has a repair, so that
    // Repair is ready: here a long paragraph (no repair) comes first.
    const std::vector<Finding>& findings = Find<CheckPanel>(w.form.get(), "CheckPanel")->Findings();
    const auto first =
        std::ranges::find_if(findings, [](auto& f) { return f.Fix != Repair::None; });
    EXPECT_EQ(Find<QListWidget>(w.form.get(), "CheckFindings")->currentRow(),
              first - findings.begin());
    EXPECT_GT(first - findings.begin(), 0);
    EXPECT_TRUE(Find(w.form.get(), "CheckRepair")->isEnabled());
    EXPECT_EQ(encoding->itemText(0), "Automatic: Unicode (UTF-8)");
    const std::string song = w.SongBytes();
    for (const char* shown : {"ó pé dos meus cabezales", "Ã³ pÃ© dos meus cabezales"}) {
        view->ShowAt(48.4);
        EXPECT_EQ(view->NextLine(), QString::fromUtf8(shown));
        EXPECT_TRUE(w.Words().contains(QString::fromUtf8(shown)));
        encoding->setCurrentIndex(encoding->findData("WINDOWS-1252"));
    }
    EXPECT_EQ(w.SongBytes(), song);

    // With no audio the clock alone moves the song on; Space pauses it. A
    // focused button takes Space (Read File opens its dialog, cancelled
    // here); Ctrl+Space plays and pauses wherever the focus is.
    play->click();
    QTest::qWait(300);
    EXPECT_TRUE(panel->Playing());
    EXPECT_NEAR(panel->Position(), 1.1, 0.9);
    auto* read = Find(w.form.get(), "Command1");
    const std::tuple<QWidget*, QKeyCombination, bool> keys[] = {
        {w.form.get(), Qt::Key_Space, false},
        {read, Qt::Key_Space, false},
        {read, Qt::CTRL | Qt::Key_Space, true},
        {read, Qt::CTRL | Qt::Key_Space, false}};
    for (const auto& [target, key, playing] : keys) {
        if (target == read) read->setFocus();
        Keys(target, {key});
        EXPECT_EQ(panel->Playing(), playing);
    }
    EXPECT_EQ(w.prompts->folders.size(), 1);

    // Converted into lyrics: the converted song is there to play at once.
    w.Convert(Press("Command1"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return play->isEnabled(); }, 5000));
    EXPECT_EQ(panel->Position(), 0);
    view->ShowAt(48.4);
    EXPECT_EQ(view->CurrentLine(), "negra sombra que me asombras,");

    // Reading another file (the converted song discarded) stops the song
    // and clears the view.
    play->click();
    w.prompts->save_answer = QMessageBox::Discard;
    w.Open("plain/dmp_test.mid");
    EXPECT_EQ(std::tuple(panel->Playing(), view->CurrentLine(), encoding->currentIndex()),
              std::tuple(false, "", 0));
}

// A song without line marks is one long line: at the window's default size
// it breaks at word gaps into rows that fit the view, in type of 24 points or
// more; rows that do not all fit move on with the syllable being sung.
TEST(KaraokeView, LongLinesBreakAtWordGapsInLargeType) {
    VERSELANE_REQUIRE_CORPUS();
    for (const char* file : {"kar/suerte.kar", "odd/trunc_lyrics.mid"}) {
        SCOPED_TRACE(file);
        Window w(file, Show::Active);
        auto* view = Find<KaraokeView>(w.form.get(), "KaraokeView");
        for (double at = 0; at < 300 && view->SungText().size() < 400; at += 0.5) view->ShowAt(at);
        const QStringList rows = view->Rows();
        ASSERT_GT(rows.size(), 2) << view->CurrentLine().toStdString();
        EXPECT_TRUE(rows.join(' ').contains(view->Syllable())) << view->Syllable().toStdString();
        EXPECT_GE(view->TypePoints(), 24.0);
        QFont font = view->font();
        font.setBold(true);
        font.setPixelSize(qRound(view->TypePoints() * view->logicalDpiY() / 72.0));
        for (const QString& row : rows)
            EXPECT_LE(QFontMetricsF(font).horizontalAdvance(row), view->width() * 0.94)
                << row.toStdString();
        EXPECT_LE(rows.size() * QFontMetricsF(font).lineSpacing(), view->height());
        // Broken at word gaps only: the rows are the lines' words.
        const QString lines = (view->CurrentLine() + ' ' + view->NextLine()).simplified();
        EXPECT_TRUE(lines.contains(rows.join(' ').simplified())) << lines.toStdString();
    }
}

// Doubtful syllables are underlined in the timing editor's orange, with the
// reason as the tooltip; the sure ones are not, the other syllable on the
// same tick included.
TEST(KaraokeView, MarksDoubtfulSyllablesOnlyWithTheirReason) {
    const std::vector<SungSyllable> syllables = {
        {0, 0.0, "Twin"}, {480, 0.5, "kle "}, {960, 1.0, "twin"}, {960, 1.0, "kle"}};
    KaraokeView view;
    view.resize(560, 200);
    view.SetWords({{0, 0.0, "Twinkle twinkle", true, syllables}}, {},
                  [](std::string_view bytes) { return DecodeForDisplay(bytes, "UTF-8"); });
    // The x range of the orange pixels on screen (empty: none).
    const auto orange_span = [&] {
        const QImage image = view.grab().toImage();
        int low = image.width(), high = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) == QColor(220, 110, 0))
                    low = std::min(low, x), high = std::max(high, x);
        return std::pair{low, high};
    };
    view.SetDoubts({{960, 1, "close call"}});
    view.ShowAt(0.1);
    const std::vector<DoubtOnScreen> marks = view.DoubtsOnScreen();
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].Text, "kle");
    EXPECT_EQ(view.DoubtAt(marks[0].Box.center()), "Doubtful syllable \"kle\": close call");
    EXPECT_EQ(view.DoubtAt(marks[0].Box.center() - QPointF(marks[0].Box.width(), 0)), "");
    const auto [low, high] = orange_span();
    EXPECT_GE(low, qFloor(marks[0].Box.left()));
    EXPECT_LE(high, qCeil(marks[0].Box.right()));
    EXPECT_GT(high - low, marks[0].Box.width() / 2);
    view.SetDoubts({});
    EXPECT_TRUE(view.DoubtsOnScreen().empty());
    EXPECT_EQ(orange_span().second, -1);
}

// Words from a Lyric Sheet on a corpus song: a pasted sheet lands its words,
// its doubts listed in the dialog and marked in the karaoke view, the song
// unsaved, what it left out of the sheet said; an empty sheet, or one pasted
// beyond 1 MB, is refused with the message and changes nothing.
TEST(LyricSheetDialog, AlignsAPastedSheetOrRefusesAnEmptyOne) {
    VERSELANE_REQUIRE_CORPUS();
    QString sheet = QString::fromStdString(kLines);
    sheet.replace('|', '\n');
    // The sheet and its outcome line; when the sheet is aligned, the count
    // of doubtful syllables stands between the two parts, and the line ends
    // with where the language and the melody came from.
    const QString found =
        " doubtful. Language: es (guessed from the words). Melody: track 4 (named \"S\", one note "
        "at a time, in the range of a voice, 214 notes for 51 syllables, a sheet shorter than the "
        "song).";
    const std::tuple<QString, const char*, QString> rows[] = {
        {"", "The sheet cannot be aligned: the sheet holds no words.", ""},
        {QString("la la la\n").repeated(116509),
         "The sheet cannot be aligned: the sheet is longer than 1 MB, more than any song's words.",
         ""},
        {sheet, "51 syllables placed, ", found},
        // A sheet from a songbook: its label, chords and tablature are left out, and said so.
        {"[Estrofa]\nAm  F\ne|--0--3--|\n" + sheet, "51 syllables placed, ",
         found + " Section label left out: line 1. Chord names left out: line 2. Guitar "
                 "tablature left out: line 3."},
    };
    for (const auto& [text, starts, ends] : rows) {
        SCOPED_TRACE(starts);
        const bool aligned = !ends.isEmpty();
        Window w("kar/negra_sombra.kar");
        const std::string read = w.SongBytes();
        QString outcome;
        int listed = -1;
        w.Sheet(text, [&](LyricSheetDialog* d, QPlainTextEdit*) {
            Click(d, "Align");
            ASSERT_TRUE(QTest::qWaitFor([&] { return !d->Aligning(); }, 20000));
            outcome = Label(d, "AlignOutcome");
            listed = Find<QListWidget>(d, "Doubtful")->count();
            EXPECT_EQ(Find(d, "SheetOk")->isEnabled(), aligned);
            aligned ? Click(d, "SheetOk") : d->reject();
        });
        EXPECT_EQ(outcome, starts + (aligned ? QString::number(listed) : "") + ends);
        EXPECT_EQ(w.SongBytes() == read, !aligned);
        EXPECT_EQ(listed > 0, aligned) << listed;
        w.Open("plain/dmp_test.mid");  // the question cancelled
        EXPECT_EQ(w.prompts->save_questions.size(), aligned ? 1 : 0);
        if (!aligned) continue;
        w.Trigger("WriteAction");  // the name asked for and not given: nothing written
        EXPECT_EQ(w.ProposedName(), "negra_sombra.aligned.kar");
        EXPECT_TRUE(w.Words().contains("negra sombra que me asombras,")) << w.Words().toStdString();
        EXPECT_TRUE(w.Text().contains(QString("%1 syllables are doubtful").arg(listed)));
        // The karaoke view marks the doubtful syllables with their reason.
        auto* view = Find<KaraokeView>(w.form.get(), "KaraokeView");
        for (double at = 0; at < 300 && view->DoubtsOnScreen().empty(); at += 0.25)
            view->ShowAt(at);
        ASSERT_FALSE(view->DoubtsOnScreen().empty());
        EXPECT_NE(view->DoubtAt(view->DoubtsOnScreen()[0].Box.center()), "");
        // The words placed are one undo step.
        const std::string placed = w.SongBytes();
        EXPECT_EQ(w.UndoName(), "&Undo Words from a Lyric Sheet");
        w.Trigger("UndoAction");
        EXPECT_EQ(w.SongBytes(), read);
        w.Trigger("RedoAction");
        EXPECT_EQ(w.SongBytes(), placed);
    }
}

// The alignment runs in a thread of its own: while it does, the box, the
// choices and Open... wait, Align reads Stop and stops it; Cancel stops it
// too, and either way the song is left as it was. A sheet in the box
// outlives a Cancel: it is there when the dialog opens again, until
// another song is read.
TEST(LyricSheetDialog, StopAndCancelEndALongAlignmentAndTheSheetStaysUntilAnotherSong) {
    VERSELANE_REQUIRE_CORPUS();
    Window w("kar/negra_sombra.kar");
    const std::string read = w.SongBytes();
    const QString long_sheet = QString("la la la la la la la la\n").repeated(10000);
    for (const bool stop_by_button : {true, false}) {
        SCOPED_TRACE(stop_by_button ? "Stop" : "Cancel");
        const QString seen = w.Sheet(long_sheet, [&](LyricSheetDialog* d, QPlainTextEdit* box) {
            Click(d, "Align");
            EXPECT_TRUE(d->Aligning() && box->isReadOnly() &&
                        Find<QPushButton>(d, "Align")->text() == "&Stop");
            if (stop_by_button) {
                Click(d, "Align");
                EXPECT_TRUE(QTest::qWaitFor([&] { return !d->Aligning(); }, 20000));
                EXPECT_EQ(std::tuple(Find(d, "SheetOk")->isEnabled(), d->Result().has_value(),
                                     box->isReadOnly()),
                          std::tuple(false, false, false));
            }
            d->reject();  // when Stop has ended it, leaves the outcome line as it is
            EXPECT_FALSE(d->Aligning());
            EXPECT_EQ(Label(d, "AlignOutcome"), "Aligning stopped.");
        });
        EXPECT_EQ(seen, stop_by_button ? "" : long_sheet);
        EXPECT_EQ(w.SongBytes(), read);
    }
    EXPECT_EQ(w.Sheet("negra sombra que me asombras"), long_sheet);
    EXPECT_EQ(w.Sheet(""), "negra sombra que me asombras");
    w.Open("plain/dmp_test.mid");
    EXPECT_EQ(w.Sheet(""), "");
}

// Open... of the lyric sheet dialog: a UTF-8 sheet as it is, a UTF-16 one
// (with its byte order mark) as the text it is, a sheet in a code page read
// in it and named, a folder or a file without end refused
// with the box left as it was; what the box held comes back with Undo.
// Then the outcome line says which lines of a pasted sheet were left out of
// the words and which were sung again, and where (the song, without notes,
// takes none of them).
TEST(LyricSheetDialog, OpensSheetsInTheirEncodingAndSaysWhatBecameOfLabelsChordsAndRepeats) {
    test::TempDir dir;
    test::WriteAll(dir / "utf8.txt", "Lei-se fle-hen mei-ne Lie-der\n");
    // In Windows-1252 (\337: the sharp s).
    test::WriteAll(dir / "latin1.txt",
                   "Leise flehen meine Lieder durch die Nacht zu dir; in den stillen Hain "
                   "hernieder, Liebchen, komm zu mir! Fl\xfcsternd schlanke Wipfel rauschen, "
                   "s\xfc\337e Gr\xfc\337e, \xe4hnlich\n");
    // Windows' "Unicode" text: UTF-16 (little-endian) after its mark.
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("Lei-se fle-hen sch\xf6n\n")) utf16 += {c, '\0'};
    test::WriteAll(dir / "utf16.txt", utf16);
    test::WriteAll(dir / "song.mid", std::string("MThd\0\0\0\6\0\0\0\1\1\xE0", 14));
    Song song;
    SongFacts facts;
    LyricSheetDialog dialog(song, facts);
    auto* box = Find<QPlainTextEdit>(&dialog, "Sheet");
    box->setPlainText("typed by hand");
    // The file, whether it opens, how the box's text starts, a piece of the
    // outcome line ("" when it says nothing).
    const std::tuple<fs::path, bool, const char*, const char*> rows[] = {
        {dir / "utf16.txt", true, "Lei-se fle-hen sch\u00f6n", ""},
        {dir / "utf8.txt", true, "Lei-se fle-hen", ""},
        {dir / "latin1.txt", true, "Leise flehen", "(Windows-1252)."},
        {dir.path(), false, "Leise flehen", "cannot be read"},
        {"/dev/zero", false, "Leise flehen", "longer than 1 MB"},
        {dir / "song.mid", false, "Leise flehen", "song.mid is not a text file"},
        {dir / "missing.txt", false, "Leise flehen", "cannot be read"},
    };
    for (const auto& [file, opens, starts, says] : rows) {
        SCOPED_TRACE(file.string());
        EXPECT_EQ(dialog.OpenSheet(Path(file)), opens);
        EXPECT_TRUE(box->toPlainText().startsWith(starts)) << box->toPlainText().toStdString();
        const QString said = Label(&dialog, "AlignOutcome");
        EXPECT_TRUE(*says ? said.contains(says) : said.isEmpty()) << said.toStdString();
    }
    EXPECT_TRUE(box->toPlainText().contains("s\u00fc\u00dfe Gr\u00fc\u00dfe, \u00e4hnlich"))
        << box->toPlainText().toStdString();
    for (const char* before : {"Lei-se fle-hen mei-ne", "Lei-se fle-hen sch\u00f6n"}) {
        box->undo();
        EXPECT_TRUE(box->toPlainText().startsWith(before)) << before;
    }
    box->undo();
    EXPECT_EQ(box->toPlainText(), "typed by hand");

    box->setPlainText(
        "[Chorus]\nla la\nlo lo\nAm7 G\nSongwriters: Someone\n\n[Verse]\nli\n[Verse]\n"
        "[Chorus] x2\n\nlu (x2)\n\u00A9 2026 Someone\n");
    Click(&dialog, "Align");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.Aligning(); }, 20000));
    const QString said = Label(&dialog, "AlignOutcome");
    EXPECT_TRUE(said.startsWith("16 syllables placed") &&
                said.contains("Section labels left out: lines 1, 7. Chord names left out: line 4. "
                              "Credits left out: lines 5, 13. Sung again: line 8 at line 9; lines "
                              "2 to 3 at line 10, 2 times; line 12 at line 12."))
        << said.toStdString();
}

// The workstation at its own least size, from the least screen it is made
// for and at full HD: no
// two widgets side by side overlap, the panels get at least the size they
// ask for and every other widget at least its least size; the splitters'
// sizes come back in the next window.
TEST(MainWindow, WorkstationFitsFrom1024x700ToFullHdAndRemembersItsSplits) {
    VERSELANE_REQUIRE_CORPUS();
    Window w("kar/twinkle_dmp.kar", Show::Active);
    const auto least = [](QWidget* x) { return x->minimumSizeHint().expandedTo(x->minimumSize()); };
    const auto fits = [](QWidget* x, QSize s) { return x->size().expandedTo(s) == x->size(); };
    // QSize(1, 1): as small as the window lets itself be made; there the
    // panels get their least size, not the size they ask for.
    for (const QSize size : {QSize(1, 1), QSize(1024, 700), QSize(1920, 1080)}) {
        w.form->resize(size);
        QTest::qWait(50);
        QApplication::processEvents();
        EXPECT_EQ(w.form->size(), size.width() == 1 ? least(w.form.get()) : size);
        for (const char* name : {"WordsPanel", "PlaybackPanel", "TimingEditor", "Words"}) {
            QWidget* panel = Find(w.form.get(), name);
            EXPECT_TRUE(size.width() == 1 || fits(panel, panel->sizeHint()))
                << name << size.width();
        }
        for (QWidget* widget : w.form->centralWidget()->findChildren<QWidget*>()) {
            if (!widget->isVisible() || widget->inherits("QScrollBar")) continue;
            EXPECT_TRUE(fits(widget, least(widget))) << widget->objectName().toStdString();
            for (QObject* other : widget->parentWidget()->children()) {
                auto* sibling = qobject_cast<QWidget*>(other);
                if (sibling && sibling != widget && sibling->isVisible() && !sibling->isWindow()) {
                    EXPECT_FALSE(widget->geometry().intersects(sibling->geometry()))
                        << widget->objectName().toStdString() << " and "
                        << sibling->objectName().toStdString();
                }
            }
        }
    }
    auto* upper = Find<QSplitter>(w.form.get(), "UpperSplit");
    auto* main = Find<QSplitter>(w.form.get(), "MainSplit");
    upper->setSizes({700, 1200});
    main->setSizes({600, 400});
    const QList<int> upper_sizes = upper->sizes(), main_sizes = main->sizes();
    w.form->close();
    MainWindow again;
    again.show();
    QTest::qWait(50);
    EXPECT_EQ(Find<QSplitter>(&again, "UpperSplit")->sizes(), upper_sizes);
    EXPECT_EQ(Find<QSplitter>(&again, "MainSplit")->sizes(), main_sizes);
}

// The syllable ticks of the karaoke text in `track`, as the line reader
// finds them: the editor's blocks must stand where these say.
std::vector<int32_t> SungTicks(const Song& song, int16_t track) {
    std::vector<int32_t> ticks;
    for (const SungLine& line : SungLines(song, track, LineSource::Karaoke))
        for (const SungSyllable& syllable : line.Syllables) ticks.push_back(syllable.Tick);
    return ticks;
}
// A press on the editor's lane at `from`, a move to `to` and the release there.
void Drag(TimingEditor* editor, int32_t from, int32_t to, Qt::KeyboardModifiers modifiers) {
    QWidget* lane = editor->viewport();
    const QPoint start(editor->X(from) + 2, lane->height() - 10), end(editor->X(to) + 1, start.y());
    QTest::mousePress(lane, Qt::LeftButton, modifiers, start);
    QMouseEvent move(QEvent::MouseMove, end, lane->mapToGlobal(QPointF(end)), Qt::NoButton,
                     Qt::LeftButton, modifiers);
    QApplication::sendEvent(lane, &move);
    QTest::mouseRelease(lane, Qt::LeftButton, modifiers, end);
}
// The ticks of the syllables the editor shows.
std::vector<int32_t> EditorTicks(const TimingEditor* editor) {
    std::vector<int32_t> ticks;
    for (const EditorSyllable& syllable : editor->Syllables()) ticks.push_back(syllable.Tick);
    return ticks;
}
// A window with `song` read and shown, and its timing editor.
struct EditorWindow : Window {
    explicit EditorWindow(const char* song = "kar/twinkle_dmp.kar") {
        Read(Corpus(song));
        Activate(form.get());
        editor = Find<TimingEditor>(form.get(), "TimingEditor");
    }
    const EditorSyllable& At(int i) const { return editor->Syllables().at(i); }
    // The first syllable after `i` that starts a line.
    int LineAfter(int i) const {
        while (!At(++i).LineStart) {
        }
        return i;
    }
    int32_t Tick(int i) const { return At(i).Tick; }
    // The first melody note after `after`, else `after`.
    int32_t NextNote(int32_t after) const {
        for (const align::MelodyNote& note : editor->Notes())
            if (note.Tick > after) return note.Tick;
        return after;
    }
    TimingEditor* editor;
};
// A song whose words, notes and a change of metre lie at the last ticks a
// file can hold: the timing editor scrolls to them and draws them, the
// last syllable's block included.
TEST(TimingEditor, DrawsWordsAndBarsAtTheLastTicks) {
    // Bars of a 64th note (a tick at 16 ticks a quarter) from tick 0, a
    // lyric and a note there, and ten ticks before the last tick. Walking
    // bar by bar to the view took 2^31 steps each time the editor was drawn.
    const int32_t late = INT32_MAX - 10;
    const std::string metre_lyric_note = "FF 58 04 01 06 18 08 00 FF 05 02 'la' 00 90 3C 64 ";
    const std::string body = test::Hex("00 " + metre_lyric_note + "60 80 3C 00") +
                             test::Wait(late - 96) +
                             test::Hex(metre_lyric_note + "05 80 3C 00 00 FF 2F 00");
    Song song;
    SongFacts facts;
    ASSERT_NE(ReadSongBytes(song, facts, test::Smf(0, 16, {body})).Result, ReadResult::Failed);
    QUndoStack undo;
    TimingEditor editor(&undo);
    editor.resize(640, 240);
    editor.SetSong(song, 0, LineSource::Lyrics,
                   [](std::string_view b) { return QString::fromLatin1(b.data(), b.size()); });
    ASSERT_EQ(EditorTicks(&editor), (std::vector<int32_t>{0, late}));
    editor.show();
    // At the editor's zoom, and zoomed in as far as it goes: the scroll bar
    // reaches the last syllable, and its block is drawn (the lane just right
    // of its start is not the colour of the empty lane).
    for (const double zoom : {1.0, 1e6}) {
        editor.Zoom(zoom);
        editor.horizontalScrollBar()->setValue(editor.horizontalScrollBar()->maximum());
        const int x = editor.X(late), y = editor.viewport()->height() - 10;
        ASSERT_TRUE(x >= 0 && x + 3 < editor.viewport()->width()) << x << " is off screen";
        const QImage shown = editor.viewport()->grab().toImage();
        EXPECT_NE(shown.pixel(x + 3, y), shown.pixel(editor.viewport()->width() - 1, y)) << zoom;
    }
}

// The timing editor on a song whose timing was never aligned here (a .kar
// from elsewhere): every syllable is shown where the song has it; the nudge
// keys, the drag and the taps move the song's own events; zoom keeps the
// chosen syllable in place; the window knows edits as unsaved work; the
// written file holds the edited timing.
TEST(TimingEditor, NudgesDragAndTapsMoveTheSongsSyllablesAndTheEditIsWritten) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    EditorWindow w;
    ASSERT_EQ(w.Text("WordsLabel"), "Words of track 0 (karaoke text):");
    const auto song_ticks = [&] { return SungTicks(w.form->CurrentSong(), 0); };
    ASSERT_EQ(EditorTicks(w.editor), song_ticks());
    const std::vector<align::MelodyNote>& notes = w.editor->Notes();
    ASSERT_GT(notes.size(), 8u) << "the melody was found";
    EXPECT_TRUE(w.At(0).LineStart && w.At(0).ParagraphStart);

    // Nudge by a sixteenth; two syllables chosen move together. (Undo and
    // redo of each edit key are the next test's.)
    Keys(w.editor, {Qt::Key_Home, Qt::Key_Right, Qt::Key_Right});
    ASSERT_EQ(w.editor->Current(), 2);
    const int32_t sixteenth = w.form->CurrentSong().Division / 4, third = w.Tick(3);
    Keys(w.editor, {Qt::Key_Right, Qt::CTRL | Qt::Key_Right});
    EXPECT_EQ(w.Tick(3), std::min(third + sixteenth, w.Tick(4)));
    Keys(w.editor, {Qt::Key_Left, Qt::SHIFT | Qt::Key_Right});
    EXPECT_EQ(w.editor->Selection(), (std::set<int>{2, 3}));
    const int32_t two = w.Tick(2), three = w.Tick(3);
    Keys(w.editor, {Qt::CTRL | Qt::Key_Left});
    EXPECT_EQ(std::pair(w.Tick(2), w.Tick(3)), std::pair(two - sixteenth, three - sixteenth));

    // A drag puts the syllable on the note under the pointer; with Alt it
    // moves alone. Dragged: the first syllable with a free note between it
    // and the one before.
    int dragged = 1;
    while (w.NextNote(w.Tick(dragged - 1)) >= w.Tick(dragged)) ++dragged;
    const int32_t target = w.NextNote(w.Tick(dragged - 1));
    w.editor->Select(dragged);
    Drag(w.editor, w.Tick(dragged), target, Qt::AltModifier);
    EXPECT_EQ(w.Tick(dragged), target);
    EXPECT_EQ(w.editor->Selection(), (std::set<int>{dragged}));

    // Zoom keeps the chosen syllable where it was on screen.
    const double zoom = w.editor->PixelsPerQuarter();
    const int x = w.editor->X(w.Tick(dragged));
    Keys(w.form.get(), {Qt::CTRL | Qt::Key_Plus});
    EXPECT_DOUBLE_EQ(w.editor->PixelsPerQuarter(), zoom * 1.25);
    EXPECT_NEAR(w.editor->X(w.Tick(dragged)), x, 1);
    QWheelEvent wheel(QPointF(50, 50), w.editor->viewport()->mapToGlobal(QPointF(50, 50)), {},
                      QPoint(0, -120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w.editor->viewport(), &wheel);
    EXPECT_DOUBLE_EQ(w.editor->PixelsPerQuarter(), zoom);

    // Unsaved edits are asked about (the question cancelled, the open dialog
    // is never reached, besides the one the song was read from); the written
    // file holds them.
    Click(w.form.get(), "Command1");
    EXPECT_EQ(w.prompts->save_questions.value(0),
              "The edited song has not been written. Write it before it goes?");
    EXPECT_EQ(w.prompts->folders.size(), 1);
    const std::vector<int32_t> edited = song_ticks();
    w.Write(dir / "edited.kar");
    EXPECT_EQ(w.ProposedName(), "twinkle_dmp.retimed.kar");
    EXPECT_EQ(SungTicks(ReadBack(dir / "edited.kar"), 0), edited);
    EXPECT_EQ(w.State(), kConvertible) << "written: the undo stack is clean";

    // Tap to time: each tap puts the next syllable on the note start nearest
    // it (less the latency); a tap far from any note is told and changes
    // nothing; undo takes back one tap, and the next tap times that syllable
    // again.
    ASSERT_NE(w.editor->Words(), nullptr);
    const editing::TimedWords& words = *w.editor->Words();
    w.editor->Select(0);
    // The first three syllables onto notes 1, 2 and 4, tapped 60 ms late
    // with 50 ms of latency.
    for (int note : {1, 2, 4}) w.editor->Tap(words.Seconds(notes[note].Tick) + 0.06, 0.05);
    EXPECT_EQ(std::tuple(w.Tick(0), w.Tick(1), w.Tick(2)),
              std::tuple(notes[1].Tick, notes[2].Tick, notes[4].Tick));
    const std::string tapped = w.SongBytes();
    w.editor->Tap(words.Seconds(notes.back().End) + 30, 0);  // no note near
    EXPECT_TRUE(w.Text().startsWith("Tap at ")) << w.Text().toStdString();
    EXPECT_EQ(w.SongBytes(), tapped);
    w.Undo();
    EXPECT_NE(w.Tick(2), notes[4].Tick);
    EXPECT_EQ(std::pair(w.Tick(0), w.Tick(1)), std::pair(notes[1].Tick, notes[2].Tick))
        << "one tap undone, not all";
    w.editor->Tap(words.Seconds(notes[5].Tick), 0);
    EXPECT_EQ(w.Tick(2), notes[5].Tick) << "the undone tap's syllable again";

    // Ctrl+Shift+Space plays from two beats before the chosen syllable; a tap
    // while the song plays leaves it playing.
    auto* player = Find<PlaybackPanel>(w.form.get(), "PlaybackPanel");
    w.editor->Select(6);
    const double lead_in = words.Seconds(w.Tick(6) - 2 * w.form->CurrentSong().Division);
    ASSERT_GT(lead_in, 1.0);
    Keys(w.form.get(), {Qt::CTRL | Qt::SHIFT | Qt::Key_Space});
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->Playing(); }, 3000));
    EXPECT_NEAR(player->Position(), lead_in, 0.5);
    w.editor->Select(3);
    w.editor->Tap(words.Seconds(notes[7].Tick), 0);
    EXPECT_EQ(w.Tick(3), notes[7].Tick);
    QTest::qWait(50);
    EXPECT_TRUE(player->Playing()) << "an edit stopped the song";
    player->Stop();

    // Line starts only (Shift+T) at half speed (Playback > Speed): a tap
    // times the next line's first syllable, a note later here, taken back by
    // the latency in the listener's seconds (2 s at half speed: 1 s of the
    // song). The snapping and the pins are the core's (editing_test).
    Keys(w.form.get(), {Qt::SHIFT | Qt::Key_T});
    ASSERT_TRUE(w.editor->LineStartTaps());
    w.Trigger("HalfSpeedAction");
    EXPECT_EQ(player->Speed(), 0.5);
    const int start = w.LineAfter(4);
    w.editor->Select(4);
    const int32_t line_target = w.NextNote(w.Tick(start));
    w.editor->Tap(words.Seconds(line_target) + 1.0, 2.0, 0.5);
    EXPECT_EQ(w.Tick(start), line_target);
    EXPECT_EQ(w.UndoName(), "&Undo Tap a Line Start");
}

// Each edit key of the editor is one step on the undo stack, named for the
// edit: the window counts it as unsaved work, its undo gives the song's
// bytes back exactly and redo makes it again. A refused edit changes
// nothing and says why. A drag without a modifier pins the syllable and
// re-aligns its line, leaving the other lines alone. F8 goes round the
// doubtful syllables, and a conversion is one undo step above the edits.
TEST(TimingEditor, EditsAndConversionsAreUndoStepsRefusalsSayWhyDragsReAlignALineF8FindsDoubts) {
    VERSELANE_REQUIRE_CORPUS();
    EditorWindow w;
    int split_at = -1;  // where F2's "Star" is split (F2's Split at the Cursor); -1: not split
    w.editor->SetTextPrompt(
        [&](const QString&, const QString&) { return TimingEditor::TypedText("Star", split_at); });
    const std::string read = w.SongBytes();
    const size_t count = w.editor->Syllables().size();
    const std::vector<int32_t> ticks = EditorTicks(w.editor);
    const auto size_is = [&](size_t n) {
        return [&, n] { return w.editor->Syllables().size() == n; };
    };
    // The key pressed on the fourth syllable, where F2's text is split, the
    // undo step's name and whether the edit was made.
    const std::tuple<QKeyCombination, int, QString, std::function<bool()>> rows[] = {
        {Qt::ALT | Qt::Key_Right, -1, "&Undo Move to the Next Note",
         [&] { return w.Tick(3) == 3072; }},  // from 2688, onto the next note
        {Qt::Key_F2, -1, "&Undo Edit the Text", [&] { return w.At(3).Text == "Star"; }},
        {Qt::Key_F2, 2, "&Undo Split the Syllable at the Cursor",
         [&] { return w.At(3).Text + '|' + w.At(4).Text == "St|ar"; }},
        {Qt::Key_Delete, -1, "&Undo Delete the Syllable", size_is(count - 1)},
        {Qt::Key_Insert, -1, "&Undo Insert a Word", size_is(count + 1)},
        {Qt::CTRL | Qt::Key_J, -1, "&Undo Merge with the Next", size_is(count - 1)},
        {Qt::CTRL | Qt::Key_Slash, -1, "&Undo Split the Syllable", size_is(count + 1)},
        {Qt::Key_Return, -1, "&Undo Start a Line", [&] { return w.At(3).LineStart; }},
        {Qt::SHIFT | Qt::Key_Return, -1, "&Undo Start a Paragraph",
         [&] { return w.At(3).ParagraphStart; }},
    };
    for (const auto& [key, split, undo_name, done] : rows) {
        SCOPED_TRACE(undo_name.toStdString());
        split_at = split;
        w.editor->setFocus();
        w.editor->Select(3);
        Keys(w.editor, {key});
        EXPECT_TRUE(done());
        // The song holds the edit, written by Write File; its undo gives the
        // bytes back.
        EXPECT_EQ(std::tuple(w.UndoName(), w.State(), w.SongBytes() != read),
                  std::tuple(undo_name, Buttons{true, true, true}, true));
        w.Undo();
        EXPECT_EQ(std::tuple(w.SongBytes() == read, w.editor->Syllables().size(), w.State()),
                  std::tuple(true, count, kConvertible));
        Keys(w.form.get(), {Qt::CTRL | Qt::SHIFT | Qt::Key_Z});
        EXPECT_TRUE(done()) << "redone";
        w.Undo();
    }
    // A refused edit changes nothing and is told in the desktop's words, from
    // the refusal's value: no note before the first syllable; a split at the
    // text's end.
    w.editor->Select(0);
    Keys(w.editor, {Qt::ALT | Qt::Key_Left});
    EXPECT_EQ(w.Text(),
              "Move to the Previous Note: not done (no note of the melody comes before it).");
    split_at = 4;
    w.editor->Select(3);
    Keys(w.editor, {Qt::Key_F2});
    EXPECT_EQ(w.Text(), "Split the Syllable: not done (a split must leave text on both sides).");
    EXPECT_EQ(w.SongBytes(), read) << "neither refusal changed the song";

    // The drag: the second line's first syllable one note later; the first
    // line and the lines after the second stay where they were.
    const int first = w.LineAfter(0), end = w.LineAfter(first);
    const int32_t target = w.NextNote(ticks[first]);
    ASSERT_GT(target, ticks[first]);
    // Alt+Shift+Right, the drag by keyboard, gives the same song. The press
    // on a syllable outside the selection chooses it alone: the others
    // chosen do not move with it.
    w.editor->Select(first - 1);
    w.editor->Select(first + 1, true);
    Drag(w.editor, ticks[first], target, Qt::NoModifier);
    const std::string dragged = w.SongBytes();
    for (const QString undo_name :
         {"&Undo Drag onto a Note and Re-align", "&Undo Pin to the Next Note and Re-align"}) {
        SCOPED_TRACE(undo_name.toStdString());
        EXPECT_EQ(w.UndoName(), undo_name);
        EXPECT_EQ(w.SongBytes(), dragged);
        // Which syllables the re-alignment moves is the core's (editing_test).
        EXPECT_EQ(std::tuple(w.Tick(first - 1), w.Tick(first), w.Tick(end)),
                  std::tuple(ticks[first - 1], target, ticks[end]));
        w.Undo();
        EXPECT_EQ(w.SongBytes(), read);
        w.editor->Select(first);
        Keys(w.editor, {Qt::ALT | Qt::SHIFT | Qt::Key_Right});
    }
    w.Undo();

    // F8 and Shift+F8 go round the doubtful syllables (on no note of the
    // melody). The second syllable, pushed off its note, becomes doubtful.
    Keys(w.editor, {Qt::Key_Home, Qt::Key_Right, Qt::CTRL | Qt::Key_Right});
    ASSERT_TRUE(w.At(1).Doubtful);
    Keys(w.editor, {Qt::Key_Home});
    Keys(w.form.get(), {Qt::Key_F8});
    EXPECT_EQ(w.editor->Current(), 1) << "the next doubtful syllable after the first";
    Keys(w.form.get(), {Qt::SHIFT | Qt::Key_F8, Qt::SHIFT | Qt::Key_F8});
    EXPECT_TRUE(w.At(w.editor->Current()).Doubtful);

    // Convert Lyrics (and likewise a repair and words from a lyric sheet)
    // changes the whole song in one undo step, above that nudge, which then
    // undoes to the song as read, byte for byte; redo gives the edited and
    // the converted song back, the editor showing the words of each. Back at
    // the song as read, nothing is asked before it goes. The conversion
    // dialog cancelled keeps the nudge's undo and the editor's words.
    const std::string edited = w.SongBytes();
    const std::vector<int32_t> edited_ticks = EditorTicks(w.editor);
    w.Convert(Press("Cancel"));
    EXPECT_EQ(std::tuple(w.UndoName(), EditorTicks(w.editor)),
              std::tuple("&Undo Nudge Later", edited_ticks));
    w.Convert(Press("Command1"));  // the karaoke text into lyrics
    const std::string converted = w.SongBytes();
    ASSERT_NE(converted, edited);
    EXPECT_EQ(w.UndoName(), "&Undo Convert Lyrics");
    // (The dialogs leave no widget with the focus offscreen: the actions.)
    w.Trigger("UndoAction");
    EXPECT_EQ(std::tuple(w.SongBytes() == edited, EditorTicks(w.editor), w.State()),
              std::tuple(true, edited_ticks, Buttons{true, true, true}))
        << "convertible, and edited";
    EXPECT_TRUE(On(w.form.get(), "WriteAsMenu")) << "the edited words";
    w.Trigger("UndoAction");
    EXPECT_EQ(w.SongBytes(), read);
    for (const char* action : {"RedoAction", "RedoAction"}) w.Trigger(action);
    EXPECT_EQ(std::pair(w.SongBytes() == converted, w.State()), std::pair(true, kConverted));
    for (const char* action : {"UndoAction", "UndoAction"}) w.Trigger(action);
    w.form->close();
    EXPECT_EQ(w.prompts->save_questions, QStringList{});
}

// Write Words As: a song with lyric events only, one syllable nudged, written
// as Soft Karaoke text: the file holds karaoke text with the nudged timing.
TEST(TimingEditor, EditedWordsWrittenAsTheOtherStream) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    EditorWindow w("lyrics/twinkle_mma.mid");
    auto* write_as = Find<QMenu>(w.form.get(), "WriteAsMenu");
    EXPECT_FALSE(write_as->isEnabled()) << "nothing edited";
    w.editor->Select(1);
    Keys(w.editor, {Qt::CTRL | Qt::Key_Right});
    const std::vector<int32_t> edited = EditorTicks(w.editor);
    ASSERT_TRUE(write_as->isEnabled());
    w.prompts->files.push_back(Path(dir / "edited.kar"));
    w.Trigger("WriteKaraokeAction");
    EXPECT_EQ(w.ProposedName(), "twinkle_mma.kar");
    const Song written = ReadBack(dir / "edited.kar");
    ASSERT_EQ(PreferredLineSource(written), LineSource::Karaoke);
    EXPECT_EQ(SungTicks(written, ChooseSourceTrack(written, ConversionDirection::KaraokeToLyrics)),
              edited);

    // Tap Latency shows the output's own figure (none while silent) beside
    // the box; the milliseconds typed there and kept in the settings in
    // seconds are the editor journey's (ui_test_editor_journey.sh).
    const Awaited latency = WhenShown(w.form.get(), "TapLatencyDialog", [](QWidget* d) {
        EXPECT_TRUE(Label(d, "ReportedLatency").contains("reports 0 ms"))
            << Label(d, "ReportedLatency").toStdString();
        static_cast<QDialog*>(d)->reject();
    });
    w.Trigger("TapLatencyAction");

    // What the read learnt of the song outlives the edits: Convert Lyrics
    // finds the lyrics and makes karaoke text of the edited words.
    w.Convert(Press("Command2"), Press("Done"));
    EXPECT_TRUE(w.prompts->messages.isEmpty()) << w.prompts->messages.join('\n').toStdString();
    EXPECT_EQ(SungTicks(w.form->CurrentSong(), 2), edited);
}

TEST(PlaybackPanel, ASoundFontThatCannotPlayIsToldOnce) {
    // The choice is remembered: in settings of the tests' own, emptied first.
    QStandardPaths::setTestModeEnabled(true);
    QSettings settings(QStringLiteral("Verselane"), QStringLiteral("verselane"));
    settings.clear();
    PlaybackPanel panel(nullptr, false);
    QSignalSpy told(&panel, &PlaybackPanel::StatusMessage);
    QTest::qWait(250);
    EXPECT_EQ(told.count(), 0);  // the installed SoundFont is fine
    panel.UseSoundFont(QStringLiteral("/nowhere/piano.sf2"));
    QTest::qWait(400);
    ASSERT_EQ(told.count(), 1);
    const QString said = told[0][0].toString();
    EXPECT_TRUE(said.contains("/nowhere/piano.sf2") && said.contains("Pick another .sf2 file"))
        << said.toStdString();
    EXPECT_EQ(settings.value(QStringLiteral("playback/soundFont")), "/nowhere/piano.sf2");
    settings.clear();
}

}  // namespace
}  // namespace verselane::ui
