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

// An encoding as a person knows it ("Vietnamese (Windows-1258)") and its
// name for iconv ("WINDOWS-1258").
struct LabelledEncoding {
    std::string Label;
    std::string Name;
};

// The encodings a user may choose from, by script, most common first within
// each; "Unicode (UTF-8)" and "Western (Windows-1252)" lead the list.
const std::vector<LabelledEncoding>& Encodings();

// The label of an encoding of the list (its name in any case, or uchardet's
// name for it), else the name itself.
std::string EncodingLabel(const std::string& Name);

// The name for iconv of a label of the list (in any case), else `NameOrLabel`
// as it stands.
std::string EncodingName(const std::string& NameOrLabel);

// IsValidUtf8 comes with the model (model/byte_string.h).

// Every text of the song that is shown: the bodies of the text-like meta
// events (types 1 to 7) of every track, in track order.
std::vector<std::string_view> SongTexts(const MidiFile& Song);

// The encoding of the texts: "UTF-8" when all of them are valid UTF-8
// (plain ASCII included), else uchardet's answer when it names an East Asian
// code page of the list whose reading is plausible, else the code page of the
// list whose reading of them is the most plausible (letters of its script,
// its languages' common letters first, no undecodable bytes or box drawing,
// no capital inside a word, no lone letter), uchardet's answer and
// "WINDOWS-1252" winning near ties; "WINDOWS-1252" when no reading is.
std::string DetectEncoding(const std::vector<std::string_view>& Texts);

// What uchardet alone makes of the bytes: its name for the encoding, or the
// empty string when it cannot tell.
std::string UchardetGuess(std::string_view Sample);

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

// The decoder for a song: `Override` (a name or a label of the list) when it
// is given, else the detected encoding of the song's texts.
TextDecoder SongDecoder(const MidiFile& Song, const std::string& Override = {});

// Text the user typed (UTF-8) as bytes for a song whose words are in
// `Encoding`: in that encoding, or as UTF-8 when the words are UTF-8 or the
// encoding cannot hold the text (then `KeptUtf8` says so, for a note to the
// user). The text is first made clean: each byte that is not part of valid
// UTF-8 becomes U+FFFD, and control characters (C0 but tab, DEL, C1) are
// dropped, so that what is stored is valid text of one line; `Text` is that
// clean text, and the counts say what was done. An encoding that iconv does
// not know raises std::invalid_argument.
struct TypedBytes {
    std::string Bytes;
    bool KeptUtf8 = false;
    std::string Text;  // the clean text (UTF-8)
    int Replaced = 0;  // bytes that were not UTF-8, each now U+FFFD
    int DroppedControls = 0;
};
TypedBytes TypedText(std::string_view Utf8, const std::string& Encoding);

// UTF-8 text made safe for a terminal: carriage returns and NUL bytes are
// dropped, other control characters (C0 but tab and line feed, DEL, and C1)
// become "?", so that a song cannot send escape sequences to the terminal.
std::string Printable(std::string_view Utf8);

// A name (of a file or a track) on one line: every control character is
// written as an escape ("\\n", "\\t", "\\x1B"), so a name can neither break
// a layout nor reach the terminal as a command.
std::string PrintableName(std::string_view Utf8);

}  // namespace verselane
