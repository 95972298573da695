// TimingEditor: the sung syllables of one track on the notes of the melody,
// time running left to right. The melody's notes are a piano-roll strip with
// bar and beat lines; under them each syllable is a labelled block from its
// tick to the next syllable's, line starts and paragraph starts marked; a
// syllable that starts on no note of the melody is doubtful and drawn so.
// The play cursor is the time the window gives with ShowAt; while the song
// plays the view scrolls with it.
//
// Edits go onto the undo stack the window gives, as commands that move the
// song's own events (ui/edit_commands.h). By keyboard: Left/Right choose a
// syllable (Shift adds to the selection), F8 / Shift+F8 go to the next or
// previous doubtful syllable, Alt+Left/Alt+Right move the selected syllables
// to the previous or next note, Ctrl+Left/Ctrl+Right nudge them by the grid
// (a sixteenth), Ctrl+plus / Ctrl+minus zoom. By mouse: a click chooses a
// syllable (Ctrl adds), a drag puts it on the note under the pointer and
// the other selected syllables move as far, Ctrl+wheel zooms, the wheel
// scrolls.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "align/aligner.h"
#include "editing/timed_words.h"
#include "lyrics/sung_lines.h"
#include "model/song.h"
#include "model/timing.h"

class QUndoStack;

namespace verselane::ui {

// A syllable as the editor shows it.
struct EditorSyllable {
    int32_t Tick = 0;
    QString Text;
    bool LineStart = false;
    bool ParagraphStart = false;
    bool Doubtful = false;  // on no note start of the melody, or a close call of the aligner
};

class TimingEditor : public QAbstractScrollArea {
    Q_OBJECT

  public:
    explicit TimingEditor(QUndoStack* undo, QWidget* parent = nullptr);

    // The song to show and edit (its words in `track` as `from`): the
    // editor edits a copy, and SongEdited hands the edited song back. The
    // same song, track and source again only show the words anew (in a new
    // encoding, say); another one, or one after Clear, starts afresh and
    // empties the undo stack. With `track` negative the editor is empty.
    void SetSong(const Song& song, int16_t track, LineSource from,
                 const std::function<QString(std::string_view)>& decode);
    // How typed text becomes the song's bytes.
    void SetEncoder(std::function<std::string(const QString&)> encode) {
        encode_ = std::move(encode);
    }
    // What the text prompt gives: the text typed and, when the user asked to
    // split the syllable there, the text cursor's position in it.
    struct TypedText {
        TypedText(QString text, int split_at = -1) : Text(std::move(text)), SplitAt(split_at) {}
        QString Text;
        int SplitAt = -1;
    };
    // Asks for a syllable's text (F2, Insert): the title and the text to
    // start from; nullopt when cancelled. By default a dialog with the text,
    // whose Split at the Cursor button (Alt+S; only for F2) splits the
    // syllable where the text cursor is.
    using TextPrompt = std::function<std::optional<TypedText>(const QString&, const QString&)>;
    void SetTextPrompt(TextPrompt prompt) { ask_text_ = std::move(prompt); }
    // Forgets the song. The undo stack keeps its edits: they are of the
    // words the editor is given again when a change of the whole song above
    // them is undone (the window empties the stack for another song).
    void Clear();
    // The words being edited (null when there are none).
    const editing::TimedWords* Words() const { return words_.get(); }
    // The play cursor at `seconds`; while `playing` the view follows it.
    void ShowAt(double seconds, bool playing);

    const std::vector<EditorSyllable>& Syllables() const { return syllables_; }
    const std::vector<align::MelodyNote>& Notes() const { return notes_; }
    int Current() const { return current_; }
    const std::set<int>& Selection() const { return selected_; }
    void Select(int syllable, bool add = false);
    double PixelsPerQuarter() const { return pixels_per_quarter_; }
    void Zoom(double factor);
    // The x position of a tick in the viewport (ticks far outside it give
    // far positions, never an overflow).
    int X(int64_t tick) const;

