// The desktop program's real windows under Qt's offscreen platform: the
// keyboard, what the dialogs offer, the check panel, and whole user journeys
// on songs of the corpus, with the file dialogs answered by a script. Widgets
// are found by their object names.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>

#include "lyrics/track_choice.h"
#include "tests/support/lyrics_fixtures.h"
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
        return Next();
    }
    void ShowMessage(QWidget*, const QString& text) override { messages.push_back(text); }
    bool Ask(QWidget*, const QString& question) override { return messages << question, go_on; }
    std::optional<QString> Next() {
        const QString next = files.isEmpty() ? QString() : files.takeFirst();
        return next.isEmpty() ? std::nullopt : std::optional(next);
    }
    QStringList files, proposed, folders, messages;
    bool go_on = true;
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
QString Label(QWidget* parent, const char* name) {
    return Find(parent, name)->property("text").toString();
}

// Runs `action` from inside the modal loop of the dialog named `name` once
// it is on screen. Should it never show, the test fails instead of hanging.
void WhenShown(QWidget* owner, const char* name, Dialog action) {
    auto* timer = new QTimer(owner);  // ends with the window
    QObject::connect(timer, &QTimer::timeout, [=, waited = 0]() mutable {
        QWidget* dialog = owner->objectName() == QLatin1String(name)
                              ? owner
                              : owner->findChild<QWidget*>(QString::fromLatin1(name));
        const bool shown = dialog && dialog->isVisible();
        if (!shown && ++waited <= 1000) return;
        delete timer;
        EXPECT_TRUE(shown) << name << " was never shown";
        if (shown) QApplication::setActiveWindow(dialog), action(dialog);
    });
    timer->start(5);
}

