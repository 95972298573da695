// The desktop program's real windows under Qt's offscreen platform: what
// they show, how the keyboard moves through them, and whole user journeys
// on songs of the corpus, with the file dialogs answered by a script.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <functional>

#include "lyrics/track_choice.h"
#include "tests/support/sung_words.h"
#include "tests/support/test_support.h"
#include "ui/main_window.h"
#include "writer/midi_writer.h"

namespace verselane::ui {
namespace {

namespace fs = std::filesystem;

// Answers the file dialogs from queues and records what was asked.
class ScriptedPrompts : public Prompts {
  public:
    std::optional<QString> OpenFileName(QWidget*) override {
        ++open_asked;
        return Next(opens);
    }
    std::optional<QString> SaveFileName(QWidget*, const QString& proposed_name) override {
        proposed.push_back(proposed_name);
        return Next(saves);
    }
    void ShowMessage(QWidget*, const QString& text) override { messages.push_back(text); }
    bool Ask(QWidget*, const QString& text) override {
        questions.push_back(text);
        return yes;
    }
    bool yes = false;  // the answer to every question
    std::vector<QString> questions;

    // An empty name stands for a cancelled dialog, as does an empty queue.
    std::deque<QString> opens, saves;
    std::vector<QString> proposed, messages;
    int open_asked = 0;

  private:
    static std::optional<QString> Next(std::deque<QString>& queue) {
        QString next;
        if (!queue.empty()) {
            next = queue.front();
            queue.pop_front();
        }
        if (next.isEmpty()) return std::nullopt;
        return next;
    }
};

QString Path(const fs::path& path) {
    return QString::fromStdString(path.string());
}

fs::path Corpus(const char* name) {
    return *test::CorpusDir() / name;
}

// Runs `action` from inside the modal loop of `dialog` once it is on
// screen. Should it never show, the test fails instead of hanging.
void WhenShown(QWidget* dialog, std::function<void()> action) {
    auto* timer = new QTimer;
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        if (dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action();
        } else if (++*waited > 1000) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << qPrintable(dialog->objectName()) << " was never shown";
        }
    });
    timer->start(5);
}

// The widgets that Tab visits, from `first` on, until it comes back.
std::vector<QWidget*> TabStops(QWidget* window, QWidget* first) {
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    first->setFocus(Qt::TabFocusReason);
    std::vector<QWidget*> stops{QApplication::focusWidget()};
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (QApplication::focusWidget() == stops.front()) break;
        stops.push_back(QApplication::focusWidget());
    }
    return stops;
}

std::vector<QString> Names(const std::vector<QWidget*>& widgets) {
    std::vector<QString> names;
    for (QWidget* w : widgets) names.push_back(w ? w->objectName() : QStringLiteral("(none)"));
    return names;
}

struct Window {
    Window() {
        auto owned = std::make_unique<ScriptedPrompts>();
        prompts = owned.get();
        form = std::make_unique<MainWindow>(std::move(owned));
    }
    // Read File with the open dialog answered by `path`.
    void Read(const fs::path& path) {
        prompts->opens.push_back(Path(path));
        form->Command1->click();
    }
    // Write File with the save dialog answered by `path`.
    void Write(const fs::path& path) {
        prompts->saves.push_back(Path(path));
        form->WriteFile->click();
    }
    // Convert Lyrics, answered with "Convert Karaoke Text -> Lyrics" on the
    // preselected track.
    void ConvertKaraokeToLyrics() {
        WhenShown(&form->Conversion(), [this] { form->Conversion().Command1->click(); });
        form->L2K->click();
    }
    std::tuple<bool, bool, bool> Buttons() const {
        return {form->Command1->isEnabled(), form->L2K->isEnabled(), form->WriteFile->isEnabled()};
    }
    ScriptedPrompts* prompts;
    std::unique_ptr<MainWindow> form;
};

const std::tuple<bool, bool, bool> kStart{true, false, false};
const std::tuple<bool, bool, bool> kConvertible{true, true, false};
const std::tuple<bool, bool, bool> kConverted{true, false, true};

