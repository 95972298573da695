// The karaoke view and the playback controls in the main window, offscreen:
// at given times the line shown and the syllable lit are the ones due, for a
// real song as karaoke text and as lyric events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include "lyrics/converters.h"
#include "tests/support/test_support.h"
#include "ui/karaoke_view.h"
#include "ui/main_window.h"
#include "ui/playback_panel.h"
#include "ui/song_text.h"

namespace verselane::ui {
namespace {

// Answers every question with yes and picks no files.
struct Unattended : Prompts {
    std::optional<QString> OpenFileName(QWidget*, const QString&) override { return {}; }
    QStringList OpenFileNames(QWidget*, const QString&) override { return {}; }
    std::optional<QString> FolderName(QWidget*, const QString&) override { return {}; }
    std::optional<QString> SaveFileName(QWidget*, const QString&) override { return {}; }
    void ShowMessage(QWidget*, const QString&) override {}
    bool Ask(QWidget*, const QString&) override { return true; }
};

// "Negra Sombra": division 480, 1.2 s a quarter note with two slower
// stretches (2 s a quarter note from tick 3917 to 4320 and 7200 to 7680), so
// tick T after 7680 lies at 20.671667 + (T - 7680) * 0.0025 s: the first
// words ("\Can", tick 15840) at 41.0717 s, "/ne" (18720) at 48.2717 s, the
// second paragraph ("\Can", 30240) at 77.0717 s.
struct Due {
    double seconds;
    const char* line;  // the same in both forms: the conversion keeps the words
    const char* syllable;
    const char* next;
};
const Due kDue[] = {
    {40.0, "Cando penso que te fuches,", "", "negra sombra que me asombras,"},
    {41.2, "Cando penso que te fuches,", "Can", "negra sombra que me asombras,"},
    {46.0, "Cando penso que te fuches,", "ches,", "negra sombra que me asombras,"},
    {48.4, "negra sombra que me asombras,", "ne", "ó pé dos meus cabezales"},
    {51.3, "negra sombra que me asombras,", "me a", "ó pé dos meus cabezales"},
    // The paragraph is sung to its end: no next line, then a clean screen.
    {72.0, "tornas facéndome mofa.", "fa.", ""},
    {76.0, "Cando maxino que es ida,", "", "no mesmo sol te me amostras,"},
    {77.2, "Cando maxino que es ida,", "Can", "no mesmo sol te me amostras,"},
};

TEST(KaraokeView, ShowsTheDueLineAndSyllableInBothForms) {
    VERSELANE_REQUIRE_CORPUS();
    MidiFile karaoke = test::ReadSong(*test::CorpusDir() / "kar/negra_sombra.kar");
    MidiFile lyrics = karaoke;
    KaraokeToLyrics(lyrics, 2, 2, false);
    auto utf8 = [](std::string_view bytes) { return DecodeForDisplay(bytes, "UTF-8"); };

    PlaybackPanel panel(nullptr, false);
    auto* view = panel.findChild<KaraokeView*>(QStringLiteral("KaraokeView"));
    ASSERT_NE(view, nullptr);
    const MidiFile* forms[2] = {&karaoke, &lyrics};
    for (int form = 0; form < 2; ++form) {
        SCOPED_TRACE(form == 0 ? "karaoke text" : "lyric events");
        panel.SetSong(*forms[form]);
        panel.ShowWords(*forms[form], 2, form == 0 ? LineSource::Karaoke : LineSource::Lyrics,
                        utf8);
        // Before the words: the title lines, found in the header track.
        view->ShowAt(5.0);
        EXPECT_EQ(view->Titles(),
                  QStringList({"Negra Sombra", "Music: Xoan Montes (1840-1899)",
                               "Lyrics: Rosalia de Castro (1837-1885)",
                               "Sequence and score: Lalus fecit edition 2013 (CC-by-nc-sa)"}));
        EXPECT_EQ(view->CurrentLine(), "");
        for (const Due& due : kDue) {
            view->ShowAt(due.seconds);
            EXPECT_TRUE(view->Titles().isEmpty()) << due.seconds;
            EXPECT_EQ(view->CurrentLine(), QString::fromUtf8(due.line)) << due.seconds;
            EXPECT_EQ(view->Syllable(), QString::fromUtf8(due.syllable)) << due.seconds;
            EXPECT_EQ(view->NextLine(), QString::fromUtf8(due.next)) << due.seconds;
        }
        // 41.2 s is 0.128 s into "Can", which lasts 0.6 s; at 46 s the line is lit in full.
        view->ShowAt(41.2);
        EXPECT_NEAR(view->Sweep(), 0.128333 / 0.6, 1e-4);
        view->ShowAt(46.0);
        EXPECT_EQ(view->SungText(), view->CurrentLine());
    }
}

TEST(KaraokeView, MainWindowPlaysWhatItReadAndConvertedInTheChosenEncoding) {
    VERSELANE_REQUIRE_CORPUS();
    MainWindow window(std::make_unique<Unattended>());
    auto* encoding = window.findChild<QComboBox*>(QStringLiteral("Encoding"));
    auto* panel = window.findChild<PlaybackPanel*>(QStringLiteral("PlaybackPanel"));
    auto* view = window.findChild<KaraokeView*>(QStringLiteral("KaraokeView"));
    auto* play = window.findChild<QPushButton*>(QStringLiteral("PlayPause"));
    ASSERT_TRUE(panel && view && play);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_FALSE(play->isEnabled());

    window.Open(QString::fromStdString((*test::CorpusDir() / "kar/negra_sombra.kar").string()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return play->isEnabled(); }, 5000));
    for (const char* shown : {"ó pé dos meus cabezales", "Ã³ pÃ© dos meus cabezales"}) {
        view->ShowAt(48.4);
        EXPECT_EQ(view->NextLine(), QString::fromUtf8(shown));
        encoding->setCurrentIndex(encoding->findData(QStringLiteral("WINDOWS-1252")));
    }
    encoding->setCurrentIndex(0);

    // With no audio the clock alone moves the song on; Space pauses it.
    play->click();
    QTest::qWait(300);
    EXPECT_TRUE(panel->Playing());
    EXPECT_GT(panel->Position(), 0.2);
    EXPECT_LT(panel->Position(), 2.0);
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_FALSE(panel->Playing());

    // Converted into lyrics: the converted song is there to play at once.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* dialog = window.findChild<QDialog*>(QStringLiteral("ConvertLyricsDialog"));
        if (dialog && dialog->isVisible()) {
            dialog->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        }
    });
    answer.start(10);
    window.findChild<QPushButton*>(QStringLiteral("L2K"))->click();
    answer.stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return play->isEnabled(); }, 5000));
    EXPECT_EQ(panel->Position(), 0);
    view->ShowAt(48.4);
    EXPECT_EQ(view->CurrentLine(), "negra sombra que me asombras,");

    // Reading another file stops the song and clears the view.
    play->click();
    window.Open(QString::fromStdString((*test::CorpusDir() / "plain/dmp_test.mid").string()));
    EXPECT_FALSE(panel->Playing());
    EXPECT_EQ(view->CurrentLine(), "");
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
    EXPECT_TRUE(told[0][0].toString().contains(QStringLiteral("/nowhere/piano.sf2")));
    EXPECT_TRUE(told[0][0].toString().contains(QStringLiteral("Pick another .sf2 file")));
    EXPECT_EQ(settings.value(QStringLiteral("playback/soundFont")), "/nowhere/piano.sf2");
    settings.clear();
}

}  // namespace
}  // namespace verselane::ui
