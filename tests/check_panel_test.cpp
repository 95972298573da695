// The verdict and the findings under the main window's buttons: shown after
// a read, and a repair that changes the song but not the words shown.
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "lyrics/track_choice.h"
#include "tests/support/lyrics_fixtures.h"
#include "tests/support/test_support.h"
#include "ui/main_window.h"
#include "writer/midi_writer.h"

namespace verselane::ui {
namespace {

using test::EndOfTrack;
using test::Name;
using test::Text;

// A karaoke song whose "@K" line is missing, and the same song with it.
std::string KaraokeBytes(bool header) {
    std::vector<MidiEvent> first = {Name("Soft Karaoke")};
    if (header) first.push_back(Text(0, "@KMIDI KARAOKE FILE"));
    first.push_back(EndOfTrack(0));
    return EncodeMidiFile(
        test::SongOf({{Name("Song"), test::NoteOn(0, 60), test::NoteOn(2000, 60), EndOfTrack(2000)},
                      first,
                      {Name("Words"), Text(0, "@LENGL"), Text(480, "\\Twin"), Text(720, "kle "),
                       Text(960, "/star"), EndOfTrack(2000)}}));
}

// Answers every question with yes and picks no files: a song read in part is
// kept, and no dialog waits for a person.
struct Unattended : Prompts {
    std::optional<QString> OpenFileName(QWidget*, const QString&) override { return {}; }
    QStringList OpenFileNames(QWidget*, const QString&) override { return {}; }
    std::optional<QString> FolderName(QWidget*, const QString&) override { return {}; }
    std::optional<QString> SaveFileName(QWidget*, const QString&) override { return {}; }
    void ShowMessage(QWidget*, const QString&) override {}
    bool Ask(QWidget*, const QString&) override { return true; }
};

TEST(CheckPanel, VerdictAfterReadAndRepair) {
    test::TempDir dir;
    test::WriteAll(dir / "bare.kar", KaraokeBytes(false));
    test::WriteAll(dir / "good.kar", KaraokeBytes(true));
    MainWindow window(std::make_unique<Unattended>());
    auto* verdict = window.findChild<QLabel*>(QStringLiteral("CheckVerdict"));
    auto* findings = window.findChild<QListWidget*>(QStringLiteral("CheckFindings"));
    auto* repair = window.findChild<QPushButton*>(QStringLiteral("CheckRepair"));
    ASSERT_TRUE(verdict && findings && repair);
    EXPECT_EQ(verdict->text().toStdString(), "");

    window.Open(QString::fromStdString((dir / "good.kar").string()));
    const std::string shows = "Will show in karaoke players; keyboards show no words";
    EXPECT_EQ(verdict->text().toStdString(), shows);
    EXPECT_FALSE(repair->isEnabled());  // the one finding, advice, has no repair

    window.Open(QString::fromStdString((dir / "bare.kar").string()));
    EXPECT_EQ(verdict->text().toStdString(),
              "1 problem: No \"@K\" line marks the song as Soft Karaoke.");
    ASSERT_EQ(findings->count(), 2);
    EXPECT_EQ(findings->item(0)->text().toStdString(),
              "will not show (karaoke players): No \"@K\" line marks the song as Soft Karaoke.");
    EXPECT_TRUE(repair->isEnabled());
    EXPECT_FALSE(window.findChild<QPushButton*>(QStringLiteral("WriteFile"))->isEnabled());
    const QString words = window.findChild<QPlainTextEdit*>(QStringLiteral("Words"))->toPlainText();
    repair->click();
    EXPECT_EQ(verdict->text().toStdString(), shows);
    EXPECT_EQ(window.findChild<QPlainTextEdit*>(QStringLiteral("Words"))->toPlainText(), words);
    EXPECT_TRUE(window.findChild<QPushButton*>(QStringLiteral("WriteFile"))
                    ->isEnabled());  // the repaired song can be saved
    // A header track went in at track 1; the former one, without a "@K", follows.
    EXPECT_EQ(window.Song().Header.NumTracks, 4);
    EXPECT_EQ(window.Song().Track(1).Event(1).Data.view(), "@KMIDI KARAOKE FILE");
    EXPECT_EQ(window.Song().Track(2).Event(0).Data.view(), "Soft Karaoke");
}

TEST(CheckPanel, VerdictOnEveryCorpusFile) {
    VERSELANE_REQUIRE_CORPUS();
    MainWindow window(std::make_unique<Unattended>());
    auto* verdict = window.findChild<QLabel*>(QStringLiteral("CheckVerdict"));
    for (const auto& path : test::CorpusFiles()) {
        window.Open(QString::fromStdString(path.string()));
        if (RealTrackCount(window.Song()) > 0) {
            EXPECT_FALSE(verdict->text().isEmpty()) << path;
        }
    }
}

}  // namespace
}  // namespace verselane::ui