std::vector<std::string> TextsOf(const MidiFile& song, int t, uint8_t type) {
    std::vector<std::string> texts;
    for (const MidiEvent& e : test::EventsOf(song, t)) {
        if (e.Kind == kKindMeta && e.Channel == type) texts.emplace_back(std::string(e.Data));
    }
    return texts;
}

TEST(MainWindow, TitleButtonsStartStateAndTabOrder) {
    EXPECT_EQ(VersionedTitle("Midi Verselane", 1, 0, 0), "Midi Verselane v.1.0.0");
    EXPECT_EQ(VersionedTitle("Midi Verselane", 2, 10, 3), "Midi Verselane v.2.10.3");

    Window w;
    EXPECT_EQ(w.form->windowTitle(), "Midi Verselane v." VERSELANE_VERSION);
    EXPECT_EQ(w.form->Command1->text(), "Read File");
    EXPECT_EQ(w.form->L2K->text(), "Convert Lyrics");
    EXPECT_EQ(w.form->WriteFile->text(), "Write File");
    EXPECT_EQ(w.Buttons(), kStart);
    EXPECT_TRUE(w.form->Words->isReadOnly());

    // Tab visits Read File, Write File, Convert Lyrics (once they can be used).
    w.form->L2K->setEnabled(true);
    w.form->WriteFile->setEnabled(true);
    EXPECT_EQ(Names(TabStops(w.form.get(), w.form->Command1)),
              (std::vector<QString>{"Command1", "WriteFile", "L2K", "Encoding", "Words"}));
    EXPECT_LT(w.form->Command1->x(), w.form->L2K->x());
    EXPECT_LT(w.form->L2K->x(), w.form->WriteFile->x());
}

TEST(ConversionDialogWindow, CaptionsStatesHiddenControlsAndTabOrder) {
    MainWindow form(std::make_unique<ScriptedPrompts>());
    ConvertLyricsDialog& d = form.Conversion();
    EXPECT_EQ(d.windowTitle(), "Convert Lyrics");
    EXPECT_EQ(d.Label1->text(), "Copy lyrics from:");
    EXPECT_EQ(d.Command1->text(), "Convert &Karaoke Text -> Lyrics");
    EXPECT_EQ(d.Command2->text(), "Convert &Lyrics -> Text");
    EXPECT_EQ(d.Cancel->text(), "C&ancel");
    EXPECT_EQ(d.KeepKar->text(), "Keep Karaoke Lyrics");
    EXPECT_TRUE(d.KeepKar->isChecked());
    EXPECT_TRUE(d.Command1->isEnabled() && d.Command2->isEnabled() && d.Cancel->isEnabled());
    for (QPushButton* b : {d.Command1, d.Command2, d.Cancel}) {
        EXPECT_FALSE(b->isDefault() || b->autoDefault()) << qPrintable(b->objectName());
    }
    // The insertion choice exists for the driver but is never on screen.
    EXPECT_EQ(d.Label2[0]->text(), "Insert Lyrics Track After:");
    EXPECT_EQ(d.Label2[1]->text(), "If Converting Karaoke Text Events to Lyric Events");
    d.AddTrack2("x");
    EXPECT_EQ(d.Tracks2Count(), 1);

    d.AddTrack("Piano");
    d.AddTrack("Lyrics");
    const std::vector<QWidget*> stops = TabStops(&d, d.Tracks);
    EXPECT_EQ(Names(stops),
              (std::vector<QString>{"Tracks", "Command1", "Command2", "Cancel", "KeepKar"}));
    for (QWidget* hidden :
         std::initializer_list<QWidget*>{d.Frame1, d.Tracks2, d.Label2[0], d.Label2[1]}) {
        EXPECT_FALSE(hidden->isVisible()) << qPrintable(hidden->objectName());
    }
    EXPECT_EQ(d.minimumSize(), d.maximumSize()) << "not resizable";
    d.hide();
}

