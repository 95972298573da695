// Why an edit of the timed words cannot be made, as a value that each
// program words itself.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <utility>

#include "align/align_error.h"

namespace verselane::editing {

enum class EditProblem {
    NoSuchTrack,               // an event change names a track the song lacks
    NoSuchEvent,               // an event change names an event the track lacks
    NoSuchSyllable,            // a syllable index past the words
    NothingToSing,             // a text without anything to sing, or with spaces around it
    LineEndInText,             // a text with a line end
    TagInKaraoke,              // a karaoke syllable starting with "@"
    NoWordsStream,             // the song holds no lyric events or karaoke text
    NoSungWords,               // the song holds no sung words
    NoNoteAfter,               // no melody note after `Tick`
    NoNoteBefore,              // no melody note before `Tick`
    SyllableMissing,           // no syllable `Syllable`; the song has `Count`
    BeforeSongStart,           // a syllable before tick 0
    BeforeSyllableAhead,       // syllable `Syllable` would go before the one ahead of it
    PinNegativeTick,           // pin `Syllable` has a negative tick
    PinnedTwice,               // syllable `Syllable` is pinned twice
    PinsBackInTime,            // syllable `Syllable` is pinned before syllable `Other`
    PinPastLine,               // pin `Syllable` goes past the line before (`After`: after) it
    AlignRefused,              // the aligner refused the line: `Align`
    TickOutsideSong,           // `Tick` is outside the song
    PassesSyllableBefore,      // syllable `Syllable` cannot pass the one before it
    PassesSyllableAfter,       // syllable `Syllable` cannot pass the one after it
    SelectionLeavesSong,       // the chosen syllables would move out of the song
    LastHasNoneAfter,          // the last syllable has none after it
    NoPins,                    // a re-alignment without pins
    SplitLeavesEmptySide,      // a split with no text on one side
    FirstStartsLine,           // the first syllable always starts a line
    OnlySyllable,              // the only syllable cannot go
    NoSyllableToInsertBefore,  // no syllable `Syllable` to insert before
    NewBeforeSyllableAhead,    // an inserted syllable before the one ahead of it
    NewAfterSyllableBehind,    // an inserted syllable after the one behind it
};

struct EditFault {
    EditProblem Problem = EditProblem::NoSuchSyllable;
    int64_t Syllable = 0;  // counted from 1
    int64_t Other = 0;     // a second syllable, counted from 1
    int64_t Tick = 0;
    int64_t Count = 0;
    bool After = false;
    std::optional<align::AlignFault> Align;

    EditFault() = default;
    explicit EditFault(EditProblem problem) : Problem(problem) {}

    // A copy with one field set, for raising it in one expression.
    EditFault WithSyllable(int64_t value) const {
        EditFault fault = *this;
        fault.Syllable = std::move(value);
        return fault;
    }
    EditFault WithOther(int64_t value) const {
        EditFault fault = *this;
        fault.Other = std::move(value);
        return fault;
    }
    EditFault WithTick(int64_t value) const {
        EditFault fault = *this;
        fault.Tick = std::move(value);
        return fault;
    }
    EditFault WithCount(int64_t value) const {
        EditFault fault = *this;
        fault.Count = std::move(value);
        return fault;
    }
    EditFault WithAfter(bool value) const {
        EditFault fault = *this;
        fault.After = std::move(value);
        return fault;
    }
    EditFault WithAlign(std::optional<align::AlignFault> value) const {
        EditFault fault = *this;
        fault.Align = std::move(value);
        return fault;
    }
};

// An edit that cannot be made. The song is unchanged when it is raised.
class EditError : public std::invalid_argument {
  public:
    explicit EditError(EditFault fault)
        : std::invalid_argument("the edit cannot be made"), fault_(std::move(fault)) {}
    explicit EditError(EditProblem problem) : EditError(EditFault(problem)) {}
    const EditFault& Fault() const { return fault_; }

  private:
    EditFault fault_;
};

}  // namespace verselane::editing
