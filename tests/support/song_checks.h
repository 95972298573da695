// Comparisons of whole songs, shared by the tests of reading, writing and the
// corpus round trip.
#pragma once

#include <gtest/gtest.h>

#include "model/midi_file.h"

namespace verselane::test {

// Same header fields (but the header length, which the writer always sets to
// 6) and the same events in every announced track; the body of an end of
// track is not written, so it is not compared. When `actual` was written from
// `expected`, a track of it may end with the end of track the writer adds.
::testing::AssertionResult SameEvents(const MidiFile& expected, const MidiFile& actual,
                                      bool written = false);

// Everything of the song model alike: events, per-track arrays, song-wide values.
::testing::AssertionResult SameSong(const MidiFile& expected, const MidiFile& actual);

// Encodes the song, reads the bytes back (that read must be complete),
// compares the events, and encodes the song read back to the same bytes.
::testing::AssertionResult WritesAndReadsBack(const MidiFile& song);

}  // namespace verselane::test
