#include "tests/support/song_checks.h"

#include <algorithm>

#include "reader/midi_reader.h"
#include "writer/midi_writer.h"

namespace verselane::test {

::testing::AssertionResult WritesAndReadsBack(const MidiFile& song) {
    std::string bytes;
    try {
        bytes = EncodeMidiFile(song);
    } catch (const RuntimeError& e) {
        return ::testing::AssertionFailure() << "the song cannot be written: " << e.what();
    }
    MidiFile back;
    ResetMidiFile(back);
    if (const ReadOutcome read = ReadMidiBytes(back, bytes); read.Result != ReadResult::Complete)
        return ::testing::AssertionFailure() << "the written song reads back: " << read.Message();
    if (EncodeMidiFile(back) != bytes)
        return ::testing::AssertionFailure() << "the song read back is written otherwise";
    return ::testing::AssertionSuccess();
}

std::vector<size_t> TrackChunks(const std::string& file, size_t from) {
    std::vector<size_t> at{from + 14};
    for (int i = 0; i < ((uint8_t(file[from + 10]) << 8) | uint8_t(file[from + 11])); ++i) {
        if (at.back() + 8 > file.size()) break;
        size_t length = 0;
        for (int k = 4; k < 8; ++k) length = length * 256 + uint8_t(file[at.back() + k]);
        at.push_back(std::min(at.back() + 8 + length, file.size()));
    }
    return at;
}

}  // namespace verselane::test