TEST(ConversionDialogWindow, AccessKeysEscapeEnterAndCloseBox) {
    MainWindow form(std::make_unique<ScriptedPrompts>());
    ConvertLyricsDialog& d = form.Conversion();
    d.AddTrack("a");
    d.AddTrack("b");
    d.AddTrack2("c");
    struct Row {
        const char* what;
        std::function<void()> press;
        int16_t choice;
    };
    const std::vector<Row> rows = {
        {"Alt+K", [&] { QTest::keyClick(&d, Qt::Key_K, Qt::AltModifier); }, kChoiceKaraokeToLyrics},
        {"Alt+L", [&] { QTest::keyClick(&d, Qt::Key_L, Qt::AltModifier); }, kChoiceLyricsToText},
        {"Alt+A", [&] { QTest::keyClick(&d, Qt::Key_A, Qt::AltModifier); }, kChoiceCancel},
        {"Esc", [&] { QTest::keyClick(d.Tracks, Qt::Key_Escape); }, kChoiceCancel},
        {"close box", [&] { d.close(); }, kChoiceCancel},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        d.Choice = kChoiceNone;
        d.SelectTrack(1);
        WhenShown(&d, [&] {
            QApplication::setActiveWindow(&d);
            EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
            // Enter first: no default button, so nothing happens.
            QTest::keyClick(d.Tracks, Qt::Key_Return);
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(d.Choice, kChoiceNone);
            row.press();
        });
        d.ShowModal();
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.Choice, row.choice);
        if (row.choice != kChoiceCancel) {
            EXPECT_EQ(d.FromIndex, 1);
            EXPECT_EQ(d.AfterIndex, 0);
        }
    }
}

TEST(InformationDialogWindow, TextsToolTipsHiddenFieldAndTabOrder) {
    MainWindow form(std::make_unique<ScriptedPrompts>());
    KaraokeInformationDialog& d = form.Information();
    EXPECT_EQ(d.windowTitle(), "Karaoke Information");
    struct Box {
        QLineEdit* box;
        QLabel* label;
        const char* caption;
        const char* text;
        const char* tip;
    };
    for (const Box& b :
         {Box{d.Lang, d.Label1, "Language", "ENGL", "Enter the lyric language here, usually ENGL."},
          Box{d.SongT, d.Label2, "Song Title", "YOUR SONG", "Enter the song name here."},
          Box{d.SongA, d.Label3, "Song Artist", "ARTIST",
              "Enter the name of the artist that wrote or performed the song."}}) {
        EXPECT_EQ(b.label->text(), b.caption);
        EXPECT_EQ(b.box->text(), b.text);
        EXPECT_EQ(b.box->toolTip(), b.tip);
    }
    EXPECT_EQ(d.Label4->text(), "Aditional Text");
    EXPECT_EQ(d.AddTxt->toolTip(), "Type any aditional file information here.");
    EXPECT_EQ(d.AddTxt->toPlainText(), "");
    EXPECT_EQ(d.Done->text(), "&Done");
    EXPECT_TRUE(d.Done->isDefault());

    EXPECT_EQ(Names(TabStops(&d, d.Lang)),
              (std::vector<QString>{"Lang", "SongT", "SongA", "Done"}));
    EXPECT_FALSE(d.Label4->isVisible());
    EXPECT_FALSE(d.AddTxt->isVisible());
    EXPECT_GT(d.Done->x(), d.Lang->x() + d.Lang->width()) << "Done sits at the upper right";
    EXPECT_EQ(d.minimumSize(), d.maximumSize()) << "not resizable";
    d.hide();
}

