#include "cli/summary.h"

#include <string_view>

#include "cli/batch.h"

namespace verselane::cli {

namespace {

constexpr std::string_view kProgram = "verselane-cli: ";
constexpr auto kQuiet = std::chrono::seconds(1);  // no progress for shorter batches
constexpr auto kRedraw = std::chrono::milliseconds(100);

}  // namespace

BatchProgress::BatchProgress(std::ostream& Err, bool Terminal, BatchKind Kind)
    : err_(Err), terminal_(Terminal), kind_(Kind) {}

void BatchProgress::Start(size_t Total) {
    total_ = Total;
}

void BatchProgress::Done(const JobResult& Result) {
    ++done_;
    if (Result.Succeeded() && Result.Unchanged) {
        ++unchanged_;
    } else if (Result.Succeeded()) {
        ++written_;
        salvaged_ += Result.Salvaged;
    } else if (Result.NoWords) {
        ++without_words_;
    } else {
        ++failed_;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!terminal_ || now - start_ < kQuiet || now - drawn_ < kRedraw) return;
    drawn_ = now;
    shown_ = true;
    Redraw();
}

void BatchProgress::Clear() {
    if (shown_) err_ << "\r\033[K" << std::flush;
}

void BatchProgress::Redraw() {
    if (!shown_) return;
    err_ << "\r" << kProgram << done_ << " of " << total_ << " songs" << std::flush;
}

void BatchProgress::Finish() {
    Clear();
    shown_ = false;
    err_ << kProgram << written_ << " written"
         << (salvaged_ ? " (" + std::to_string(salvaged_) + " of them from damaged files)" : "")
         << ", "
         << (kind_ == BatchKind::Repair ? std::to_string(unchanged_) + " with nothing to repair"
                                        : std::to_string(without_words_) + " without words")
         << ", " << failed_
         << " failed"
         // A song holding its words in both forms already is not converted
         // again; said only when there is one, so that the usual line stays.
         << (kind_ == BatchKind::Conversion && unchanged_ > 0
                 ? ", " + std::to_string(unchanged_) + " converted before (nothing written)"
                 : "")
         << "\n"
         << std::flush;
}

MessageLines::~MessageLines() {
    if (!line_.empty()) Emit();
}

int MessageLines::overflow(int c) {
    if (c == traits_type::eof()) return 0;
    line_.push_back(static_cast<char>(c));
    if (c == '\n') Emit();
    return c;
}

int MessageLines::sync() {
    return target_->pubsync();  // a line goes out whole, at its end
}

void MessageLines::Emit() {
    if (progress_) progress_->Clear();
    if (line_.rfind(kProgram, 0) != 0) line_.insert(0, kProgram);
    target_->sputn(line_.data(), static_cast<std::streamsize>(line_.size()));
    line_.clear();
    target_->pubsync();
    if (progress_) progress_->Redraw();
}

}  // namespace verselane::cli
