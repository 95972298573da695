// MIDI files as they come in the wild: wrapped in a RIFF "RMID" file, or
// followed by bytes that belong to no announced track (junk, a second copy of
// the song, a web page saved with it).
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "reader/midi_reader.h"
#include "tests/support/song_checks.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane::test {
namespace {

namespace fs = std::filesystem;

std::string LittleEndian(uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
uint32_t LittleEndianAt(const std::string& bytes, size_t pos) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v * 256 + uint8_t(bytes[pos + i]);
    return v;
}

std::string RiffChunk(std::string_view id, std::string_view body, uint32_t claimed = 0) {
    std::string out =
        std::string(id) + LittleEndian(claimed ? claimed : body.size()) + std::string(body);
    return body.size() % 2 ? out + '\0' : out;
}
std::string Riff(std::string_view form, std::string_view chunks) {
    return "RIFF" + LittleEndian(chunks.size() + 4) + std::string(form) + std::string(chunks);
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

TEST(Containers, RiffWrappersOfEveryShape) {
    const std::string smf = Smf(0, 96, {Hex("00 FF 03 02 'Hi' 00 90 3C 64 60 3C 00 00 FF 2F 00")});
    const std::string kNoHeader = "Failed to find MThd header for file.";
    std::string message;
    const MidiFile expected = Read(smf, &message);
    ASSERT_EQ(message, "");
    const struct {
        const char* name;
        std::string bytes;
        std::string message;
        int events;  // of track 0 when the song was read
    } cases[] = {
        {"data chunk first", Riff("RMID", RiffChunk("data", smf)), "", 4},
        {"data chunk after an odd-sized chunk and its pad byte",
         Riff("RMID", RiffChunk("DISP", "abc") + RiffChunk("data", smf)), "", 4},
        {"an INFO list after the data chunk",
         Riff("RMID", RiffChunk("data", smf) + RiffChunk("LIST", "INFOINAM")), "", 4},
        {"data chunk longer than the file", Riff("RMID", RiffChunk("data", smf, 5000)), "", 4},
        {"data chunk cut inside the track", Riff("RMID", RiffChunk("data", smf.substr(0, 34), 41)),
         "File is cut short inside track 1.", 2},
        {"no data chunk", Riff("RMID", RiffChunk("LIST", "INFO")), kNoHeader, -1},
        {"a chunk length beyond the file before any data",
         Riff("RMID", RiffChunk("LIST", "INFO", 0xFFFFFFFF) + RiffChunk("data", smf)), kNoHeader,
         -1},
        {"RIFF of another form", Riff("WAVE", RiffChunk("data", smf)), kNoHeader, -1},
        {"RIFF header alone", Hex("'RIFF' 04 00 00 00 'RMID'"), kNoHeader, -1},
        {"RIFF cut inside its header", Hex("'RIFF' 04 00 00"), kNoHeader, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const MidiFile song = Read(c.bytes, &message);
        EXPECT_EQ(message, c.message);
        EXPECT_EQ(song.FileLength, static_cast<int32_t>(c.bytes.size()));
        if (c.events >= 0) {
            EXPECT_EQ(song.Count(0), c.events);
            EXPECT_TRUE(WritesAndReadsBack(song));
        }
        if (c.message.empty()) {
            EXPECT_TRUE(SameEvents(expected, song));
        }
    }
}

}  // namespace
}  // namespace verselane::test