TEST(InformationDialogWindow, EnterIsDoneEscIsNothingCloseBoxRestoresDefaults) {
    MainWindow form(std::make_unique<ScriptedPrompts>());
    KaraokeInformationDialog& d = form.Information();
    for (QLineEdit* box : {d.Lang, d.SongT, d.SongA}) {
        SCOPED_TRACE(box->objectName().toStdString());
        WhenShown(&d, [&] {
            QApplication::setActiveWindow(&d);
            EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
            box->setFocus();
            box->end(false);
            QTest::keyClicks(box, "X");
            QTest::keyClick(box, Qt::Key_Escape);
            EXPECT_TRUE(d.isVisible()) << "Esc does not close it";
            QTest::keyClick(box, Qt::Key_Return);
        });
        d.ShowModal();
        EXPECT_FALSE(d.isVisible());
    }
    // What was typed stays for the next showing...
    EXPECT_EQ(d.Language(), "ENGLX");
    EXPECT_EQ(d.Title(), "YOUR SONGX");
    EXPECT_EQ(d.Artist(), "ARTISTX");

    // ...and Alt+D is Done as well.
    WhenShown(&d, [&] {
        QApplication::setActiveWindow(&d);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
        EXPECT_EQ(d.SongT->text(), "YOUR SONGX");
        QTest::keyClick(&d, Qt::Key_D, Qt::AltModifier);
    });
    d.ShowModal();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.Title(), "YOUR SONGX");

    // Closing it from the title bar brings the defaults back.
    WhenShown(&d, [&] { d.close(); });
    d.ShowModal();
    EXPECT_EQ(d.Language(), "ENGL");
    EXPECT_EQ(d.Title(), "YOUR SONG");
    EXPECT_EQ(d.Artist(), "ARTIST");
}

// Read a song with lyrics in track 0, turn them into karaoke text with typed
// information, write it, read the file back.
TEST(UserJourney, LyricsIntoKaraokeTextWrittenAndReadBack) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    Window w;
    w.Read(Corpus("lyrics/twinkle_mma.mid"));
    EXPECT_EQ(w.Buttons(), kConvertible);
    EXPECT_EQ(w.form->Status->text(),
              "Read twinkle_mma.mid: 4 tracks, 80 lyric events, 2 karaoke text events.");
    EXPECT_TRUE(w.form->Words->toPlainText().contains("Twin"))
        << w.form->Words->toPlainText().toStdString();

    // Typed text is stored in the encoding the words are shown in.
    w.form->Encoding->setCurrentIndex(w.form->Encoding->findData("WINDOWS-1252"));

    ConvertLyricsDialog& lyr = w.form->Conversion();
    KaraokeInformationDialog& kar = w.form->Information();
    bool wait_cursor_in_lyr = true, wait_cursor_in_kar = false;
    WhenShown(&lyr, [&] {
        EXPECT_EQ(lyr.Tracks->count(), 4);
        EXPECT_EQ(lyr.Tracks->itemText(0), "twinkle");
        EXPECT_EQ(lyr.Tracks->currentIndex(), 0) << "the track with the lyrics";
        EXPECT_TRUE(lyr.Command2->isEnabled());
        wait_cursor_in_lyr = QApplication::overrideCursor() != nullptr;
        lyr.Command2->click();
    });
    WhenShown(&kar, [&] {
        wait_cursor_in_kar = QApplication::overrideCursor() &&
                             QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        // The song's own information is proposed: track 0's name as the title.
        EXPECT_EQ(kar.Lang->text(), "ENGL");
        EXPECT_EQ(kar.SongT->text(), "twinkle");
        EXPECT_EQ(kar.SongA->text(), "ARTIST") << "the song names no artist";
        kar.SongT->setText("Twinkle Twinkle");
        kar.SongA->setText(QString::fromUtf8("Mozart \u00e9"));
        QTest::keyClick(kar.SongA, Qt::Key_Return);
    });
    w.form->L2K->click();
    EXPECT_FALSE(wait_cursor_in_lyr);
    EXPECT_TRUE(wait_cursor_in_kar);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(w.Buttons(), kConverted);
    EXPECT_TRUE(w.form->WordsLabel->text().contains("karaoke text"));
    EXPECT_TRUE(w.form->Words->toPlainText().contains("Twin"));

    const fs::path out = dir / "out.kar";
    w.Write(out);
    ASSERT_EQ(w.prompts->proposed.size(), 1u);
    EXPECT_EQ(w.prompts->proposed[0], Path(Corpus("lyrics/twinkle_mma.kar")));
    EXPECT_EQ(w.form->Status->text(), "Wrote out.kar.");
    EXPECT_TRUE(w.prompts->messages.empty());
    EXPECT_EQ(w.Buttons(), kConverted) << "a converted song can be written again";

    std::string message;
    MidiFile back = test::ReadSong(out, &message);
    EXPECT_EQ(message, "");
    ASSERT_EQ(back.Header.NumTracks, 6);
    EXPECT_EQ(back.TrackName[1], "Soft Karaoke");
    EXPECT_EQ(back.TrackName[2], "Words");
    const std::vector<std::string> words = TextsOf(back, 2, kMetaText);
    ASSERT_GT(words.size(), 4u);
    EXPECT_EQ(words[0], "@LENGL");
    EXPECT_EQ(words[1], "@TTwinkle Twinkle");
    EXPECT_EQ(words[2], "@TMozart \xE9") << "WINDOWS-1252, as chosen";
    EXPECT_EQ(words[3], "@TConverted by Verselane " VERSELANE_VERSION);
    EXPECT_EQ(TextsOf(back, 0, kMetaLyric).size(), 80u) << "the lyrics stay in track 0";
    EXPECT_EQ(test::ReadSungWords(back, 2, kMetaText), test::ReadSungWords(back, 0, kMetaLyric));
    EXPECT_NE(back.KaraokeText.find("@KMIDI KARAOKE FILE"), std::string::npos);
}

