// The display encoding: how the bytes of a song's texts (names, lyrics,
// karaoke text) are turned into UTF-8 for a terminal or a window. The song
// itself keeps its bytes; this is only for showing them. Detection,
// conversion and terminal display each have a header of their own; this one
// brings all three.
#pragma once

#include "encoding/encoding_detection.h"
#include "encoding/terminal_text.h"
#include "encoding/text_conversion.h"