void Activate(QWidget* window) {
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
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

struct Window {
    Window() {
        QSettings("verselane", "verselane").clear();  // each test starts afresh
        auto owned = std::make_unique<ScriptedPrompts>();
        prompts = owned.get();
        form = std::make_unique<MainWindow>(std::move(owned));
    }
    void Read(const fs::path& path) { Press("Command1", path); }
    void Write(const fs::path& path) { Press("WriteFile", path); }
    void Press(const char* button, const fs::path& answer) {
        prompts->files.push_back(Path(answer));
        Click(form.get(), button);
    }
    // Convert Lyrics: `lyrics` acts in the conversion dialog, then `info` in
    // the information dialog when it shows.
    void Convert(Dialog lyrics, Dialog info = {}) {
        WhenShown(form.get(), "ConvertLyricsDialog", lyrics);
        if (info) WhenShown(form.get(), "KaraokeInformationDialog", info);
        Click(form.get(), "L2K");
    }
    Buttons State() const {
        return {Find(form.get(), "Command1")->isEnabled(), Find(form.get(), "L2K")->isEnabled(),
                Find(form.get(), "WriteFile")->isEnabled()};
    }
    std::string Song() const { return EncodeMidiFile(form->Song()); }
    QString Text(const char* label = "Status") const { return Label(form.get(), label); }
    QString Words() const { return Find(form.get(), "Words")->property("plainText").toString(); }
    ScriptedPrompts* prompts;
    std::unique_ptr<MainWindow> form;
};

Dialog Press(const char* button) {
    return [=](QWidget* d) { Click(d, button); };
}

TEST(MainWindow, TitleIconSizeTabOrderAndKeys) {
    EXPECT_EQ(VersionedTitle("Midi Verselane", 2, 10, 3), "Midi Verselane v.2.10.3");
    Window w;
    QWidget* form = w.form.get();
    EXPECT_EQ(form->windowTitle(), "Midi Verselane v." VERSELANE_VERSION);
    EXPECT_FALSE(form->windowIcon().pixmap(32).isNull()) << "the icon is drawn at run time";
    EXPECT_EQ(w.State(), kStart);
    EXPECT_EQ(TabStops(form, Find(form, "Command1")),
              (Names{"Command1", "Encoding", "Words", "Volume", "SoundFont"}))
        << "disabled buttons are skipped";
    // Each key reaches its command: the open dialog, the help, the version.
    // Enter on a focused button presses it.
    const QString open = "(open dialog)";
    const std::pair<std::function<void()>, QString> keys[] = {
        {[&] { QTest::keySequence(form, QKeySequence(Qt::ALT | Qt::Key_R)); }, open},
        {[&] { QTest::keySequence(form, QKeySequence::Open); }, open},
        {[&] {
             Find(form, "Command1")->setFocus();
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
         },
         open},
        {[&] { QTest::keySequence(form, QKeySequence::HelpContents); }, "Ctrl+O"},
        {[&] { form->findChild<QAction*>("AboutAction")->trigger(); }, VERSELANE_VERSION},
    };
    for (const auto& [key, expected] : keys) {
        w.prompts->folders.clear();
        w.prompts->messages.clear();
        key();
        QTest::qWait(300);  // a button's access key clicks it after a moment
        const QString got = w.prompts->folders.isEmpty() ? w.prompts->messages.value(0) : open;
        EXPECT_TRUE(got.contains(expected)) << got.toStdString();
        EXPECT_EQ(w.prompts->folders.size() + w.prompts->messages.size(), 1);
    }
    QTest::keySequence(form, QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_FALSE(form->isVisible());
}

// The entries say number, name and material; the buttons, the reason line
// and Enter follow the selected entry.
TEST(ConversionDialogWindow, EntriesFollowTheSelectedTracksMaterialAndKeysClose) {
    ConvertLyricsDialog d;
    d.AddTrack(0, "", {0, 0});
    d.AddTrack(1, "Lyrics", {219, 0});
    d.AddTrack(2, "Words", {0, 496});
    d.AddTrack(3, "Both", {1, 2});
    auto* tracks = Find<QComboBox>(&d, "Tracks");
    struct Row {
        QString entry;
        bool karaoke_to_lyrics, lyrics_to_text;
        const char* reason;  // part of the reason line, empty when hidden
        int16_t enter;       // what Enter does
    } const rows[] = {
        {"0: (no name) \u2014 no words", false, false, "cannot be converted", kChoiceCancel},
        {"1: Lyrics \u2014 219 lyric events", false, true, "cannot become lyrics",
         kChoiceLyricsToText},
        {"2: Words \u2014 496 karaoke text events", true, false, "cannot become karaoke",
         kChoiceKaraokeToLyrics},
        {"3: Both \u2014 1 lyric event, 2 karaoke text events", true, true, "",
         kChoiceLyricsToText},
    };
    for (int track = 0; track < 4; ++track) {
        const Row& row = rows[track];
        d.SelectTrack(track);
        EXPECT_EQ(tracks->currentText(), row.entry);
        EXPECT_EQ(Find(&d, "Command1")->isEnabled(), row.karaoke_to_lyrics) << track;
        EXPECT_EQ(Find(&d, "Command2")->isEnabled(), row.lyrics_to_text) << track;
        const QString reason = Label(&d, "Reason");
        EXPECT_EQ(reason.isEmpty(), !*row.reason) << track;
        EXPECT_TRUE(reason.contains(row.reason)) << reason.toStdString();
        d.Choice = kChoiceNone;
        WhenShown(&d, "ConvertLyricsDialog", [&](QWidget*) {
            QTest::keyClick(tracks, Qt::Key_Return);
            if (d.isVisible()) d.reject();
        });
        d.ShowModal();
        EXPECT_EQ(d.Choice, row.enter) << track;
    }
    EXPECT_EQ(TabStops(&d, tracks), (Names{"Tracks", "Command1", "Command2", "Cancel", "KeepKar"}));
    d.hide();
    // The access keys, Esc and the close box.
    d.AddTrack2("c");
    const std::pair<std::function<void()>, int16_t> keys[] = {
        {[&] { QTest::keyClick(&d, Qt::Key_K, Qt::AltModifier); }, kChoiceKaraokeToLyrics},
        {[&] { QTest::keyClick(&d, Qt::Key_L, Qt::AltModifier); }, kChoiceLyricsToText},
        {[&] { QTest::keyClick(&d, Qt::Key_A, Qt::AltModifier); }, kChoiceCancel},
        {[&] { QTest::keyClick(&d, Qt::Key_Escape); }, kChoiceCancel},
        {[&] { d.close(); }, kChoiceCancel},
    };
    for (const auto& [press, choice] : keys) {
        d.Choice = kChoiceNone;
        d.SelectTrack(3);
        WhenShown(&d, "ConvertLyricsDialog", [&](QWidget*) { press(); });
        d.ShowModal();
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.Choice, choice);
        EXPECT_TRUE(choice == kChoiceCancel || d.FromIndex == 3) << d.FromIndex;
    }
}

TEST(InformationDialogWindow, ProposalEnterDoneEscCancelAndTabOrder) {
    KaraokeInformationDialog d;
    const char* boxes[] = {"Lang", "SongT", "SongA"};
    const std::tuple<int, Qt::Key, Qt::KeyboardModifiers, bool> rows[] = {
        {0, Qt::Key_Return, Qt::NoModifier, true},  {1, Qt::Key_Enter, Qt::NoModifier, true},
        {2, Qt::Key_Return, Qt::NoModifier, true},  {1, Qt::Key_D, Qt::AltModifier, true},
        {1, Qt::Key_Escape, Qt::NoModifier, false}, {0, Qt::Key_A, Qt::AltModifier, false},
    };
    for (const auto& [box, key, modifiers, done] : rows) {
        d.Propose({"FREN", "Ma", "Me", ""});
        WhenShown(&d, "KaraokeInformationDialog", [&](QWidget*) {
            QWidget* edit = Find(&d, boxes[box]);
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_End);
            QTest::keyClicks(edit, "X");
            QTest::keyClick(edit, key, modifiers);
        });
        EXPECT_EQ(d.ShowModal(), done);
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.Language() + d.Title() + d.Artist(), std::string(box == 0   ? "FRENXMaMe"
                                                                     : box == 1 ? "FRENMaXMe"
                                                                                : "FRENMaMeX"));
    }
    EXPECT_EQ(TabStops(&d, Find(&d, "Lang")), (Names{"Lang", "SongT", "SongA", "Done", "Cancel"}));
    d.hide();
}