// Read a karaoke file whose words are in track 0, turn them into lyrics in
// place, write and read back.
TEST(UserJourney, KaraokeTextIntoLyricsWrittenAndReadBack) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    Window w;
    w.Read(Corpus("kar/twinkle_dmp.kar"));
    ASSERT_EQ(w.Buttons(), kConvertible);
    const test::SungText sung = test::ReadSungWords(w.form->Song(), 0, kMetaText);
    ASSERT_EQ(TextsOf(w.form->Song(), 0, kMetaText).size(), 90u);

    ConvertLyricsDialog& lyr = w.form->Conversion();
    WhenShown(&lyr, [&] {
        EXPECT_EQ(lyr.Tracks->currentIndex(), 0);
        EXPECT_TRUE(lyr.Command1->isEnabled());
        EXPECT_FALSE(lyr.Command2->isEnabled());
        lyr.KeepKar->setChecked(false);
        lyr.Command1->click();
    });
    w.form->L2K->click();
    EXPECT_EQ(w.Buttons(), kConverted);
    EXPECT_EQ(w.form->Information().isVisible(), false);
    EXPECT_TRUE(w.form->WordsLabel->text().contains("lyric events"));

    const fs::path out = dir / "twinkle.lyrics.mid";
    w.Write(out);
    EXPECT_EQ(w.prompts->proposed.at(0), Path(Corpus("kar/twinkle_dmp.lyrics.mid")));
    MidiFile back = test::ReadSong(out);
    EXPECT_EQ(back.Header.NumTracks, 6);
    for (const std::string& text : TextsOf(back, 0, kMetaText)) {
        EXPECT_EQ(text[0], '@') << "only the tags stay text: " << text;
    }
    // The words players show are those of the karaoke text read.
    EXPECT_EQ(test::ReadSungWords(back, 0, kMetaLyric), sung);
    EXPECT_FALSE(back.LyricText.empty());
}

