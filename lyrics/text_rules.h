// Small rules on the byte texts of lyric and karaoke events.
#pragma once

#include <string_view>

namespace verselane {

// Without leading and trailing spaces (character 32) only: every other
// character, control characters included, belongs to the text.
inline std::string_view TrimSpaces(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace verselane
