// Damaged, odd and hostile input: every case gives its exact message or a
// song, never a crash, and every song that was read can be written and read
// back.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "lyrics/converters.h"
#include "model/errors.h"
#include "reader/midi_reader.h"
#include "tests/song_checks.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane::test {
namespace {

namespace fs = std::filesystem;

const std::string kNoHeader = "Failed to find MThd header for file.";
const std::string kNoTrack = "Failed to find MTrk track header for track ";
const std::string kError(kErrorPrefix);

std::string CutShort(int track) {
    return "File is cut short inside track " + std::to_string(track) + ".";
}

std::string Long(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

// A header chunk whose length field says `length`, followed by `extra` bytes.
std::string Header(uint32_t length, std::string_view fields, std::string_view extra = {}) {
    return "MThd" + Long(length) + std::string(fields) + std::string(extra);
}

// A small whole track: a name, one note, the end of the track.
const std::string kTrack = Hex("00 FF 03 04 'Song' 00 90 3C 64 60 80 3C 00 00 FF 2F 00");
const std::string kOneTrack = Hex("0000 0001 0060");

enum class Match { Exact, Prefix };

struct Case {
    std::string name;
    std::string bytes;          // written to a file and read from it...
    std::string path = {};      // ...unless a path to read is given
    std::string expected = {};  // the message, or its beginning
    Match match = Match::Exact;
    std::string contains = {};      // a reason that the message must hold
    int32_t events_in_track0 = -1;  // when 0 or more: what track 0 must hold
    bool from_memory = false;       // read with ReadMidiBytes (prefixes)
};

// Every prefix of a well-formed corpus file, each with the message that it
// must give, worked out from the chunk layout of the whole file.
void AddPrefixes(std::vector<Case>& cases, const fs::path& file) {
    const std::string whole = ReadAll(file);
    ASSERT_GE(whole.size(), 22u) << file;
    ASSERT_EQ(whole.substr(0, 8), Hex("'MThd' 00 00 00 06")) << file;
    const int tracks = (static_cast<uint8_t>(whole[10]) << 8) | static_cast<uint8_t>(whole[11]);
    struct Span {
        size_t start, data, end;
    };
    std::vector<Span> chunks;
    size_t pos = 14;
    for (int i = 0; i < tracks; ++i) {
        ASSERT_EQ(whole.substr(pos, 4), "MTrk") << file;
        size_t length = 0;
        for (int k = 0; k < 4; ++k)
            length = length * 256 + static_cast<uint8_t>(whole[pos + 4 + k]);
        chunks.push_back({pos, pos + 8, pos + 8 + length});
        pos += 8 + length;
    }
    ASSERT_EQ(pos, whole.size()) << file << " must end with its last track";

    for (size_t p = 0; p <= whole.size(); ++p) {
        Case c{file.filename().string() + " cut to " + std::to_string(p) + " bytes",
               whole.substr(0, p)};
        c.from_memory = true;
        if (p < 14) {
            c.expected = kNoHeader;
        } else if (p == whole.size()) {
            c.expected = "";
        } else {
            for (size_t i = 0; i < chunks.size(); ++i) {
                if (p >= chunks[i].start && p < chunks[i].end) {
                    // Inside the chunk's type no track chunk is found; from
                    // its length field on, the track is cut short.
                    c.expected = p < chunks[i].start + 4 ? kNoTrack + std::to_string(tracks)
                                                         : CutShort(static_cast<int>(i) + 1);
                }
            }
        }
        cases.push_back(std::move(c));
    }
}

TEST(BadInput, EveryCaseGivesItsMessageOrASongThatWritesBack) {
    TempDir dir;
    WriteAll(dir / "plain-file", "not a folder");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    // Sparse: it takes no space on the disk, and is refused before reading.
    WriteAll(dir / "huge.mid", SmfHeader(0, 0, 96));
    fs::resize_file(dir / "huge.mid", uint64_t{3} << 30);
    std::vector<Case> cases = {
        {"empty file", "", {}, kNoHeader},
        {"MThd alone", "MThd", {}, kNoHeader},
        {"header cut inside its fields", Header(6, Hex("0000 0001")), {}, kNoHeader},
        // The first chunk is sought right after the length field, among the
        // header fields, where no "MTrk" is found.
        {"header length 0", Header(0, kOneTrack) + Chunk("MTrk", kTrack), {}, kNoTrack + "1"},
        {"header length 5", Header(5, kOneTrack) + Chunk("MTrk", kTrack), {}, kNoTrack + "1"},
        {"header length 10",
         Header(10, kOneTrack, Hex("01020304")) + Chunk("MTrk", kTrack),
         {},
         "",
         Match::Exact,
         {},
         4},
        {"header length 0x7FFFFFFF",
         Header(0x7FFFFFFF, kOneTrack) + Chunk("MTrk", kTrack),
         {},
         kError + "Overflow"},
        {"no tracks announced",
         Header(6, Hex("0000 0000 0060")) + Chunk("MTrk", kTrack),
         {},
         "",
         Match::Exact,
         {},
         0},
        {"32765 tracks announced",
         Header(6, Hex("0001 7FFD 0060")) + Chunk("MTrk", kTrack),
         {},
         kNoTrack + "32765",
         Match::Exact,
         {},
         4},
        {"32766 tracks announced",
         Header(6, Hex("0001 7FFE 0060")) + Chunk("MTrk", kTrack),
         {},
         kError + "Overflow"},
        {"32767 tracks announced",
         Header(6, Hex("0001 7FFF 0060")) + Chunk("MTrk", kTrack),
         {},
         kError + "Overflow"},
        {"SMPTE division",
         Header(6, Hex("0000 0001 E728")) + Chunk("MTrk", kTrack),
         {},
         kError + "Overflow"},
        {"chunk length 0", SmfHeader(0, 1, 96) + Chunk("MTrk", ""), {}, "", Match::Exact, {}, 0},
        {"chunk length beyond the file",
         SmfHeader(0, 1, 96) + Chunk("MTrk", kTrack, 100),
         {},
         CutShort(1),
         Match::Exact,
         {},
         4},
        {"chunk length 0x7FFFFFFF",
         SmfHeader(0, 1, 96) + Chunk("MTrk", kTrack, 0x7FFFFFFF),
         {},
         kError + "Overflow"},
        {"chunk length 0x80000000",
         SmfHeader(0, 1, 96) + Chunk("MTrk", kTrack, 0x80000000u),
         {},
         kError + "Overflow"},
        {"track cut inside a delta",
         SmfHeader(0, 1, 96) + Chunk("MTrk", Hex("00 90 3C 64 81"), 9),
         {},
         CutShort(1),
         Match::Exact,
         {},
         1},
        {"track cut inside a meta length",
         SmfHeader(0, 1, 96) + Chunk("MTrk", Hex("00 90 3C 64 00 FF 05 81"), 140),
         {},
         CutShort(1),
         Match::Exact,
         {},
         1},
        {"track cut inside a body",
         SmfHeader(0, 1, 96) + Chunk("MTrk", Hex("00 90 3C 64 00 FF 05 05 'ab'"), 13),
         {},
         CutShort(1),
         Match::Exact,
         {},
         1},
        {"second track cut inside its length field",
         SmfHeader(1, 2, 96) + Chunk("MTrk", kTrack) + Hex("'MTrk' 00 00"),
         {},
         CutShort(2)},
        // The data bytes go to a Note Off, the kind that a chunk starts with.
        {"running status with no status before it",
         SmfHeader(0, 1, 96) + Chunk("MTrk", Hex("00 3C 40 00 FF 2F 00")),
         {},
         "",
         Match::Exact,
         {},
         2},
        // Four bytes make the delta; the fifth is read as the next byte.
        {"variable-length quantity of five bytes",
         SmfHeader(0, 1, 96) + Chunk("MTrk", Hex("81 80 80 80 00 40 00 FF 2F 00")),
         {},
         "",
         Match::Exact,
         {},
         2},
        {"a directory",
         {},
         dir.path().string(),
         kError + "File access error: ",
         Match::Prefix,
         "Is a directory"},
        // Root reads any file whatever its permissions; this one fails in
        // read() itself: the process's memory at address 0 is not mapped.
        {"an unreadable file",
         {},
         "/proc/self/mem",
         kError + "File access error: ",
         Match::Prefix,
         "Input/output error"},
        {"a path below a file",
         {},
         (dir / "plain-file" / "song.mid").string(),
         kError + "File access error: ",
         Match::Prefix,
         "Not a directory"},
        {"a device",
         {},
         "/dev/zero",
         kError + "File access error: ",
         Match::Prefix,
         "not a regular file"},
        {"a named pipe with no writer", {}, (dir / "pipe").string(), kNoHeader},
        {"a file longer than 2 GiB",
         {},
         (dir / "huge.mid").string(),
         kError + "Overflow",
         Match::Prefix},
        {"a missing file",
         {},
         (dir / "missing.mid").string(),
         kError + "File not found: ",
         Match::Prefix},
        {"a file name with non-ASCII characters",
         Smf(1, 480, {kTrack, kTrack}),
         (dir / "Grüße – 歌 ♪.mid").string(),
         "",
         Match::Exact,
         {},
         4},
    };
    // A few cases of the table can only be checked exactly by their events.
    if (CorpusDir()) {
        for (const char* name :
             {"plain/dink2.mid", "lyrics/twinkle_mma.mid", "kar/twinkle_dmp.kar"}) {
            AddPrefixes(cases, *CorpusDir() / name);
        }
    } else if (CorpusRequired()) {
        ADD_FAILURE() << "the corpus is missing: the prefixes of its files are not tried";
    }

    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MidiFile song;
        ResetMidiFile(song);
        std::string message;
        if (c.from_memory) {
            message = ReadMidiBytes(song, c.bytes);
        } else {
            fs::path path = c.path.empty() ? dir / ("case-" + std::to_string(index++) + ".mid")
                                           : fs::path(c.path);
            if (!c.bytes.empty() || c.path.empty()) WriteAll(path, c.bytes);
            message = ReadMidiFile(song, path.string());
        }
        if (c.match == Match::Exact) {
            EXPECT_EQ(message, c.expected);
        } else {
            EXPECT_TRUE(message.starts_with(c.expected)) << message;
        }
        if (!c.contains.empty()) {
            EXPECT_NE(message.find(c.contains), std::string::npos) << message;
        }
        if (c.events_in_track0 >= 0) {
            EXPECT_EQ(song.Count(0), c.events_in_track0);
        }
        // Every song is written and read back, but of the corpus prefixes only
        // the whole file: the cut ones hold the same events again and again.
        if (SongWasRead(message) && (!c.from_memory || message.empty())) {
            EXPECT_TRUE(WritesAndReadsBack(song));
        } else if (message == kNoHeader) {
            EXPECT_EQ(song.Header, MidiHeader{}) << "nothing but the length is taken";
            EXPECT_EQ(song.FileLength, static_cast<int32_t>(c.bytes.size()));
        }
    }
}

// Songs that the table reads: what exactly they hold, and that a write to a
// file with a non-ASCII name reads back.
TEST(BadInput, OddSongsHoldWhatTheirBytesSay) {
    MidiFile song;
    ResetMidiFile(song);
    ASSERT_EQ(ReadMidiBytes(
                  song, SmfHeader(0, 1, 96) + Chunk("MTrk", Hex("81 80 80 80 00 40 00 FF 2F 00"))),
              "");
    EXPECT_EQ(song.Track(0).Event(0), (MidiEvent{2097152, 0, 0, 0x00, 0x40, {}}));

    ResetMidiFile(song);
    ASSERT_EQ(ReadMidiBytes(song, Header(10, kOneTrack, Hex("01020304")) + Chunk("MTrk", kTrack)),
              "");
    EXPECT_EQ(song.Header.Length, 10);
    EXPECT_EQ(song.TrackName[0], "Song");

    TempDir dir;
    fs::path target = dir / "Ünïcødé 名前.mid";
    ASSERT_EQ(WriteMidiFile(song, target.string()), "");
    MidiFile back;
    ResetMidiFile(back);
    ASSERT_EQ(ReadMidiFile(back, target.string()), "");
    EXPECT_TRUE(SameEvents(song, back, true));
    EXPECT_EQ(back.Header.Length, 6) << "the header is written with its usual length";
}

// Every regression input that fuzzing found: a message or a song; the song
// writes and reads back, and so do its conversions.
TEST(BadInput, RegressionInputsReadCleanly) {
    fs::path data = fs::path(VERSELANE_SOURCE_DIR) / "tests" / "data";
    TempDir dir;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(data)) {
        if (!entry.is_regular_file()) continue;
        ++files;
        SCOPED_TRACE(entry.path().filename().string());
        MidiFile song;
        ResetMidiFile(song);
        std::string message = ReadMidiFile(song, entry.path().string());
        EXPECT_TRUE(SongWasRead(message) || message == kNoHeader || message.starts_with(kError))
            << message;
        if (!SongWasRead(message)) continue;
        EXPECT_TRUE(WritesAndReadsBack(song));
        // Both conversions of the first tracks with events: the converted song
        // is written, or refused with Overflow when a new track spans more
        // ticks than one delta time can hold.
        int converted = 0;
        for (int16_t t = 0; t < song.Header.NumTracks && converted < 4; ++t) {
            if (song.Count(t) == 0) continue;
            ++converted;
            for (int how = 0; how < 3; ++how) {
                MidiFile copy = song;
                int16_t source = t;
                if (how == 0) {
                    LyricsToKaraoke(copy, source, KaraokeInfo{"ENG", "Title", "Artist", ""});
                } else {
                    KaraokeToLyrics(copy, t, 0, how == 2);
                }
                std::string written = WriteMidiFile(copy, (dir / "converted.mid").string());
                if (written.empty()) {
                    MidiFile back;
                    ResetMidiFile(back);
                    EXPECT_EQ(ReadMidiFile(back, (dir / "converted.mid").string()), "");
                    EXPECT_TRUE(SameEvents(copy, back, true));
                } else {
                    EXPECT_EQ(written, kError + "Overflow")
                        << "track " << t << ", conversion " << how;
                }
            }
        }
    }
    EXPECT_GT(files, 0) << "tests/data holds the fuzzing regression inputs";
}

}  // namespace
}  // namespace verselane::test