TEST(UserJourney, FormatZeroLyricsBecomeAKaraokeFile) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    Window w;
    w.Read(Corpus("lyrics/angel_fmt0.mid"));
    ASSERT_EQ(w.Buttons(), kConvertible);
    ConvertLyricsDialog& lyr = w.form->Conversion();
    WhenShown(&lyr, [&] {
        EXPECT_EQ(lyr.Tracks->count(), 1) << "one real track, no spare entries";
        EXPECT_EQ(lyr.Tracks->currentIndex(), 0);
        lyr.Command2->click();
    });
    // A title that Windows-1252 cannot hold is written as UTF-8, and said so.
    w.form->Encoding->setCurrentIndex(w.form->Encoding->findText("WINDOWS-1252"));
    WhenShown(&w.form->Information(), [&] {
        EXPECT_EQ(w.form->Information().SongT->text(), "angel_-_shaggy");
        w.form->Information().SongT->setText(QString::fromUtf8("\u5929\u4f7f"));
        w.form->Information().Done->click();
    });
    w.form->L2K->click();
    ASSERT_EQ(w.Buttons(), kConverted);
    EXPECT_TRUE(w.form->Status->text().endsWith("(WINDOWS-1252): it is written as UTF-8."))
        << w.form->Status->text().toStdString();
    w.Write(dir / "angel.kar");
    MidiFile back = test::ReadSong(dir / "angel.kar");
    ASSERT_EQ(back.Header.NumTracks, 3);
    EXPECT_EQ(back.Header.Format, 1) << "three tracks cannot stay format 0";
    const size_t lyrics = TextsOf(back, 0, kMetaLyric).size();
    EXPECT_EQ(lyrics, 622u);
    const std::vector<std::string> words = TextsOf(back, 2, kMetaText);
    EXPECT_EQ(words.at(0), "@LENGL");
    EXPECT_EQ(words.at(1), "@T\xE5\xA4\xA9\xE4\xBD\xBF");
    EXPECT_EQ(words.at(2), "@TARTIST") << "the song names no artist: the box keeps its text";
    EXPECT_EQ(test::ReadSungWords(back, 2, kMetaText), test::ReadSungWords(back, 0, kMetaLyric));
}

TEST(UserJourney, FailedReadsAndSongsWithoutWords) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    Window w;
    // A converted song first, so Write File is enabled before the reads.
    w.Read(Corpus("kar/twinkle_dmp.kar"));
    w.ConvertKaraokeToLyrics();
    ASSERT_EQ(w.Buttons(), kConverted);

    w.Read(Corpus("odd/not_midi.mid"));
    EXPECT_EQ(w.Buttons(), kStart);
    EXPECT_EQ(w.form->Status->text(),
              "Could not read not_midi.mid: Failed to find MThd header for file.");
    EXPECT_EQ(w.form->Words->toPlainText(), "");

    w.Read(dir / "missing.mid");
    EXPECT_EQ(w.Buttons(), kStart);
    EXPECT_TRUE(w.form->Status->text().startsWith(
        "Could not read missing.mid: Error processing file. Error: "))
        << w.form->Status->text().toStdString();

    w.Read(Corpus("odd/smpte_offset.mid"));
    EXPECT_EQ(w.Buttons(), kStart);
    EXPECT_TRUE(w.form->Status->text().endsWith(
        "0 lyric events, 0 karaoke text events. Nothing to convert."))
        << w.form->Status->text().toStdString();

    // A folder, and a download cut off inside a track: said, and nothing to convert.
    w.Read(dir.path());
    EXPECT_EQ(w.Buttons(), kStart);
    EXPECT_TRUE(w.form->Status->text().contains("Is a directory"))
        << w.form->Status->text().toStdString();
    w.Read(Corpus("odd/trunc_lyrics.mid"));
    EXPECT_EQ(w.Buttons(), kStart);
    EXPECT_TRUE(w.form->Status->text().endsWith("File is cut short inside track 10."))
        << w.form->Status->text().toStdString();
    // The user was asked whether to use what could be read, and said no;
    // saying yes makes the words convertible.
    ASSERT_EQ(w.prompts->questions.size(), 1u);
    EXPECT_TRUE(w.prompts->questions[0].contains("File is cut short inside track 10."));
    w.prompts->yes = true;
    w.Read(Corpus("odd/trunc_lyrics.mid"));
    EXPECT_EQ(w.Buttons(), kConvertible);
    EXPECT_TRUE(w.form->Status->text().startsWith("Read trunc_lyrics.mid: 10 tracks"))
        << w.form->Status->text().toStdString();
    w.prompts->yes = false;

    // A RIFF-wrapped song reads as the song inside it.
    w.Read(Corpus("odd/rmid_info.mid"));
    EXPECT_TRUE(w.form->Status->text().contains("14 tracks"))
        << w.form->Status->text().toStdString();

    // A good read after all that enables Convert Lyrics again, Write File not.
    w.Read(Corpus("lyrics/twinkle_mma.mid"));
    EXPECT_EQ(w.Buttons(), kConvertible);
}

