// Checks of whole songs, shared by the tests of reading, writing and the
// corpus round trip.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/midi_file.h"

namespace verselane::test {

// Encodes the song, reads the bytes back (that read must be complete) and
// encodes the song read back to the same bytes.
::testing::AssertionResult WritesAndReadsBack(const MidiFile& song);

// Where the announced track chunks of the Standard MIDI File at `from` in
// `file` begin, then where the last one ends (as far as the file holds them).
std::vector<size_t> TrackChunks(const std::string& file, size_t from = 0);

}  // namespace verselane::test
