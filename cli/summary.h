// What a batch reports besides each file: a progress line on a terminal while
// it runs, and one summary line at its end; and the program's name in front
// of every message.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

namespace verselane::workflow {
struct JobResult;
}

namespace verselane::cli {

using workflow::JobResult;

// What a batch does to each song, for the words of its summary.
enum class BatchKind {
    Conversion,  // "38 written, 5 without words, 2 failed[, 1 converted before (nothing written)]"
    Repair,      // "38 written, 5 with nothing to repair, 2 failed"
};

// Counts the outcomes of a batch. On a terminal, once the batch has run for
// a second, keeps one progress line ("verselane-cli: 12 of 45 songs") at the
// bottom of `Err` (the terminal itself, not a `MessageLines` stream),
// redrawn as songs finish and cleared before every message and at the end.
class BatchProgress {
  public:
    BatchProgress(std::ostream& Err, bool Terminal, BatchKind Kind = BatchKind::Conversion);

    // The number of songs of the batch.
    void Start(size_t Total);
    // One input that could not be converted at all (before the batch).
    void Failed() { ++failed_; }
    // One song done.
    void Done(const JobResult& Result);
    // Clears the progress line if it is shown (before a message).
    void Clear();
    // Redraws the progress line if it was shown.
    void Redraw();
    // Clears the progress line and writes the summary: "38 written, 5
    // without words, 2 failed" ("5 with nothing to repair" for repairs), with
    // "(3 of them from damaged files)" after the written ones when --salvage
    // wrote any.
    void Finish();

  private:
    std::ostream& err_;
    const bool terminal_;
    const BatchKind kind_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point drawn_{};
    size_t total_ = 0;
    size_t done_ = 0;
    int written_ = 0;
    int salvaged_ = 0;  // of those written, from songs read only in part
    int without_words_ = 0;
    int unchanged_ = 0;  // nothing to do, nothing written
    int failed_ = 0;
    bool shown_ = false;
};

// A stream buffer in front of another (stderr) that starts every line with
// "verselane-cli: " unless the line starts so already, and that clears a
// batch's progress line before writing a line and redraws it afterwards.
class MessageLines : public std::streambuf {
  public:
    explicit MessageLines(std::streambuf* Target) : target_(Target) {}
    ~MessageLines() override;
    void SetProgress(BatchProgress* Progress) { progress_ = Progress; }

  protected:
    int overflow(int c) override;
    int sync() override;

  private:
    void Emit();

    std::streambuf* target_;
    BatchProgress* progress_ = nullptr;
    std::string line_;
};

}  // namespace verselane::cli
