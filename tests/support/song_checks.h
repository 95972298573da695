// Comparisons of whole songs, shared by the tests of reading, writing, bad
// input, write faults and file containers.
#pragma once

#include <gtest/gtest.h>

#include "model/midi_file.h"

namespace verselane::test {

// Same header fields (but the header length, which the writer always sets
// to 6) and the same events in every announced track. The body of an
// end-of-track event is not written, so it is not compared. When `actual` was
// written from `expected`, a track of it may end with the end of track that
// the writer adds.
::testing::AssertionResult SameEvents(const MidiFile& expected, const MidiFile& actual,
                                      bool written = false);

// Everything of the song model alike: the events, every per-track array and
// every song-wide value.
::testing::AssertionResult SameSong(const MidiFile& expected, const MidiFile& actual);

// Encodes the song, reads the bytes back (that read must be complete),
// compares the events, and encodes the song read back to the same bytes.
::testing::AssertionResult WritesAndReadsBack(const MidiFile& song);

}  // namespace verselane::test
