// MIDI files as they come in the wild: wrapped in a RIFF "RMID" file, or
// followed by bytes that belong to no announced track (junk, a second copy of
// the song, a web page saved with it).

#include "reader/midi_reader.h"
#include "tests/support/song_checks.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane::test {
namespace {

namespace fs = std::filesystem;

uint32_t LittleEndianAt(const std::string& bytes, size_t pos) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v * 256 + uint8_t(bytes[pos + i]);
    return v;
}

// The Standard MIDI File in a file: the "data" chunk of an RMID file, or a
// plain file up to the end of its last announced track chunk.
std::string MidiPartOf(const std::string& file) {
    for (size_t pos = 12; file.starts_with("RIFF") && pos + 8 <= file.size();) {
        const uint32_t length = LittleEndianAt(file, pos + 4);
        if (file.compare(pos, 4, "data") == 0) return file.substr(pos + 8, length);
        pos += 8 + length + (length % 2);
    }
    size_t pos = 14;
    for (int i = 0; i < ((uint8_t(file[10]) << 8) | uint8_t(file[11])); ++i) {
        uint32_t length = 0;
        for (int k = 4; k < 8; ++k) length = length * 256 + uint8_t(file[pos + k]);
        pos += 8 + length;
    }
    return file.substr(0, pos);
}

MidiFile Read(std::string_view bytes, std::string* message) {
    MidiFile song;
    ResetMidiFile(song);
    *message = ReadMidiBytes(song, bytes).Message();
    return song;
}

// Events per track as the outside parser mido counts them.
std::string MidoTrackSizes(const fs::path& smf) {
    std::string output;
    int status = RunCommand(
        "/usr/bin/python3 -c \"import mido,sys; "
        "print(' '.join(str(len(t)) for t in mido.MidiFile(sys.argv[1]).tracks))\" '" +
            smf.string() + "' 2>&1",
        &output);
    return status == 0 ? output : "mido failed: " + output;
}

std::string OurTrackSizes(const MidiFile& song) {
    std::string out;
    for (int t = 0; t < song.Header.NumTracks; ++t)
        out += (t ? " " : "") + std::to_string(song.Count(t));
    return out + "\n";
}

// Each file reads as the Standard MIDI File inside it, which mido reads to
// the same tracks; written back (also by the command line) it is a plain
// file with the same events and nothing after its last track.
TEST(Containers, WrappedAndTrailedCorpusFilesReadAsTheMidiInsideAndWriteBackPlain) {
    VERSELANE_REQUIRE_CORPUS();
    std::vector<fs::path> files;
    for (const fs::path& f : CorpusFiles("odd")) {
        if (f.filename().string().starts_with("rmid_")) files.push_back(f);
    }
    ASSERT_EQ(files.size(), 3u);
    for (const char* name : {"odd/html_tail.mid", "odd/junk_tail.mid", "odd/double_smf.mid"})
        files.push_back(*CorpusDir() / name);
    TempDir dir;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const std::string whole = ReadAll(file);
        const std::string inner = MidiPartOf(whole);
        ASSERT_LT(inner.size(), whole.size()) << "the MIDI file is wrapped or trailed";
        MidiFile song;
        ResetMidiFile(song);
        ASSERT_EQ(ReadMidiFile(song, file.string()).Message(), "");
        EXPECT_EQ(song.FileLength, static_cast<int32_t>(whole.size()));
        std::string message;
        MidiFile plain = Read(inner, &message);
        ASSERT_EQ(message, "");
        plain.FileLength = song.FileLength;
        EXPECT_TRUE(SameSong(plain, song));
        WriteAll(dir / "inner.mid", inner);
        EXPECT_EQ(OurTrackSizes(song), MidoTrackSizes(dir / "inner.mid"));

        const fs::path out = dir / "plain.mid", copied = dir / "copied.mid";
        ASSERT_EQ(WriteMidiFile(song, out.string()), "");
        const std::string written = ReadAll(out);
        EXPECT_EQ(MidiPartOf(written), written) << "a plain file, nothing after the last track";
        EXPECT_TRUE(SameEvents(song, Read(written, &message), true));
        EXPECT_EQ(message, "");
        EXPECT_EQ(OurTrackSizes(song), MidoTrackSizes(out));
        std::string output;
        EXPECT_EQ(RunCommand(std::string("'") + VERSELANE_CLI + "' copy '" + file.string() + "' '" +
                                 copied.string() + "' 2>&1",
                             &output),
                  0)
            << output;
        EXPECT_EQ(ReadAll(copied), written);
    }
}

}  // namespace
}  // namespace verselane::test