TEST(UserJourney, CancelledDialogsChangeNothing) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    Window w;
    // Cancelled before anything was read.
    w.form->Command1->click();
    EXPECT_EQ(w.prompts->open_asked, 1);
    EXPECT_EQ(w.Buttons(), kStart);
    EXPECT_EQ(w.form->Song().TrackSlots, 0);

    w.Read(Corpus("lyrics/twinkle_mma.mid"));
    const std::string song = EncodeMidiFile(w.form->Song());
    const QString status = w.form->Status->text();

    // Cancel in the conversion dialog.
    WhenShown(&w.form->Conversion(),
              [&] { QTest::keyClick(w.form->Conversion().Tracks, Qt::Key_Escape); });
    w.form->L2K->click();
    EXPECT_EQ(w.Buttons(), kConvertible);
    EXPECT_EQ(EncodeMidiFile(w.form->Song()), song);

    // Convert, then cancel both file dialogs.
    WhenShown(&w.form->Conversion(), [&] { w.form->Conversion().Command2->click(); });
    WhenShown(&w.form->Information(), [&] { w.form->Information().Done->click(); });
    w.form->L2K->click();
    ASSERT_EQ(w.Buttons(), kConverted);
    const std::string converted = EncodeMidiFile(w.form->Song());
    const QString converted_status = w.form->Status->text();
    w.form->Command1->click();   // open dialog cancelled
    w.form->WriteFile->click();  // save dialog cancelled
    EXPECT_EQ(w.Buttons(), kConverted);
    EXPECT_EQ(EncodeMidiFile(w.form->Song()), converted);
    EXPECT_EQ(w.form->Status->text(), converted_status);
    EXPECT_TRUE(fs::is_empty(dir.path()));
    EXPECT_TRUE(w.prompts->messages.empty());
}

TEST(UserJourney, FailedWriteIsShownInAMessageBox) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    Window w;
    w.Read(Corpus("kar/twinkle_dmp.kar"));
    w.ConvertKaraokeToLyrics();
    w.Write(dir / "no-such-folder" / "out.mid");
    ASSERT_EQ(w.prompts->messages.size(), 1u);
    EXPECT_TRUE(w.prompts->messages[0].contains("Error processing file. Error: "))
        << w.prompts->messages[0].toStdString();
    EXPECT_TRUE(
        w.form->Status->text().startsWith("Could not write out.mid: Error processing file."));
    EXPECT_EQ(w.Buttons(), kConverted);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// The dialogs keep their values between conversions of one run: the check
// box after a conversion, its default after Cancel; the typed information.
TEST(UserJourney, DialogValuesPersistWithinTheRun) {
    VERSELANE_REQUIRE_CORPUS();
    Window w;
    ConvertLyricsDialog& lyr = w.form->Conversion();
    KaraokeInformationDialog& kar = w.form->Information();

    w.Read(Corpus("lyrics/konigin.mid"));
    WhenShown(&lyr, [&] {
        EXPECT_EQ(lyr.Tracks->currentText(), "voice") << "the last name with \"oi\"";
        lyr.KeepKar->setChecked(false);
        lyr.Command2->click();
    });
    WhenShown(&kar, [&] {
        kar.SongT->setText("Der Hölle Rache");
        kar.Done->click();
    });
    w.form->L2K->click();

    w.Read(Corpus("lyrics/konigin.mid"));
    bool keep_after_conversion = true, keep_after_cancel = false;
    WhenShown(&lyr, [&] {
        keep_after_conversion = lyr.KeepKar->isChecked();
        lyr.Cancel->click();
    });
    w.form->L2K->click();
    QString title_shown;
    WhenShown(&lyr, [&] {
        keep_after_cancel = lyr.KeepKar->isChecked();
        lyr.Command2->click();
    });
    WhenShown(&kar, [&] {
        title_shown = kar.SongT->text();
        kar.Done->click();
    });
    w.form->L2K->click();
    EXPECT_FALSE(keep_after_conversion);
    EXPECT_TRUE(keep_after_cancel);
    EXPECT_EQ(title_shown, "Der Hölle Rache");
}

