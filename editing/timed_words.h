// The timed words of a song and the edits on them: the core of the timing
// editor, without any window.
//
// A TimedWords holds a song and the sung syllables of the stream its words
// box shows (the same track and stream the `lyrics` command reads: lyric
// events, or Soft Karaoke text). Every syllable is one event of that stream
// whose text holds something visible; events that hold only line ends or
// spaces are not syllables and stay where they are.
//
// Edits are values: an Edit names its kind and parameters; Apply() carries
// it out on the song's events and returns the exact inverse, an Edit of kind
// Restore that puts back every event it changed, at its place among the
// events of the same tick. Applying the inverse returns the inverse of the
// inverse, so undo and redo are both Apply(). Any other event of the song
// keeps its absolute tick, its order and its bytes.
//
// When the song holds the same words in the other stream too (lyric events
// beside karaoke text, syllable by syllable at the same ticks), that stream
// follows every edit; when its words differ it is left alone and
// OtherStream() says so.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "align/aligner.h"
#include "align/lyric_sheet.h"
#include "align/sung_syllables.h"
#include "editing/edit_error.h"
#include "lyrics/sung_lines.h"
#include "model/song.h"
#include "model/timing.h"

namespace verselane::editing {

// One sung syllable.
struct TimedSyllable {
    std::string Text;  // its bytes as the song holds them, without marks,
                       // spaces and line ends around it
    int32_t Tick = 0;
    bool WordStart = false;       // opens a word (the first syllable always does)
    bool LineStart = false;       // opens a line (the first syllable always does)
    bool ParagraphStart = false;  // opens a paragraph (the first syllable always does)
    int16_t Track = 0;            // where its event is
    int32_t Event = 0;            // index of its event in that track
    int Note = -1;                // index into Melody() of the note starting at Tick, or -1
};

// Why the editor marks a syllable as doubtful (F8 goes from one to the next).
struct DoubtMark {
    size_t Syllable = 0;
    align::Doubt Reason = align::Doubt::None;  // OffNote: on no melody note start;
                                               // CloseCall: the aligner weighs
                                               // another note nearly the same
};

// What became of the other stream.
enum class OtherStream {
    None,       // the song holds its words in one stream only
    Follows,    // the same words in the other stream: edits are made there too
    Different,  // other words there: left alone (the window tells the user)
};

enum class EditKind {
    MoveTo,          // Syllable to Tick (not past its neighbours)
    MoveToNote,      // Syllable to the melody note start before (Steps < 0) or after (> 0)
    Nudge,           // Syllable by Delta ticks (a grid step)
    MoveSeveral,     // every syllable of Selection by Delta ticks together
    Split,           // Syllable at byte TextPosition of its Text into two syllables
    MergeNext,       // Syllable with the one after it into one
    SetText,         // Syllable's Text becomes Text
    Hold,            // Syllable holds over the next note: the one after it moves one note later
    SkipNote,        // Syllable and those after it that must move go one note later
    StartLine,       // a line starts at Syllable
    StartParagraph,  // a paragraph starts at Syllable
    JoinLine,        // undoes StartLine / StartParagraph: Syllable continues the line before
    Delete,          // Syllable goes
    Insert,          // a new word Text at Tick, before Syllable (Syllable == Count(): at the end)
    Drag,            // Syllable pinned at Tick, the rest of its line re-aligned around it;
                     // with OnlyDragged only that syllable moves
    Realign,         // every syllable of Pins lands on its tick; the lines holding a pin are
                     // re-aligned around their pins, other lines stay
    Restore,         // the inverse of an edit: the event changes in Changes, in order
};

struct Edit {
    EditKind Kind = EditKind::MoveTo;
    size_t Syllable = 0;
    int32_t Tick = 0;
    int32_t Delta = 0;
    int Steps = 1;
    size_t TextPosition = 0;
    std::string Text;  // bytes as the song keeps them
    bool OnlyDragged = false;
    std::vector<size_t> Selection;                 // MoveSeveral
    std::vector<std::pair<size_t, int32_t>> Pins;  // Realign: syllable (from 0), tick
    std::vector<EventEdit> Changes;                // Restore: applied in order

    static Edit MoveTo(size_t syllable, int32_t tick);
    static Edit MoveToNote(size_t syllable, int steps);
    static Edit Nudge(size_t syllable, int32_t delta);
    static Edit MoveSeveral(std::vector<size_t> selection, int32_t delta);
    static Edit Split(size_t syllable, size_t text_position);
    static Edit MergeNext(size_t syllable);
    static Edit SetText(size_t syllable, std::string text);
    static Edit Hold(size_t syllable);
    static Edit SkipNote(size_t syllable);
    static Edit StartLine(size_t syllable);
    static Edit StartParagraph(size_t syllable);
    static Edit JoinLine(size_t syllable);
    static Edit Delete(size_t syllable);
    static Edit Insert(size_t before, std::string text, int32_t tick);
    static Edit Drag(size_t syllable, int32_t tick, bool only_dragged = false);
    static Edit Realign(std::vector<std::pair<size_t, int32_t>> pins);
};

// How the edited song is written.
enum class SaveAs {
    AsEdited,  // the streams the song holds, as edited
    Lyrics,    // with lyric events: made from the karaoke text when the song has none
    Karaoke,   // with Soft Karaoke text: made from the lyric events when the song has none
    Both,      // with both: the missing stream made from the other
};

class TimedWords {
  public:
    // Takes the song's words: the stream and track as the `lyrics` command
    // chooses them (or those given), the melody as the aligner chooses it.
    // Raises EditError when the song holds no sung words.
    explicit TimedWords(verselane::Song song, std::optional<LineSource> from = std::nullopt,
                        int16_t track = -1);

