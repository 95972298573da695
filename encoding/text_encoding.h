// The display encoding: how the bytes of a song's texts (names, lyrics,
// karaoke text) are turned into UTF-8 for a terminal or a window. The song
// itself keeps its bytes; this is only for showing them.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/midi_file.h"

namespace verselane {

// The encoding names a user may choose from, most common first (all known to
// iconv). "UTF-8" and "WINDOWS-1252" lead the list.
const std::vector<std::string>& DisplayEncodings();

bool IsValidUtf8(std::string_view Bytes);

// Every text of the song that is shown: the bodies of the text-like meta
// events (types 1 to 7) of every track, in track order.
std::vector<std::string_view> SongTexts(const MidiFile& Song);

// The encoding of the texts: "UTF-8" when all of them are valid UTF-8
// (plain ASCII included), else what uchardet detects over all of them
// together when that is the encoding of a non-Latin script (Japanese,
// Chinese, Korean, Cyrillic, Greek, Hebrew, Arabic, Thai, Vietnamese) that
// iconv knows, else "WINDOWS-1252". uchardet's answers for Latin texts of a
// few accented words are too often some other Latin encoding to be taken.
std::string DetectEncoding(const std::vector<std::string_view>& Texts);

// Turns bytes of one encoding into UTF-8 with iconv. Bytes that are not valid
// in the encoding become U+FFFD. Safe to use from several threads.
class TextDecoder {
  public:
    // Raises std::invalid_argument when iconv does not know the encoding.
    explicit TextDecoder(const std::string& Encoding);
    ~TextDecoder();
    TextDecoder(TextDecoder&&) noexcept;
    TextDecoder& operator=(TextDecoder&&) noexcept;

    const std::string& Encoding() const;
    std::string ToUtf8(std::string_view Bytes) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The decoder for a song: `Override` when it is given, else the detected
// encoding of the song's texts.
TextDecoder SongDecoder(const MidiFile& Song, const std::string& Override = {});

// UTF-8 text made safe for a terminal: carriage returns and NUL bytes are
// dropped, other control characters (C0 but tab and line feed, DEL, and C1)
// become "?", so that a song cannot send escape sequences to the terminal.
std::string Printable(std::string_view Utf8);

// A name (of a file or a track) on one line: every control character is
// written as an escape ("\\n", "\\t", "\\x1B"), so a name can neither break
// a layout nor reach the terminal as a command.
std::string PrintableName(std::string_view Utf8);

}  // namespace verselane