TEST(UserJourney, ReadLetsEventsRunWithEveryCommandDisabled) {
    VERSELANE_REQUIRE_CORPUS();
    Window w;
    w.Read(Corpus("kar/twinkle_dmp.kar"));
    w.ConvertKaraokeToLyrics();
    ASSERT_EQ(w.Buttons(), kConverted);

    // A timer that fires whenever the reader lets events run.
    int ticks = 0;
    bool any_enabled = false, waiting = true;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        const auto [read, convert, write] = w.Buttons();
        any_enabled |= read || convert || write;
        waiting &= QApplication::overrideCursor() &&
                   QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    });
    timer.start(0);
    w.Read(Corpus("plain/big_beatles.mid"));
    timer.stop();
    EXPECT_GT(ticks, 10) << "66711 events: more than a hundred chances to run";
    EXPECT_FALSE(any_enabled);
    EXPECT_TRUE(waiting) << "the wait cursor shows for the whole read";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(w.Buttons(), kConvertible);
}

TEST(UserJourney, DroppedFileIsRead) {
    VERSELANE_REQUIRE_CORPUS();
    Window w;
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(Path(Corpus("lyrics/twinkle_mma.mid")))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.form.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.form.get(), &drop);
    EXPECT_EQ(w.Buttons(), kConvertible);
    EXPECT_EQ(w.prompts->open_asked, 0);
    EXPECT_TRUE(w.form->Status->text().startsWith("Read twinkle_mma.mid"));

    QMimeData two;
    two.setUrls({QUrl::fromLocalFile("/a.mid"), QUrl::fromLocalFile("/b.mid")});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &two, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QApplication::sendEvent(w.form.get(), &refused);
    EXPECT_FALSE(refused.isAccepted());
}

TEST(UserJourney, EncodingChoiceChangesTheWordsShownNotTheSong) {
    VERSELANE_REQUIRE_CORPUS();
    Window w;
    w.Read(Corpus("lyrics/konigin.mid"));
    const std::string song = EncodeMidiFile(w.form->Song());
    const QString automatic = w.form->Words->toPlainText();
    ASSERT_FALSE(automatic.isEmpty());

    // The song's texts are UTF-8; read as WINDOWS-1252 the same bytes show
    // other characters.
    EXPECT_EQ(w.form->Encoding->itemText(0), "Automatic: Unicode (UTF-8)");
    EXPECT_TRUE(automatic.contains(QString::fromUtf8("Der H\u00f6lle Rache")));
    const int other = w.form->Encoding->findData("WINDOWS-1252");
    ASSERT_GT(other, 0);
    w.form->Encoding->setCurrentIndex(other);
    EXPECT_TRUE(
        w.form->Words->toPlainText().contains(QString::fromUtf8("Der H\u00c3\u00b6lle Rache")));
    EXPECT_NE(w.form->Words->toPlainText(), automatic);
    EXPECT_EQ(EncodeMidiFile(w.form->Song()), song);

    // The next read starts again from the detected encoding.
    w.Read(Corpus("lyrics/konigin.mid"));
    EXPECT_EQ(w.form->Encoding->currentIndex(), 0);
    EXPECT_EQ(w.form->Words->toPlainText(), automatic);
}

TEST(SaveName, ProposedFromTheInputAndTheDirection) {
    EXPECT_EQ(ProposedSaveName("/m/song.mid", kChoiceLyricsToText), "/m/song.kar");
    EXPECT_EQ(ProposedSaveName("/m/song.mid", kChoiceKaraokeToLyrics), "/m/song.lyrics.mid");
    EXPECT_EQ(ProposedSaveName("/m/a.b.kar", kChoiceKaraokeToLyrics), "/m/a.b.lyrics.mid");
    EXPECT_EQ(ProposedSaveName("/m/noext", kChoiceLyricsToText), "/m/noext.kar");
    EXPECT_EQ(ProposedSaveName("/m/song.mid", kChoiceNone), "/m/song.mid");
    EXPECT_EQ(ProposedSaveName("", kChoiceLyricsToText), "");
    EXPECT_TRUE(MidiFileFilter().endsWith(";;All files (*)"));
}

}  // namespace
}  // namespace verselane::ui
