// MIDI files as they come in the wild: wrapped in a RIFF "RMID" file, or
// followed by bytes that belong to no announced track (junk, a second copy of
// the song, a web page saved with it).
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "reader/midi_reader.h"
#include "tests/song_checks.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane::test {
namespace {

namespace fs = std::filesystem;

std::string LittleEndian(uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}

std::string RiffChunk(std::string_view id, std::string_view body,
                      std::optional<uint32_t> claimed = std::nullopt) {
    std::string out =
        std::string(id) + LittleEndian(claimed.value_or(body.size())) + std::string(body);
    if (body.size() % 2) out.push_back('\0');
    return out;
}

std::string Riff(std::string_view form, std::string_view chunks) {
    return "RIFF" + LittleEndian(static_cast<uint32_t>(chunks.size() + 4)) + std::string(form) +
           std::string(chunks);
}

// The bytes of the "data" chunk of an RMID file, found by walking its chunks.
std::string DataChunkOf(const std::string& riff) {
    size_t pos = 12;
    while (pos + 8 <= riff.size()) {
        uint32_t length = 0;
        for (int i = 3; i >= 0; --i)
            length = length * 256 + static_cast<uint8_t>(riff[pos + 4 + i]);
        if (riff.compare(pos, 4, "data") == 0) return riff.substr(pos + 8, length);
        pos += 8 + length + (length % 2);
    }
    return {};
}

// A Standard MIDI File up to the end of its last announced chunk.
std::string AnnouncedPart(const std::string& smf) {
    const int tracks = (static_cast<uint8_t>(smf[10]) << 8) | static_cast<uint8_t>(smf[11]);
    size_t pos = 14;
    for (int i = 0; i < tracks; ++i) {
        uint32_t length = 0;
        for (int k = 0; k < 4; ++k) length = length * 256 + static_cast<uint8_t>(smf[pos + 4 + k]);
        pos += 8 + length;
    }
    return smf.substr(0, pos);
}

MidiFile Read(std::string_view bytes, std::string* message) {
    MidiFile song;
    ResetMidiFile(song);
    *message = ReadMidiBytes(song, bytes).Message();
    return song;
}

// Events per track as the outside parser mido counts them, one line a track.
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
    for (int t = 0; t < song.Header.NumTracks; ++t) {
        out += (t ? " " : "") + std::to_string(song.Count(t));
    }
    return out + "\n";
}

