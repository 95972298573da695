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
constexpr ReadResult kComplete = ReadResult::Complete;
constexpr ReadResult kPartial = ReadResult::Partial;
constexpr ReadResult kFailed = ReadResult::Failed;

struct Case {
    std::string name;
    std::string bytes;      // written to a file and read from it...
    std::string path = {};  // ...unless a path to read is given
    ReadResult result = kComplete;
    std::string expected = {};  // the messages one per line, or their beginning
    Match match = Match::Exact;
    std::string contains = {};      // a reason that the message must hold
    int32_t events_in_track0 = -1;  // when 0 or more: what track 0 must hold
    bool from_memory = false;       // read with ReadMidiBytes (prefixes)
};

std::string Damage(int track, int64_t byte, const char* what) {
    return "In track " + std::to_string(track) + " at byte " + std::to_string(byte) + ", " + what;
}
constexpr const char* kPastChunk = "an event runs past the end of its chunk; it is not read.";
constexpr const char* kRestLost = "; the rest of the track is not read.";

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
        c.result = p < 14 ? kFailed : p == whole.size() ? kComplete : kPartial;
        if (p < 14) {
            c.expected = kNoHeader;
        } else if (p < whole.size()) {
            for (size_t i = 0; i < chunks.size(); ++i) {
                if (p >= chunks[i].start && p < chunks[i].end) {
                    // Inside the chunk's type no track chunk is found; from
                    // its length field on, the track is cut short.
                    c.expected = p < chunks[i].start + 4 ? kNoTrack + std::to_string(i + 1)
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
    WriteAll(dir / "holes.mid", SmfHeader(0, 1, 96) + Hex("'MTrk' 3F FF FF F0 00 90 3C 40"));
    fs::resize_file(dir / "holes.mid", uint64_t{1} << 30);
    const std::string kTrack2 = Chunk("MTrk", kTrack);
    std::vector<Case> cases = {
        {"empty file", "", {}, kFailed, kNoHeader},
        {"MThd alone", "MThd", {}, kFailed, kNoHeader},
        {"header cut inside its fields", Header(6, Hex("0000 0001")), {}, kFailed, kNoHeader},
        // The first chunk is sought right after the length field, among the
        // header fields, where no "MTrk" is found.
        {"header length 0", Header(0, kOneTrack) + kTrack2, {}, kPartial, kNoTrack + "1"},
        {"header length 5", Header(5, kOneTrack) + kTrack2, {}, kPartial, kNoTrack + "1"},
        {"header length 10",
         Header(10, kOneTrack, Hex("01020304")) + kTrack2,
         {},
         kComplete,
         "",
         Match::Exact,
         {},
         4},
        {"header length 0x7FFFFFFF",
         Header(0x7FFFFFFF, kOneTrack) + kTrack2,
         {},
         kPartial,
         kNoTrack + "1"},
        {"no tracks announced, one there",
         Header(6, Hex("0000 0000 0060")) + kTrack2,
         {},
         kPartial,
         "1 more track chunk from byte 14 beyond the 0 that the header announces; not read.",
         Match::Exact,
         {},
         0},
        {"fewer tracks announced than there are",
         Header(6, kOneTrack) + kTrack2 + kTrack2,
         {},
         kPartial,
         "1 more track chunk from byte 42 beyond the 1 that the header announces; not read.",
         Match::Exact,
         {},
         4},
        {"more tracks announced than there are",
         Header(6, Hex("0001 7FFD 0060")) + kTrack2,
         {},
         kPartial,
         kNoTrack + "2",
         Match::Exact,
         {},
         4},
        {"32766 tracks announced",
         Header(6, Hex("0001 7FFE 0060")) + kTrack2,
         {},
         kFailed,
         kError + "Overflow: the header announces 32766 tracks, more than 32765"},
        {"SMPTE division",
         Header(6, Hex("0000 0001 E728")) + kTrack2,
         {},
         kFailed,
         kError + "Overflow: the 16-bit field 59176",
         Match::Prefix},
        {"chunk length 0",
         SmfHeader(0, 1, 96) + Chunk("MTrk", ""),
         {},
         kComplete,
         "",
         Match::Exact,
         {},
         0},
        {"chunk length beyond the file",
         SmfHeader(0, 1, 96) + Chunk("MTrk", kTrack, 100),
         {},
         kPartial,
         CutShort(1),
         Match::Exact,
         {},
         4},
        {"chunk length 0x7FFFFFFF",
         SmfHeader(0, 1, 96) + Chunk("MTrk", kTrack, 0x7FFFFFFF),
         {},
         kPartial,
         CutShort(1),
         Match::Exact,
         {},
         4},
        {"chunk length 0x80000000",
         SmfHeader(0, 1, 96) + Chunk("MTrk", kTrack, 0x80000000u),
         {},
         kFailed,
         kError + "Overflow: the length of the chunk of track 1 at byte 14",
         Match::Prefix},
        {"first chunk two bytes short: its end and the next chunk are lost",
         SmfHeader(1, 2, 96) + Chunk("MTrk", kTrack, kTrack.size() - 2) + kTrack2,
         {},
         kPartial,
         Damage(1, 38, kPastChunk) + "\n" + kNoTrack + "2",
         Match::Exact,
         {},
         3},
        {"track cut inside a delta",
         SmfHeader(0, 1, 96) + Chunk("MTrk", Hex("00 90 3C 64 81"), 9),
         {},
         kPartial,
         CutShort(1),
         Match::Exact,
         {},
         1},
        {"track cut inside a body",
         SmfHeader(0, 1, 96) + Chunk("MTrk", Hex("00 90 3C 64 00 FF 05 05 'ab'"), 13),
         {},
         kPartial,
         CutShort(1),
         Match::Exact,
         {},
         1},
        {"second track cut inside its length field",
         SmfHeader(1, 2, 96) + kTrack2 + Hex("'MTrk' 00 00"),
         {},
         kPartial,
         CutShort(2)},
        {"a meta length that crosses its chunk's end",
         SmfHeader(1, 2, 96) + Chunk("MTrk", Hex("00 90 3C 64 00 FF 05 20 'ab'")) + kTrack2,
         {},
         kPartial,
         Damage(1, 26, kPastChunk),
         Match::Exact,
         {},
         1},
        {"an escape length that crosses its chunk's end",
         SmfHeader(1, 2, 96) + Chunk("MTrk", Hex("00 F7 05 F8")) + kTrack2,
         {},
         kPartial,
         Damage(1, 22, kPastChunk),
         Match::Exact,
         {},
         0},
        {"a channel message that crosses its chunk's end",
         SmfHeader(1, 2, 96) + Chunk("MTrk", Hex("00 90 3C")) + kTrack2,
         {},
         kPartial,
         Damage(1, 22, kPastChunk),
         Match::Exact,
         {},
         0},
        {"running status with no status in effect",
         SmfHeader(0, 1, 96) + Chunk("MTrk", Hex("00 3C 40 00 FF 2F 00")),
         {},
         kPartial,
         Damage(1, 22, "a data byte comes with no status in effect") + kRestLost,
         Match::Exact,
         {},
         0},
        {"running status does not carry over from the track before",
         SmfHeader(1, 2, 96) + Chunk("MTrk", Hex("00 93 3C 64")) + Chunk("MTrk", Hex("00 3C 40")),
         {},
         kPartial,
         Damage(2, 34, "a data byte comes with no status in effect") + kRestLost},
        {"a system common message ends running status",
         SmfHeader(0, 1, 96) + Chunk("MTrk", Hex("00 90 3C 64 00 F6 00 3E 40")),
         {},
         kPartial,
         Damage(1, 28, "a data byte comes with no status in effect") + kRestLost,
         Match::Exact,
         {},
         2},
        {"variable-length number of five bytes",
         SmfHeader(0, 1, 96) + Chunk("MTrk", Hex("00 90 3C 64 81 80 80 80 00 90 00 FF 2F 00")),
         {},
         kPartial,
         Damage(1, 26, "a variable-length number runs past four bytes") + kRestLost,
         Match::Exact,
         {},
         1},
        {"a status byte among the data bytes",
         SmfHeader(0, 1, 96) + Chunk("MTrk", Hex("00 90 3C 90 00 FF 2F 00")),
         {},
         kPartial,
         Damage(1, 22, "a byte of 0x80 or above stands where a data byte is due") + kRestLost,
         Match::Exact,
         {},
         0},
        {"a quarter-frame message with a status byte for its data",
         SmfHeader(0, 1, 96) + Chunk("MTrk", Hex("00 F1 F8 00 FF 2F 00")),
         {},
         kPartial,
         Damage(1, 22, "a byte of 0x80 or above stands where a data byte is due") + kRestLost},
        {"a directory",
         {},
         dir.path().string(),
         kFailed,
         kError + "File access error: ",
         Match::Prefix,
         "Is a directory"},
        // Root reads any file whatever its permissions; this one fails in
        // read() itself: the process's memory at address 0 is not mapped.
        {"an unreadable file",
         {},
         "/proc/self/mem",
         kFailed,
         kError + "File access error: ",
         Match::Prefix,
         "Input/output error"},
        {"a path below a file",
         {},
         (dir / "plain-file" / "song.mid").string(),
         kFailed,
         kError + "File access error: ",
         Match::Prefix,
         "Not a directory"},
        {"a device",
         {},
         "/dev/zero",
         kFailed,
         kError + "File access error: ",
         Match::Prefix,
         "not a regular file"},
        {"a named pipe with no writer", {}, (dir / "pipe").string(), kFailed, kNoHeader},
        {"a file with holes: its length is not taken on trust",
         {},
         (dir / "holes.mid").string(),
         kFailed,
         kError + "File access error: ",
         Match::Prefix,
         "a file with holes"},
        {"a file longer than 2 GiB",
         {},
         (dir / "huge.mid").string(),
         kFailed,
         kError + "Overflow",
         Match::Prefix},
        {"a missing file",
         {},
         (dir / "missing.mid").string(),
         kFailed,
         kError + "File not found: " + (dir / "missing.mid").string() +
             " (No such file or directory)"},
        {"a file name with non-ASCII characters",
         Smf(1, 480, {kTrack, kTrack}),
         (dir / "Grüße – 歌 ♪.mid").string(),
         kComplete,
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
        ReadOutcome read;
        if (c.from_memory) {
            read = ReadMidiBytes(song, c.bytes);
        } else {
            fs::path path = c.path.empty() ? dir / ("case-" + std::to_string(index++) + ".mid")
                                           : fs::path(c.path);
            if (!c.bytes.empty() || c.path.empty()) WriteAll(path, c.bytes);
            read = ReadMidiFile(song, path.string());
        }
        const std::string message = read.Message();
        EXPECT_EQ(read.Result, c.result) << message;
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
        if (read.SongUsable() && (!c.from_memory || message.empty())) {
            EXPECT_TRUE(WritesAndReadsBack(song));
        } else if (message == kNoHeader) {
            EXPECT_EQ(song.Header, MidiHeader{}) << "nothing but the length is taken";
            EXPECT_EQ(song.FileLength, static_cast<int32_t>(c.bytes.size()));
        }
    }
}

// A song read from an odd header writes back with the usual one, to a file
// with a non-ASCII name.
TEST(BadInput, OddHeadersWriteBackPlain) {
    MidiFile song;
    ResetMidiFile(song);
    ASSERT_EQ(
        ReadMidiBytes(song, Header(10, kOneTrack, Hex("01020304")) + Chunk("MTrk", kTrack)).Result,
        kComplete);
    EXPECT_EQ(song.Header.Length, 10);
    EXPECT_EQ(song.TrackName[0], "Song");

    TempDir dir;
    fs::path target = dir / "Ünïcødé 名前.mid";
    ASSERT_EQ(WriteMidiFile(song, target.string()), "");
    MidiFile back;
    ResetMidiFile(back);
    ASSERT_EQ(ReadMidiFile(back, target.string()).Result, kComplete);
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
        const ReadOutcome read = ReadMidiFile(song, entry.path().string());
        if (!read.SongUsable()) continue;
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
                    EXPECT_EQ(ReadMidiFile(back, (dir / "converted.mid").string()).Result,
                              kComplete);
                    EXPECT_TRUE(SameEvents(copy, back, true));
                } else {
                    EXPECT_TRUE(written.starts_with(kError + "Overflow: track "))
                        << written << ": track " << t << ", conversion " << how;
                }
            }
        }
    }
    EXPECT_GT(files, 0) << "tests/data holds the fuzzing regression inputs";
}

}  // namespace
}  // namespace verselane::test
