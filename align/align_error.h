// Why a sheet cannot be aligned, as a value that each program words itself.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace verselane::align {

enum class AlignProblem {
    SheetNotUtf8,     // the sheet is not UTF-8 text
    SheetNotText,     // the sheet holds NUL bytes: no text file does (a song, a picture)
    SheetTooLong,     // the sheet holds `Count` bytes, more than kLongestSheetBytes
    SheetEmpty,       // the sheet holds no syllable
    UnknownLanguage,  // `Text` names no language the aligner knows
    SilentTrack,      // the melody track `Track` plays no notes
    PinOutside,       // pin `Syllable` lies outside the syllables 1 to `Count`
    NegativeTick,     // pin `Syllable` has a negative tick
    PinnedTwice,      // syllable `Syllable` is pinned to two ticks
    // Pins go back in time: syllable `Syllable` at `Tick` comes before
    // syllable `Earlier` at `EarlierTick`.
    PinsBackInTime,
    // `Count` syllables and `Notes` notes take too much memory to align in
    // one piece.
    TooLong,
};

struct AlignFault {
    AlignProblem Problem = AlignProblem::SheetEmpty;
    int64_t Syllable = 0;  // counted from 1
    int64_t Tick = 0;
    int64_t Earlier = 0;  // counted from 1
    int64_t EarlierTick = 0;
    int64_t Count = 0;
    int64_t Notes = 0;
    int Track = -1;
    std::string Text;

    AlignFault() = default;
    explicit AlignFault(AlignProblem problem) : Problem(problem) {}

    // A copy with one field set, for raising it in one expression.
    AlignFault WithSyllable(int64_t value) const {
        AlignFault fault = *this;
        fault.Syllable = std::move(value);
        return fault;
    }
    AlignFault WithTick(int64_t value) const {
        AlignFault fault = *this;
        fault.Tick = std::move(value);
        return fault;
    }
    AlignFault WithEarlier(int64_t value) const {
        AlignFault fault = *this;
        fault.Earlier = std::move(value);
        return fault;
    }
    AlignFault WithEarlierTick(int64_t value) const {
        AlignFault fault = *this;
        fault.EarlierTick = std::move(value);
        return fault;
    }
    AlignFault WithCount(int64_t value) const {
        AlignFault fault = *this;
        fault.Count = std::move(value);
        return fault;
    }
    AlignFault WithNotes(int64_t value) const {
        AlignFault fault = *this;
        fault.Notes = std::move(value);
        return fault;
    }
    AlignFault WithTrack(int value) const {
        AlignFault fault = *this;
        fault.Track = std::move(value);
        return fault;
    }
    AlignFault WithText(std::string value) const {
        AlignFault fault = *this;
        fault.Text = std::move(value);
        return fault;
    }
};

// What the aligner raises; an invalid argument, as the callers catch it.
class AlignError : public std::invalid_argument {
  public:
    explicit AlignError(AlignFault fault)
        : std::invalid_argument("the sheet cannot be aligned"), fault_(std::move(fault)) {}
    explicit AlignError(AlignProblem problem) : AlignError(AlignFault(problem)) {}
    const AlignFault& Fault() const { return fault_; }

  private:
    AlignFault fault_;
};

// What the aligner raises when the caller's stop flag is set (a user who
// stopped a long alignment): no fault of the sheet.
class AlignStopped : public std::runtime_error {
  public:
    AlignStopped() : std::runtime_error("the alignment was stopped") {}
};

}  // namespace verselane::align