// The encoding chosen changes the words shown, not the song; each read
// starts from the detected one. Dialogs cancelled change nothing; then the
// lyrics in track 0 become karaoke text with the proposed title and typed
// lines, are written, read back, and read again from the recent files.
TEST(UserJourney, LyricsIntoKaraokeTextWrittenAndReadBackAfterCancelledDialogs) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    Window w;
    QWidget* form = w.form.get();
    auto* encoding = Find<QComboBox>(form, "Encoding");
    Click(form, "Command1");  // cancelled before anything was read
    EXPECT_EQ(w.State(), kStart);
    w.Read(Corpus("lyrics/konigin.mid"));
    const std::string konigin = w.Song();
    EXPECT_EQ(encoding->itemText(0), "Automatic: Unicode (UTF-8)");
    EXPECT_TRUE(w.Words().contains(QString::fromUtf8("Der H\u00f6lle Rache")));
    encoding->setCurrentIndex(encoding->findData("WINDOWS-1252"));
    EXPECT_TRUE(w.Words().contains(QString::fromUtf8("Der H\u00c3\u00b6lle Rache")));
    EXPECT_EQ(w.Song(), konigin);

    const fs::path input = Corpus("lyrics/twinkle_mma.mid");
    w.Read(input);
    EXPECT_EQ(encoding->currentIndex(), 0);
    EXPECT_EQ(w.State(), kConvertible);
    EXPECT_EQ(w.Text(), "Read twinkle_mma.mid: 4 tracks, 80 lyric events, 2 text events.")
        << "text events of a song without karaoke text are not called karaoke text";
    const QString words = w.Words();
    EXPECT_TRUE(words.startsWith("0:00.50  Twin")) << words.toStdString();
    const std::string song = w.Song();
    w.Convert(Press("Cancel"));
    w.Convert(Press("Command2"), [](QWidget* d) { QTest::keyClick(d, Qt::Key_Escape); });
    EXPECT_EQ(w.State(), kConvertible);
    EXPECT_EQ(w.Song(), song);

    // Typed text is stored in the encoding the words are shown in.
    encoding->setCurrentIndex(encoding->findData("WINDOWS-1252"));
    QString entry, proposed;
    const auto lyrics_to_text = [&](QWidget* d) {
        entry = Find<QComboBox>(d, "Tracks")->currentText();
        Click(d, "Command2");
    };
    w.Convert(lyrics_to_text, [&](QWidget* d) {
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "no wait cursor while one types";
        proposed = Find(d, "SongT")->property("text").toString();
        Find(d, "Lang")->setProperty("text", " GERM ");
        Find(d, "SongA")->setProperty("text", QString::fromUtf8("Mozart \u00e9"));
        QTest::keyClick(Find(d, "SongA"), Qt::Key_Return);
    });
    EXPECT_EQ(entry, "0: twinkle \u2014 80 lyric events, 2 karaoke text events");
    EXPECT_EQ(proposed, "twinkle") << "the song's own title, not a default";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(w.State(), kConverted);
    EXPECT_TRUE(w.Words().startsWith("twinkle\nMozart \u00e9\n")) << w.Words().toStdString();

    // Both file dialogs cancelled: song, status and folder as they were.
    const std::string converted = w.Song();
    const QString status = w.Text();
    Click(form, "Command1");
    Click(form, "WriteFile");
    EXPECT_EQ(w.State(), kConverted);
    EXPECT_EQ(w.Song(), converted);
    EXPECT_EQ(w.Text(), status);
    EXPECT_TRUE(fs::is_empty(dir.path()));
    EXPECT_TRUE(w.prompts->messages.empty());

    w.Write(dir / "out.kar");
    EXPECT_EQ(w.Text(), "Wrote out.kar.");
    // The next save starts in the folder written to.
    w.Write(dir / "again.kar");
    const QString kar = Path(Corpus("lyrics/twinkle_mma.kar"));  // the cancelled save too
    EXPECT_EQ(w.prompts->proposed, (QStringList{kar, kar, Path(dir / "twinkle_mma.kar")}));

    MidiFile back = test::ReadSong(dir / "out.kar");
    ASSERT_EQ(back.Header.NumTracks, 6);
    std::vector<std::string> texts = test::MetaTexts(back, 2, kMetaText);
    ASSERT_GT(texts.size(), 4u);
    texts.resize(4);
    EXPECT_EQ(texts, (std::vector<std::string>{"@LGERM", "@Ttwinkle", "@TMozart \xE9",
                                               "@TConverted by Verselane " VERSELANE_VERSION}));
    EXPECT_EQ(test::MetaTexts(back, 0, kMetaLyric).size(), 80u) << "the lyrics stay in track 0";
    EXPECT_EQ(test::ReadSungWords(back, 2, kMetaText), test::ReadSungWords(back, 0, kMetaLyric));
    // The song again from File > Read Recent, in its detected encoding.
    form->findChild<QMenu*>("RecentMenu")->actions().at(0)->trigger();
    QApplication::processEvents();
    EXPECT_EQ(w.Song(), song);
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
    const QStringList shown = w.Words().split('\n');
    ASSERT_GT(shown.size(), 3);
    EXPECT_FALSE(shown[0].contains(':')) << "a title line, without a time";
    const test::SungText sung = test::ReadSungWords(w.form->Song(), 0, kMetaText);
    w.Convert([](QWidget* d) {
        Find(d, "KeepKar")->setProperty("checked", false);
        Click(d, "Command1");
    });
    EXPECT_EQ(w.State(), kConverted);
    // Ctrl+S itself is pressed in the journey on a real X server.
    w.prompts->files.push_back(Path(dir / "lyrics.mid"));
    Click(w.form.get(), "WriteFile");
    EXPECT_EQ(w.prompts->proposed.value(0), Path(dir / "song.lyrics.mid"));
    MidiFile back = test::ReadSong(dir / "lyrics.mid");
    for (const std::string& text : test::MetaTexts(back, 0, kMetaText)) {
        EXPECT_EQ(text[0], '@') << "only the tags stay text: " << text;
    }
    // The words players show are those of the karaoke text read.
    EXPECT_EQ(test::ReadSungWords(back, 0, kMetaLyric), sung);

    w.Write(dir / "no-such-folder" / "out.mid");
    w.Write(input);
    ASSERT_EQ(w.prompts->messages.size(), 2);
    EXPECT_EQ(w.prompts->messages[0],
              "Could not write out.mid: No such file or directory. Choose another folder or name.");
    EXPECT_TRUE(w.prompts->messages[1].contains("never written over"));
    EXPECT_EQ(test::ReadAll(input), test::ReadAll(original));
    EXPECT_EQ(w.State(), kConverted);

    // Plain sentences, tracks from 0, and a song read in part kept when the
    // user says so: how the status line starts, and something it holds.
    const std::tuple<fs::path, bool, Buttons, QString, QString> rows[] = {
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
    for (const auto& [file, go_on, buttons, starts, holds] : rows) {
        w.prompts->go_on = go_on;
        w.Read(file);
        EXPECT_EQ(w.State(), buttons) << file;
        EXPECT_TRUE(w.Text().startsWith(starts) && w.Text().contains(holds) &&
                    !w.Text().contains("Error"))
            << w.Text().toStdString();
    }
    EXPECT_EQ(DescribeRead(verselane::ReadOutcome{ReadResult::Failed,
                                                  {"Error processing file. Error: Overflow"}},
                           MidiFile{})
                  .Problem,
              "The file is damaged (Overflow). Try another copy of the song.");
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
        QWidget* progress = Find(w.form.get(), "Progress");
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            any_enabled |= w.State() != Buttons{};
            progress_shown |= !progress->isHidden();
            if (++ticks == 5 && cancel) Click(w.form.get(), "CancelRead");
        });
        timer.start(0);
        w.Read(Corpus("plain/big_beatles.mid"));
        timer.stop();
        EXPECT_GT(ticks, 4);
        EXPECT_FALSE(any_enabled);
        EXPECT_TRUE(progress_shown && progress->isHidden());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(w.State(), cancel ? kStart : kConvertible);
        EXPECT_EQ(w.Text().contains("cancelled"), cancel) << w.Text().toStdString();
    }
}

