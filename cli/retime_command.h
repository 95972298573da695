// verselane-cli retime: an existing song's words re-aligned around pins (the
// timing editor's drag without the window), and the numbered syllables that
// `lyrics --syllables` prints for it.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "editing/edit_error.h"
#include "lyrics/sung_lines.h"
#include "model/song.h"

namespace verselane::cli {

// retime: a song's words re-aligned around pins.
struct RetimeCommand {
    std::string Song;
    std::string Output;  // empty: NAME.retimed.EXT beside the song
    bool Force = false;
    std::vector<std::pair<size_t, int32_t>> Pins;  // syllable from 1, tick
    std::string LineStarts;                        // a file of more pins, one I=TICK a line
};

// What the command does, and its exit status, for its help.
extern const char* const kRetimeDescription;
extern const char* const kRetimeStatus;

// "I=TICK" with I from 1 and a tick that fits a song, or nothing.
std::optional<std::pair<size_t, int32_t>> RetimePin(std::string_view Text);

// The command line's sentence for an edit that cannot be made.
std::string EditFaultMessage(const editing::EditFault& Fault);

// Runs the command: 0 when the song was written, 1 when it failed (with
// messages on `err`).
int RunRetime(const RetimeCommand& Command, std::ostream& out, std::ostream& err);

// The sung syllables of the song as the timing editor and retime number
// them: one line "I<TAB>TICK<TAB>m:ss.hh<TAB>TEXT" each, the text opened by
// "\" for a paragraph, "/" for a line, "-" inside a word. Returns false (with
// a message on `err` naming `Name`) when the song holds no sung words.
bool PrintSyllables(const Song& Song, std::optional<LineSource> From, int16_t Track,
                    const std::function<std::string(std::string_view)>& Show,
                    const std::string& Name, std::ostream& out, std::ostream& err);

}  // namespace verselane::cli