    // The song as edited.
    const verselane::Song& EditedSong() const { return song_; }
    LineSource Source() const { return source_; }
    int16_t SourceTrack() const { return track_; }
    OtherStream Other() const { return other_; }

    const std::vector<TimedSyllable>& Syllables() const { return syllables_; }
    size_t Count() const { return syllables_.size(); }
    // The notes the words sit on (empty when the song plays none), in order.
    const std::vector<align::MelodyNote>& Melody() const { return melody_; }
    int MelodyTrack() const { return melody_track_; }
    // The syllables in doubt, in order, as worked out when the song was opened.
    const std::vector<DoubtMark>& Doubts() const { return doubts_; }
    // The next doubt after syllable `from` (wrapping round), or nullopt.
    std::optional<size_t> NextDoubt(size_t from) const;

    // The first syllable of the line holding `syllable`, and one past its last.
    std::pair<size_t, size_t> LineOf(size_t syllable) const;
    // Seconds from the start of the song (every tempo change counted).
    double Seconds(int32_t tick) const { return tempo_.Seconds(tick); }
    // The last tick at or before `seconds` from the start of the song.
    int32_t TickAt(double seconds) const { return tempo_.TickAt(seconds); }

    // Carries out the edit and returns its exact inverse; raises EditError
    // (song unchanged) when it cannot be made.
    Edit Apply(const Edit& edit);

    // The song to write. AsEdited: the song itself. A stream asked for that
    // the song lacks is made by the converters from the edited words (as
    // to-karaoke and to-lyrics make it); Lyrics or Karaoke alone then drop
    // the source stream, Both keeps it. A stream the song holds already
    // stays as edited.
    verselane::Song SongToWrite(SaveAs as = SaveAs::AsEdited) const;

    // The language of the words (an ISO 639-1 code): the song's "@L" line,
    // else guessed from them.
    const std::string& Language() const { return language_; }
    // What the aligner weighs of the syllables from `Begin` (which opens a
    // line) to `End`, as it does for a lyric sheet of the same words:
    // phrases after punctuation, held vowels ("sooo"), the stressed syllable
    // of each word, and in words written whole (when the song's words are
    // written word by word), the syllables sung beyond the first.
    std::vector<align::SyllableShape> ShapesOf(const std::vector<TimedSyllable>& Syllables,
                                               size_t Begin = 0, size_t End = SIZE_MAX) const;

  private:
    void Index();
    void WorkOutDoubts();
    void FindOtherStream();
    void Carry(class EditLog& log, const Edit& edit);
    static std::string AsUtf8(const std::string& bytes);
    // The syllables from `begin` to `end` as a sheet, the first opening a line.
    static align::LyricSheet SheetOf(const std::vector<TimedSyllable>& syllables, size_t begin,
                                     size_t end);
    friend class EditCarrier;

    verselane::Song song_;
    LineSource source_ = LineSource::Lyrics;
    int16_t track_ = 0;
    OtherStream other_ = OtherStream::None;
    int16_t other_track_ = -1;
    std::vector<TimedSyllable> syllables_;
    std::vector<align::MelodyNote> melody_;
    int melody_track_ = -1;
    std::vector<DoubtMark> doubts_;
    align::AlignOptions options_;
    std::string language_;
    // Counts the sung syllables of words written whole; only for a song
    // whose words are written word by word.
    std::shared_ptr<const align::SyllableSplitter> splitter_;
    TempoMap tempo_;
};

// Tap to time: a tap `tap_seconds` after playback started at `speed` (1,
// 0.75 or 0.5), heard `latency_seconds` late, snapped to the nearest melody
// note start within `window_seconds` of song time; nullopt when none is so
// close.
class TapSnapper {
  public:
    explicit TapSnapper(const TimedWords& words);
    std::optional<int32_t> Snap(double tap_seconds, double speed, double latency_seconds,
                                double window_seconds = 0.25) const;

  private:
    std::vector<double> seconds_;  // each note start's time
    std::vector<int32_t> ticks_;
};

// The pins of a set of taps on line starts, as a Realign edit: tap i lands
// on the start of line i (lines counted from 0 in order), each snapped.
// Taps that snap to nothing are left out.
Edit LineStartTaps(const TimedWords& words, const TapSnapper& snapper,
                   const std::vector<double>& tap_seconds, double speed, double latency_seconds);

}  // namespace verselane::editing
