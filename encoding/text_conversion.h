// Turning the bytes of a song's texts into UTF-8 for showing them, and typed
// UTF-8 text back into the bytes of the song's encoding (iconv).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/song.h"

namespace verselane {

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

// Text that opens with a UTF-16 byte order mark (FF FE little-endian, FE FF
// big-endian), as Windows editors save "Unicode" text: in UTF-8 without the
// mark. Nothing for any other bytes, which are then read as UTF-8 or in the
// code page they look like.
std::optional<std::string> Utf16TextAsUtf8(std::string_view Bytes);

// The decoder for a song: `Override` (a name or a label of the list) when it
// is given, else the detected encoding of the song's texts.
TextDecoder SongDecoder(const Song& Song, const std::string& Override = {});

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

// Sung words in UTF-8 as the bytes of a song in `Encoding` (empty: UTF-8 as
// they are). The words go piece by piece through TypedText; the line ends
// between them (CR, LF) pass as they are. `KeptUtf8` is set when a piece
// could not be held by the encoding and stays UTF-8.
std::string SungWordsIn(std::string_view Utf8, const std::string& Encoding, bool& KeptUtf8);

// Whether `Encoding` writes ASCII as ASCII, a byte a character: a song's
// texts and their marks ("@", "\", "/") read the same in it. UTF-16, UTF-32
// and UTF-7 do not, nor an encoding iconv does not know.
bool KeepsAscii(const std::string& Encoding);

// The same for all the words of a song, each as SungWordsIn puts it; when
// any does not fit `Encoding`, all stay UTF-8 and `KeptUtf8` is set, so that
// a song's words never mix two encodings.
std::vector<std::string> SungWordsIn(const std::vector<std::string>& Utf8Words,
                                     const std::string& Encoding, bool& KeptUtf8);

}  // namespace verselane
