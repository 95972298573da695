// verselane-cli align: words from a lyric sheet, placed on the melody's notes.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "align/align_error.h"

namespace verselane::cli {

struct AlignCommand {
    std::string Song;
    std::string Sheet;
    std::string Output;         // empty: NAME.kar beside the song (NAME.aligned.kar for a .kar)
    std::optional<int> Melody;  // the melody's track
    std::string Language;       // empty: the song's "@L", else guessed
    bool AsWritten = false;     // --syllables as-written
    std::vector<std::pair<size_t, int32_t>> Pins;  // syllable from 1, tick
    std::string To = "both";                       // lyrics, karaoke or both
    std::string Encoding;                          // of the words written into a song without words
    std::string SheetEncoding;                     // of the sheet; empty: UTF-8
    bool Replace = false;
    bool Force = false;
    bool Report = false;
};

// The command line's sentence for why a sheet cannot be aligned.
std::string AlignFaultMessage(const align::AlignFault& Fault);

// What the command does, and its exit status, for its help.
extern const char* const kAlignDescription;
extern const char* const kAlignStatus;

// "I=TICK" as --pin takes it: two whole numbers, I from 0 (whether it is
// a syllable of the song is known only later) and a tick that fits a song.
std::optional<std::pair<size_t, int32_t>> ParsePin(std::string_view Text);

// Takes the value of one option (-o, --output, --melody, --language,
// --syllables, --pin, --to, --encoding, --sheet-encoding); returns what is
// wrong with it, or the empty string.
std::string SetAlignOption(const std::string& Name, const std::string& Value,
                           AlignCommand& Command);

// The output name when none is given.
std::string DefaultAlignOutput(const std::string& Song);

// Runs the command: 0 on success, 1 when it failed (with messages on `err`).
int RunAlign(const AlignCommand& Command, std::ostream& out, std::ostream& err);

}  // namespace verselane::cli
