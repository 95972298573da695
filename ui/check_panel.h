// CheckPanel: whether the song's words will show, under the main window's
// buttons. A one-line verdict, the findings of the check, and a Repair button
// for a finding that has a safe repair; it repairs the song it was given.
#pragma once

#include <QWidget>
#include <vector>

#include "check/song_check.h"
#include "model/song.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace verselane::ui {

class CheckPanel : public QWidget {
    Q_OBJECT

  public:
    // `song` is the window's song: checked by Check, changed by Repair.
    explicit CheckPanel(Song* song, QWidget* parent = nullptr);

    // Checks the song again and shows the verdict and the findings. With no
    // song (nothing read) the panel is empty.
    void Check();
    // The verdict as shown: "Will show in karaoke players and keyboards", or
    // "2 problems: ...".
    QString Verdict() const;
    const std::vector<Finding>& Findings() const { return findings_; }
    // A finding's sentence in the desktop's words, from its id and numbers.
    static QString Describe(const Finding& found);
    // Makes the repair of finding `index`; false when it has none or changed nothing.
    bool RepairFinding(int index);
    // Which of two streams of the same words a repair keeps: the lyric events
    // (most players and every keyboard read them) unless told otherwise, as
    // after a conversion into karaoke text.
    void KeepWordsFor(PlayerFamily players) { keep_ = players; }
    PlayerFamily KeptFor() const { return keep_; }

  signals:
    // A repair is about to change the song: whoever reads it must let go.
    void Repairing();
    // The song was changed by a repair.
    void Repaired();
    // A repair began (Repairing) and left the song as it was: an encoding
    // that cannot hold its texts, say.
    void RepairChangedNothing();

  private:
    void UpdateRepairButton();

    Song* song_;
    PlayerFamily keep_ = PlayerFamily::LyricReaders;
    std::vector<Finding> findings_;
    int kept_ = 0;  // texts the last encoding repair could not convert
    QLabel* verdict_;
    QListWidget* list_;
    QPushButton* repair_;
};

}  // namespace verselane::ui
