// LyricSheetDialog: words from a lyric sheet. The user pastes or opens the
// sheet, sees (and may change) the language and the melody track, and
// Align puts the syllables on the melody's notes in a copy of the song; the
// doubtful syllables are listed. OK hands the song with its new words back.
// The alignment runs in a thread of its own; while it does, the Align
// button stops it.
#pragma once

#include <QDialog>
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "align/song_words.h"
#include "model/song.h"
#include "model/song_facts.h"
#include "ui/karaoke_view.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QThread;

namespace verselane::ui {

class LyricSheetDialog : public QDialog {
    Q_OBJECT

  public:
    // `facts` are what the read of `song` learnt (whether it holds karaoke
    // text, say).
    LyricSheetDialog(const Song& song, const SongFacts& facts, QWidget* parent = nullptr);
    // Stops an alignment under way and waits for its thread.
    ~LyricSheetDialog() override;

    // The song with the sheet's words, once Align has run, and its facts
    // (its words now in both streams).
    const std::optional<Song>& Result() const { return result_; }
    const SongFacts& ResultFacts() const { return result_facts_; }
    // One line per doubtful syllable, as listed.
    QStringList Doubtful() const;
    // The doubtful syllables, to be marked where the words are shown.
    const std::vector<MarkedDoubt>& Doubts() const { return doubts_; }
    // Starts aligning the sheet in the box, or while an alignment runs
    // stops it (what the Align button does). The outcome shows when the
    // alignment's thread is done: Aligning() is false again.
    void Align();
    bool Aligning() const { return worker_ != nullptr; }
    // Cancel stops an alignment under way first.
    void reject() override;
    // Puts the text of the file at `path` in the box (what Open... does with
    // the file chosen), as an edit that Undo takes back: UTF-8, else read in
    // the code page its bytes look like, which the dialog then names. False,
    // with the reason shown, for a file that cannot be read or is far longer
    // than any sheet.
    bool OpenSheet(const QString& path);
    // The sheet in the box, as typed.
    QString SheetText() const;
    void SetSheetText(const QString& text);

  private:
    // What the alignment's thread hands back.
    struct Outcome {
        std::optional<align::SheetAlignment> Aligned;
        std::exception_ptr Error;
    };
    void openSheet();
    void StopAligning();
    void ShowAligning(bool aligning);
    void Finish(const Outcome& outcome);
    // Why the melody's line was chosen, from the choice's values.
    QString MelodyReason(const align::NoteLine& line, const align::MelodyChoice& choice) const;
    QString LayoutSummary(const std::vector<align::SheetLineNote>& notes) const;

    const Song& song_;
    const SongFacts& facts_;
    std::vector<align::NoteLine> lines_;
    std::optional<Song> result_;
    SongFacts result_facts_;
    QPlainTextEdit* sheet_;
    QComboBox* language_;
    QComboBox* melody_;
    QPushButton* open_;
    QPushButton* align_;
    QThread* worker_ = nullptr;
    std::shared_ptr<std::atomic<bool>> stop_;
    uint64_t run_ = 0;  // counts the alignments started and stopped
    QPushButton* ok_;
    QLabel* outcome_;
    QListWidget* doubtful_;
    std::vector<MarkedDoubt> doubts_;
};

}  // namespace verselane::ui
