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
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "align/aligner.h"
#include "lyrics/sung_lines.h"
#include "model/midi_file.h"

class QUndoStack;

namespace verselane::ui {

// A syllable as the editor shows it.
struct EditorSyllable {
    int32_t Event = 0;  // index of its event in the track
    int32_t Tick = 0;
    QString Text;  // marks and line ends left out
    bool LineStart = false;
    bool ParagraphStart = false;
    bool Doubtful = false;  // starts on no note of the melody
};

// The syllables of `track` as lyric events or karaoke text, in order: "@"
// tags of karaoke text are left out; "/" and "\" before a syllable, and a
// carriage return or line feed after the one before it, start a line or a
// paragraph. `decode` turns the bytes into text.
std::vector<EditorSyllable> EditorSyllables(const MidiFile& song, int16_t track, LineSource from,
                                            const std::function<QString(std::string_view)>& decode);

class TimingEditor : public QAbstractScrollArea {
    Q_OBJECT

  public:
    explicit TimingEditor(QUndoStack* undo, QWidget* parent = nullptr);

    // The song to show and edit; it must outlive the editor's use of it.
    // With `track` negative the editor is empty.
    void SetSong(MidiFile* song, int16_t track, LineSource from,
                 const std::function<QString(std::string_view)>& decode);
    // Shows the words again after the song changed (the same track).
    void Refresh();
    void Clear();
    // The play cursor at `seconds`; while `playing` the view follows it.
    void ShowAt(double seconds, bool playing);

    const std::vector<EditorSyllable>& Syllables() const { return syllables_; }
    const std::vector<align::MelodyNote>& Notes() const { return notes_; }
    int Current() const { return current_; }
    const std::set<int>& Selection() const { return selected_; }
    void Select(int syllable, bool add = false);
    double PixelsPerQuarter() const { return pixels_per_quarter_; }
    void Zoom(double factor);
    // The x position of a tick in the viewport.
    int X(int32_t tick) const;

    // The edits, as the keys and the menu do them.
    void MoveToNote(int direction);  // -1 previous note, +1 next note
    void Nudge(int direction);       // by a sixteenth
    void NextDoubtful(int direction);

    QSize sizeHint() const override { return {640, 180}; }
    QSize minimumSizeHint() const override { return {240, 120}; }

  signals:
    // The song changed by an edit, an undo or a redo.
    void SongEdited();

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
    // Moves the selected syllables by `delta` ticks, each kept between its
    // unselected neighbours, as one undoable edit named `name`.
    void MoveSelection(const QString& name, const std::vector<int32_t>& ticks);
    int32_t LowestTick(int syllable) const;
    int32_t HighestTick(int syllable) const;
    void UpdateScrollRange();
    void ScrollTo(int32_t tick);
    int32_t TickOfSeconds(double seconds) const;

    QUndoStack* undo_;
    MidiFile* song_ = nullptr;
    int16_t track_ = -1;
    LineSource from_ = LineSource::Lyrics;
    std::function<QString(std::string_view)> decode_;
    std::vector<EditorSyllable> syllables_;
    std::vector<align::MelodyNote> notes_;
    std::vector<align::Metre> metres_;
    std::optional<TempoMap> tempo_;
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
};

}  // namespace verselane::ui