    // The edits, as the keys and the menu do them.
    void MoveToNote(int direction);  // -1 previous note, +1 next note
    // The drag by keyboard: the chosen syllable pinned on the previous or
    // next note start, the rest of its line re-aligned around it.
    void PinToNote(int direction);
    void Nudge(int direction);  // by a sixteenth
    void NextDoubtful(int direction);
    // Where playing for the chosen syllable starts, in song seconds: two
    // beats before it (or the song's start), so that a tap can follow the
    // music into it. Nothing when no syllable is chosen.
    std::optional<double> LeadInSeconds() const;
    // F2: the chosen syllable's text changed, or split at the text cursor
    // (one undoable step, the text typed taken first).
    void EditText();
    void InsertWord();
    void SplitHalf();  // splits the chosen syllable in the middle of its text
    void MergeNext();
    void Hold();
    void SkipNote();
    void StartLine(bool paragraph);
    void JoinLine();
    void DeleteSyllable();
    // Tap to time: the chosen syllable (then the next, tap by tap) goes on
    // the melody's note start nearest `heard_seconds` of song time less
    // `latency` seconds of the listener's time (within a quarter second),
    // the song playing at `speed`; the rest of its line re-aligns around
    // this session's taps. Each tap is one undoable step; after an undo the
    // next tap times the syllable of the tap undone. Choosing a syllable by
    // key or mouse starts a new session there.
    void Tap(double heard_seconds, double latency, double speed = 1);
    // With line starts on, each tap times the first syllable of the next
    // line (from the chosen syllable on) and the rest of that line aligns
    // to the melody around it. Switching starts a new session of taps.
    void SetLineStartTaps(bool on);
    bool LineStartTaps() const { return line_start_taps_; }
    // Carries out `edit` as one undoable step named `name`; an edit that
    // cannot be made is told by StatusMessage and changes nothing.
    bool Apply(const QString& name, const editing::Edit& edit);

    QSize sizeHint() const override { return {640, 180}; }
    QSize minimumSizeHint() const override { return {240, 120}; }

  signals:
    // The song changed by an edit, an undo or a redo: `song` is the song now.
    void SongEdited(const Song& song);
    // Why an edit was not made, or that the other stream's words differ.
    void StatusMessage(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    int32_t TickAt(int x) const;
    int SyllableAt(QPoint point) const;
    // The nearest note start to `tick`, or `tick` itself without notes.
    int32_t NearestNoteStart(int32_t tick) const;
    int32_t NoteBeside(int32_t tick, int direction) const;
    void Refresh();
    // Moves the selected syllables by `delta` ticks.
    void MoveSelection(const QString& name, int32_t delta);
    std::optional<TypedText> AskText(const QString& title, const QString& text, bool can_split);
    std::string Encoded(const QString& text) const;
    void UpdateScrollRange();
    // The closest zoom at which the whole song's width fits the scroll bar.
    double MostZoom() const;
    void ScrollTo(int32_t tick);
    int32_t TickOfSeconds(double seconds) const;

    QUndoStack* undo_;
    std::unique_ptr<editing::TimedWords> words_;
    std::function<std::string(const QString&)> encode_;
    TextPrompt ask_text_;
    int16_t track_ = -1;
    LineSource from_ = LineSource::Lyrics;
    std::function<QString(std::string_view)> decode_;
    std::vector<EditorSyllable> syllables_;
    std::vector<align::MelodyNote> notes_;
    std::optional<BarBeatMap> bars_;  // set with the words
    int division_ = 480;
    int32_t last_tick_ = 0;
    uint8_t low_pitch_ = 48, high_pitch_ = 84;
    double pixels_per_quarter_ = 48;
    int current_ = -1;
    std::set<int> selected_;
    int32_t cursor_tick_ = -1;
    // A drag under way: the syllable taken and where its tick would go.
    int dragged_ = -1;
    int32_t drag_tick_ = 0;
    bool drag_alone_ = false;
    // Tap to time: the session's pins, each with the undo index it made.
    struct TapPin {
        size_t Syllable;
        int32_t Tick;
        int UndoIndex;
    };
    std::vector<TapPin> taps_;
    int tap_next_ = -1;  // the syllable the next tap times
    bool line_start_taps_ = false;
};

}  // namespace verselane::ui
