// The command line's English for the core's outcomes: read faults, check
// findings, write failures and caught errors, worded from their values in one place.
#pragma once

#include <string>
#include <string_view>

#include "check/song_check.h"
#include "model/errors.h"
#include "reader/midi_reader.h"
#include "writer/write_failure.h"

namespace verselane::cli {

// What a failed file operation's message starts with, before its reason.
constexpr std::string_view kErrorPrefix = "Error processing file. Error: ";

// The sentence for a read fault (tracks counted from 0).
std::string FaultMessage(const ReadFault& Fault);
// Each fault's sentence, one per line; empty for a complete read.
std::string ReadMessage(const ReadOutcome& Read);

// A check finding's sentence, from its id and the numbers it quotes.
std::string FindingText(const Finding& Found);

// Why a file was not written, after "Error: ": "File access error: out.mid:
// Permission denied".
std::string WriteFailureReason(const WriteFailure& Failure);
// The same after kErrorPrefix.
std::string WriteFailureMessage(const WriteFailure& Failure);

// A caught error's description: "Overflow: ..." for a RuntimeError, "Out of
// memory", what another exception said, or "Unknown error".
std::string ErrorDescription(const CaughtError& Error);

}  // namespace verselane::cli