TEST(Containers, RmidFilesReadAsTheMidiFileInsideAndWriteBackPlain) {
    VERSELANE_REQUIRE_CORPUS();
    std::vector<fs::path> files;
    for (const fs::path& f : CorpusFiles("odd")) {
        if (f.filename().string().starts_with("rmid_")) files.push_back(f);
    }
    ASSERT_EQ(files.size(), 3u);
    TempDir dir;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const std::string riff = ReadAll(file);
        ASSERT_EQ(riff.substr(8, 4), "RMID");
        std::string message;
        MidiFile song;
        ResetMidiFile(song);
        message = ReadMidiFile(song, file.string()).Message();
        ASSERT_EQ(message, "");
        EXPECT_EQ(song.FileLength, static_cast<int32_t>(riff.size()));

        // The same song as the bytes of the data chunk alone...
        const std::string inner = DataChunkOf(riff);
        MidiFile plain = Read(inner, &message);
        ASSERT_EQ(message, "");
        plain.FileLength = song.FileLength;
        EXPECT_TRUE(SameSong(plain, song));
        // ...which the outside parser reads to the same tracks.
        WriteAll(dir / "inner.mid", inner);
        EXPECT_EQ(OurTrackSizes(song), MidoTrackSizes(dir / "inner.mid"));

        // Written back, it is a plain Standard MIDI File with the same events.
        fs::path out = dir / (file.stem().string() + "-plain.mid");
        ASSERT_EQ(WriteMidiFile(song, out.string()), "");
        const std::string written = ReadAll(out);
        EXPECT_EQ(written.substr(0, 4), "MThd");
        EXPECT_EQ(AnnouncedPart(written), written) << "nothing after the last track";
        MidiFile back = Read(written, &message);
        ASSERT_EQ(message, "");
        EXPECT_TRUE(SameEvents(song, back, true));
        EXPECT_EQ(OurTrackSizes(song), MidoTrackSizes(out));

        // The command line reads it alike.
        fs::path copied = dir / "copied.mid";
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
    std::string message;
    const MidiFile expected = Read(smf, &message);
    ASSERT_EQ(message, "");

    struct Case {
        const char* name;
        std::string bytes;
        std::string message;  // what the read says
        int events;           // events of track 0 when the song was read
    };
    const std::vector<Case> cases = {
        {"data chunk first", Riff("RMID", RiffChunk("data", smf)), "", 4},
        {"data chunk after an odd-sized chunk and its pad byte",
         Riff("RMID", RiffChunk("DISP", "abc") + RiffChunk("data", smf)), "", 4},
        {"an INFO list after the data chunk",
         Riff("RMID", RiffChunk("data", smf) + RiffChunk("LIST", "INFOINAM")), "", 4},
        {"data chunk longer than the file", Riff("RMID", RiffChunk("data", smf, 5000)), "", 4},
        {"data chunk cut inside the track", Riff("RMID", RiffChunk("data", smf.substr(0, 34), 41)),
         "File is cut short inside track 1.", 2},
        {"no data chunk", Riff("RMID", RiffChunk("LIST", "INFO")),
         "Failed to find MThd header for file.", -1},
        {"a chunk length beyond the file before any data",
         Riff("RMID", RiffChunk("LIST", "INFO", 0xFFFFFFFF) + RiffChunk("data", smf)),
         "Failed to find MThd header for file.", -1},
        {"RIFF of another form", Riff("WAVE", RiffChunk("data", smf)),
         "Failed to find MThd header for file.", -1},
        {"RIFF header alone", Hex("'RIFF' 04 00 00 00 'RMID'"),
         "Failed to find MThd header for file.", -1},
        {"RIFF cut inside its header", Hex("'RIFF' 04 00 00"),
         "Failed to find MThd header for file.", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MidiFile song = Read(c.bytes, &message);
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

// Bytes after the last announced track are not read: the song is the one of
// the file cut after that track, and its copy holds nothing after it.
TEST(Containers, BytesAfterTheLastAnnouncedTrackAreIgnored) {
    VERSELANE_REQUIRE_CORPUS();
    TempDir dir;
    for (const char* name : {"odd/html_tail.mid", "odd/junk_tail.mid", "odd/double_smf.mid"}) {
        SCOPED_TRACE(name);
        const fs::path file = *CorpusDir() / name;
        const std::string whole = ReadAll(file);
        const std::string announced = AnnouncedPart(whole);
        ASSERT_LT(announced.size(), whole.size()) << "the file has bytes after its tracks";

        std::string message;
        MidiFile song;
        ResetMidiFile(song);
        ASSERT_EQ(ReadMidiFile(song, file.string()).Message(), "");
        MidiFile cut = Read(announced, &message);
        ASSERT_EQ(message, "");
        cut.FileLength = song.FileLength;
        EXPECT_TRUE(SameSong(cut, song));

        WriteAll(dir / "announced.mid", announced);
        EXPECT_EQ(OurTrackSizes(song), MidoTrackSizes(dir / "announced.mid"));

        fs::path out = dir / "copy.mid";
        ASSERT_EQ(WriteMidiFile(song, out.string()), "");
        const std::string written = ReadAll(out);
        EXPECT_EQ(AnnouncedPart(written), written);
        MidiFile back = Read(written, &message);
        ASSERT_EQ(message, "");
        EXPECT_TRUE(SameEvents(song, back, true));
    }
}

}  // namespace
}  // namespace verselane::test
