// Turning the bytes of a song's texts into what the windows show. The song keeps its bytes: only
// copies are decoded.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "lyrics/sung_lines.h"

namespace verselane::ui {

// `bytes` of the given encoding (an iconv name) as text for a window.
QString DecodeForDisplay(std::string_view bytes, const std::string& encoding);

// The title lines ("@T", behind a mark or not) of one track's words, without
// the "@T", in the order of the track.
std::vector<std::string> TitleLines(const MidiFile& Song, int16_t Track, LineSource From);

// The words as the preview shows them: the title lines first, then one line
// "m:ss.hh  text" per sung line and an empty line before each paragraph; a
// line without words stays empty, without a time.
QString WordsPreview(const std::vector<std::string>& Titles, const std::vector<SungLine>& Lines,
                     const std::function<QString(std::string_view)>& Decode);

}  // namespace verselane::ui