// Many songs at once, from dropped files or a folder: options chosen once,
// a row per song ("name: outcome"), files that exist kept, Stop after the
// current song.
TEST(UserJourney, SongsConvertedInOneGo) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    for (const char* name : {"lyrics/twinkle_mma.mid", "kar/twinkle_dmp.kar", "odd/not_midi.mid"}) {
        fs::copy_file(Corpus(name), dir / fs::path(name).filename().string());
    }
    Window w;
    QWidget* form = w.form.get();
    QStringList rows;
    auto run = [&](Dialog options, std::function<void()> open, bool stop = false) {
        rows.clear();
        WhenShown(form, "ConvertSongsDialog", [&](QWidget* d) {
            options(d);
            Click(d, "Start");
            if (stop) QTest::keyClick(d, Qt::Key_Escape);
            while (static_cast<ConvertSongsDialog*>(d)->Running()) QTest::qWait(10);
            auto* table = Find<QTableWidget>(d, "Results");
            for (int r = 0; r < table->rowCount(); ++r) {
                rows.push_back(table->item(r, 0)->text() + ": " + table->item(r, 1)->text());
            }
            rows.push_back(Label(d, "Summary"));
            QTest::keyClick(d, Qt::Key_Escape);
        });
        open();
        return rows;
    };
    const auto drop = [&] {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(Path(dir / "twinkle_mma.mid")),
                      QUrl::fromLocalFile(Path(dir / "not_midi.mid"))});
        QDragEnterEvent enter(QPoint(9, 9), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(form, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent dropped(QPointF(9, 9), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(form, &dropped);
    };
    EXPECT_EQ(
        run([](QWidget*) {}, drop),
        (QStringList{"twinkle_mma.mid: written", "not_midi.mid: failed", "1 written, 1 failed."}));
    EXPECT_TRUE(fs::exists(dir / "twinkle_mma.kar"));

    // The folder, the other way: both karaoke files convert, but no two
    // songs write one file; Stop (Esc while running) ends after the first song.
    w.prompts->files.push_back(Path(dir.path()));
    const auto to_lyrics = [](QWidget* d) { Find(d, "ToLyrics")->setProperty("checked", true); };
    EXPECT_EQ(run(to_lyrics, [&] { form->findChild<QAction*>("ConvertFolderAction")->trigger(); })
                  .mid(0, 4),
              (QStringList{"not_midi.mid: failed", "twinkle_dmp.kar: written",
                           "twinkle_mma.kar: written", "twinkle_mma.mid: failed"}));
    EXPECT_EQ(run([](QWidget*) {}, [&] { w.form->ConvertSongs({Path(dir.path())}); }, true).size(),
              2);
    EXPECT_EQ(rows.last(), "0 written, 1 failed, 5 not converted (stopped).");
}

// A karaoke song with or without its "@K" line: the verdict and findings
// after a read, and a repair that changes the song but not the words shown.
TEST(CheckPanel, VerdictAfterReadAndRepair) {
    using namespace test;
    TempDir dir;
    WriteAll(
        dir / "bare.kar",
        EncodeMidiFile(SongOf({{Name("Song"), NoteOn(0, 60), NoteOn(2000, 60), EndOfTrack(2000)},
                               {Name("Soft Karaoke"), EndOfTrack(0)},
                               {Name("Words"), Text(0, "@LENGL"), Text(480, "\\Twin"),
                                Text(720, "kle "), Text(960, "/star"), EndOfTrack(2000)}})));
    Window w;
    auto* findings = Find<QListWidget>(w.form.get(), "CheckFindings");
    auto* repair = Find(w.form.get(), "CheckRepair");
    EXPECT_EQ(w.Text("CheckVerdict"), "");
    const QString shows = "Will show in karaoke players; keyboards show no words";
    const QString no_k = "No \"@K\" line marks the song as Soft Karaoke.";
    w.form->Open(Path(dir / "bare.kar"));
    EXPECT_EQ(w.Text("CheckVerdict"), "1 problem: " + no_k);
    ASSERT_EQ(findings->count(), 2);
    EXPECT_EQ(findings->item(0)->text(), "will not show (karaoke players): " + no_k);
    EXPECT_EQ(w.State(), kConvertible);
    EXPECT_TRUE(repair->isEnabled());
    const QString words = w.Words();
    Click(w.form.get(), "CheckRepair");
    EXPECT_EQ(w.Text("CheckVerdict"), shows);
    EXPECT_FALSE(repair->isEnabled());  // the one finding left, advice, has no repair
    EXPECT_EQ(w.Words(), words);
    EXPECT_TRUE(std::get<2>(w.State())) << "the repaired song can be saved";
    // A header track went in at track 1; the former one, without a "@K", follows.
    EXPECT_EQ(w.form->Song().Header.NumTracks, 4);
    EXPECT_EQ(w.form->Song().Track(1).Event(1).Data.view(), "@KMIDI KARAOKE FILE");
    EXPECT_EQ(w.form->Song().Track(2).Event(0).Data.view(), "Soft Karaoke");
}

TEST(CheckPanel, VerdictOnEveryCorpusFile) {
    VERSELANE_REQUIRE_CORPUS();
    Window w;
    for (const auto& path : test::CorpusFiles()) {
        w.form->Open(Path(path));
        EXPECT_TRUE(RealTrackCount(w.form->Song()) == 0 || w.Text("CheckVerdict") != "") << path;
    }
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
