// Which encoding a song's texts are in: the list of encodings a user may
// choose from, and the detection of the encoding from the bytes (uchardet and
// the plausibility of each code page's reading).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/song.h"
#include "model/utf8.h"

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
std::vector<std::string_view> SongTexts(const Song& Song);

// The encoding of the texts: "UTF-8" when all of them are valid UTF-8
// (plain ASCII included), else uchardet's answer when it names an East Asian
// code page of the list whose reading is plausible, else the code page of the
// list whose reading of them is the most plausible (letters of its script,
// its languages' common letters first, no undecodable bytes or box drawing,
// no capital inside a word, no lone letter), uchardet's answer and
// "WINDOWS-1252" winning near ties; "WINDOWS-1252" when no reading is.
std::string DetectEncoding(const std::vector<std::string_view>& Texts);

// Which texts of a song whose texts are in `SongEncoding` (as
// DetectEncoding gives it) are UTF-8: the valid UTF-8 ones, unless the song's
// code page is an East Asian one that reads the text plausibly where UTF-8
// reads no letter of that script. Double-byte characters are valid UTF-8 by
// chance ("一" in GBK is the bytes D2 BB, a Cyrillic "һ" in UTF-8).
std::function<bool(std::string_view)> Utf8TestFor(const std::string& SongEncoding);
// The same for the texts of `Song`, its encoding detected once (the test the
// song check takes).
std::function<bool(std::string_view)> Utf8TestFor(const Song& Song);

// What uchardet alone makes of the bytes: its name for the encoding, or the
// empty string when it cannot tell.
std::string UchardetGuess(std::string_view Sample);

}  // namespace verselane
