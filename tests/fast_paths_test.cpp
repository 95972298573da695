// The reader's and the writer's fast paths against the plain algorithms:
// channel messages decoded straight from the bytes must give exactly what
// the event step gives, and a song streamed to a file through a fixed buffer
// exactly the bytes encoded in memory.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "model/errors.h"
#include "reader/event_decoding.h"
#include "reader/midi_reader.h"
#include "reader/number_reading.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane {
namespace {

namespace fs = std::filesystem;
using test::Chunk;
using test::SmfHeader;

struct Outcome {
    std::string message;
    std::vector<std::pair<int64_t, int64_t>> progress;
};

// The reading pass as the plain loop over the event step, one ReadEvent per
// event, for files of a 14-byte header and `NumTracks` chunks: the oracle
// for the reader's own decoding loop.
Outcome ReadByEventStep(MidiFile& song, const std::string& bytes) {
    Outcome outcome;
    ResetMidiFile(song);
    song.FileLength = static_cast<int32_t>(bytes.size());
    try {
        ByteSource in(bytes);
        in.Seek(8);
        song.Header = ReadHeader(in);
        song.Header.Length = 6;
        int32_t longest = 0;
        for (int i = 1; i <= song.Header.NumTracks; ++i) {
            const bool track = in.ReadBytes(4) == "MTrk";
            int32_t length = 0;
            ReadLong(in, length);
            if (track) longest = std::max(longest, length);
            if (!track)
                outcome.message = "Failed to find MTrk track header for track " + std::to_string(i);
            in.Seek(in.Position() + length);
        }
        song.EventSlots = longest / 2 + 100;
        ResizeTracks(song, song.Header.NumTracks + 2, true);
        ReadState state;
        int64_t next = 14;
        while (!in.Eof() && state.TrackIndex < song.Header.NumTracks) {
            in.Seek(next);
            state.RunKind = 0;
            const bool track = in.ReadBytes(4) == "MTrk";
            int32_t length = 0;
            ReadLong(in, length);
            const int64_t track_end = in.Position() + length;
            if (!track) {
                next = track_end;
                ++state.TrackIndex;
                continue;
            }
            const std::string cut =
                "File is cut short inside track " + std::to_string(state.TrackIndex + 1) + ".";
            if (in.Eof()) {
                outcome.message = cut;
                return outcome;
            }
            state.AbsTime = 0;
            while (in.Position() < track_end) {
                if (ReadEvent(song, in, state) == EventStep::CutShort) {
                    outcome.message = cut;
                    return outcome;
                }
                if (++song.Count(state.TrackIndex) % 512 == 0) {
                    outcome.progress.emplace_back(in.Position(), in.Length());
                }
            }
            next = track_end;
            ++state.TrackIndex;
        }
    } catch (const RuntimeError& e) {
        outcome.message = std::string(kErrorPrefix) + e.what();
    }
    return outcome;
}

Outcome ReadFast(MidiFile& song, const std::string& bytes) {
    Outcome outcome;
    ResetMidiFile(song);
    outcome.message = ReadMidiBytes(song, bytes, [&](int64_t done, int64_t total) {
        outcome.progress.emplace_back(done, total);
    });
    return outcome;
}

// Track bodies that look like music, with the awkward cases mixed in:
// running status after meta and system events, system messages (kind 7),
// program changes, delta times of one to four bytes (some with bit 7 set on
// the fourth), meta and sysex bodies, texts and lyrics, tempo events; then
// some bodies get stray bytes or lose their end.
std::string RandomBody(std::mt19937& rng, int events) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::string body;
    auto byte = [&](int b) { body.push_back(static_cast<char>(b)); };
    for (int i = 0; i < events; ++i) {
        switch (pick(4)) {
            case 0:
                byte(0);
                break;
            case 1:
                byte(pick(128));
                break;
            case 2:
                byte(0x80 | pick(128));
                byte(pick(128));
                break;
            default:
                for (int k = 0; k < 3; ++k) byte(0x80 | pick(128));
                byte(pick(256));
                break;
        }
        switch (pick(12)) {
            case 0:
            case 1:
            case 2:  // note with its status
                byte(0x90 | pick(16));
                byte(pick(128));
                byte(pick(128));
                break;
            case 3:
            case 4:
            case 5:  // running status
                byte(pick(128));
                if (pick(4)) byte(pick(128));
                break;
            case 6:
                byte(0xC0 | pick(16));
                byte(pick(128));
                break;
            case 7:
                byte(0xE0 | pick(16));
                byte(pick(128));
                byte(pick(128));
                break;
            case 8:
                byte(0xF1 + pick(6) + (pick(2) ? 7 : 0));
                break;  // F1-F6, F8-FD
            case 9: {
                static const int kTypes[] = {0x01, 0x05, 0x03, 0x02, 0x51, 0x2F, 0x7F};
                byte(0xFF);
                const int type = kTypes[pick(7)];
                byte(type);
                const char* text = type == 0x51 ? "\x07\xA1\x20" : pick(2) ? "@Kla\r" : "/la";
                std::string data = text;
                byte(static_cast<int>(data.size()));
                body += data;
                break;
            }
            case 10:
                byte(pick(2) ? 0xF0 : 0xF7);
                byte(3);
                byte(1);
                byte(2);
                byte(0xF7);
                break;
            default:
                byte(0xA0 | pick(16));
                byte(pick(256));
                byte(pick(256));
                break;
        }
    }
    if (pick(3) == 0 && !body.empty()) body[rng() % body.size()] = static_cast<char>(pick(256));
    if (pick(3) == 0) body.resize(body.size() - rng() % (body.size() / 4 + 1));
    return body;
}

// Random songs of one to three tracks, some with more than a thousand
// events, some cut off inside the last track, some with a chunk that claims
// more bytes than it has: the reader and the plain loop agree on every field
// of the song, on every event stored and on every progress call.
TEST(FastPaths, ReaderAgreesWithTheEventStepOnRandomSongs) {
    std::mt19937 rng(20240601);
    for (int round = 0; round < 1500; ++round) {
        SCOPED_TRACE(round);
        const int tracks = 1 + static_cast<int>(rng() % 3);
        std::string file = SmfHeader(1, tracks, 96);
        for (int t = 0; t < tracks; ++t) {
            const int events = rng() % 8 == 0 ? 1100 + static_cast<int>(rng() % 600)
                                              : static_cast<int>(rng() % 40);
            std::string body = RandomBody(rng, events);
            file += rng() % 10 == 0 ? Chunk("MTrk", body, static_cast<uint32_t>(body.size()) + 5)
                                    : Chunk("MTrk", body);
        }
        if (rng() % 4 == 0) file.resize(file.size() - rng() % 8);

        MidiFile expected, actual;
        const Outcome plain = ReadByEventStep(expected, file);
        const Outcome fast = ReadFast(actual, file);
        ASSERT_EQ(fast.message, plain.message);
        ASSERT_EQ(fast.progress, plain.progress);
        ASSERT_EQ(actual.EventCount, expected.EventCount);
        for (size_t t = 0; t < expected.Tracks.size(); ++t) {
            ASSERT_EQ(actual.Tracks[t].Stored(), expected.Tracks[t].Stored()) << "track " << t;
        }
        EXPECT_EQ(actual.KaraokeText, expected.KaraokeText);
        EXPECT_EQ(actual.LyricText, expected.LyricText);
        EXPECT_EQ(actual.TrackName, expected.TrackName);
        EXPECT_EQ(actual.Copyright, expected.Copyright);
        EXPECT_EQ(actual.Tempo, expected.Tempo);
        EXPECT_EQ(actual.HasKaraokeText, expected.HasKaraokeText);
        EXPECT_EQ(actual.HasLyrics, expected.HasLyrics);
        EXPECT_EQ(actual.EventSlots, expected.EventSlots);
    }
}

// A channel message needs at most seven bytes; the decoding loop hands the
// last events of the file to the event step. Every way of cutting a file
// inside its last message keeps the whole events before it, in both paths.
TEST(FastPaths, EveryCutNearTheEndOfTheFile) {
    const std::string body = test::Hex(
        "00 90 3C 40 83 60 3E 40 FF FF FF 7F 80 3C 00 00 C1 05 "
        "00 F8 81 00 3C 00 00 FF 2F 00");
    const std::string whole = SmfHeader(0, 1, 96) + Chunk("MTrk", body);
    for (size_t cut = 14 + 8; cut <= whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        const std::string file = whole.substr(0, cut);
        MidiFile expected, actual;
        ASSERT_EQ(ReadFast(actual, file).message, ReadByEventStep(expected, file).message);
        EXPECT_EQ(actual.EventCount, expected.EventCount);
        EXPECT_EQ(actual.Track(0).Stored(), expected.Track(0).Stored());
    }
}

// Songs of megabytes, read whole or stopped by an error in the middle: the
// same result, and the tracks that the read never reached hold nothing, not
// even storage.
TEST(FastPaths, BigSongsWholeAndStoppedInTheMiddle) {
    auto track = [&](int events, uint8_t channel) {
        std::string body;
        for (int i = 0; i < events; ++i) {
            body += static_cast<char>(i % 5);                           // delta
            if (i % 3 == 0) body += static_cast<char>(0x90 | channel);  // else running status
            body += static_cast<char>(0x30 + i % 40);
            body += static_cast<char>(i % 128);
        }
        return body + test::Hex("00 FF 2F 00");
    };
    const std::string overflow = test::Hex(
        "FF FF FF 7F 90 3C 40 FF FF FF 7F 3C 40 FF FF FF 7F "
        "3C 40 FF FF FF 7F 3C 40 FF FF FF 7F 3C 40 FF FF FF "
        "7F 3C 40 FF FF FF 7F 3C 40 FF FF FF 7F 3C 40 FF FF "
        "FF 7F 3C 40");
    for (int bad_track : {-1, 2}) {
        SCOPED_TRACE(bad_track);
        std::string file = SmfHeader(1, 6, 96);
        for (int t = 0; t < 6; ++t) {
            std::string body = track(t == 0 ? 10 : 90000, static_cast<uint8_t>(t));
            if (t == bad_track) body = body.substr(0, 3000) + overflow + body.substr(3000);
            file += Chunk("MTrk", body);
        }
        ASSERT_GT(file.size(), 1u << 20);
        MidiFile expected, actual;
        const Outcome plain = ReadByEventStep(expected, file);
        const Outcome fast = ReadFast(actual, file);
        EXPECT_EQ(fast.message, plain.message);
        EXPECT_EQ(fast.progress, plain.progress);
        EXPECT_EQ(actual.EventCount, expected.EventCount);
        for (size_t t = 0; t < expected.Tracks.size(); ++t) {
            EXPECT_EQ(actual.Tracks[t].Stored(), expected.Tracks[t].Stored()) << t;
            if (static_cast<int>(t) == bad_track) continue;  // its storage was taken whole
            EXPECT_LE(actual.Tracks[t].Stored().capacity(),
                      static_cast<size_t>(expected.EventCount[t]) + 1)
                << t;
        }
        if (bad_track >= 0) {
            EXPECT_EQ(fast.message, std::string(kErrorPrefix) + "Overflow");
            for (int t = bad_track + 1; t < 6; ++t) {
                EXPECT_EQ(actual.Tracks[t].Stored().capacity(), 0u) << t;
            }
        }
    }
}

MidiEvent Note(int32_t time, uint8_t key, uint8_t channel = 0) {
    MidiEvent e;
    e.Time = time;
    e.Kind = 1;
    e.Channel = channel;
    e.Data1 = key;
    e.Data2 = 64;
    return e;
}

MidiEvent Meta(int32_t time, uint8_t type, std::string data) {
    MidiEvent e;
    e.Time = time;
    e.Kind = kKindMeta;
    e.Channel = type;
    e.Data = std::string_view(data);
    return e;
}

// Three tracks, the second more than twice the writer's buffer (its length
// field has left the buffer before it is known) with a sysex body longer
// than the whole buffer, the third small.
MidiFile BigSong() {
    MidiFile song;
    ResetMidiFile(song);
    song.Header = {6, 1, 3, 480};
    song.EventSlots = 800000;
    ResizeTracks(song, 5, true);
    auto add = [&](int t, const MidiEvent& e) { song.Track(t).Event(song.Count(t)++) = e; };
    add(0, Meta(0, kMetaTrackName, "Conductor"));
    add(0, Meta(0, kMetaEndOfTrack, ""));
    int32_t time = 0;
    for (int i = 0; i < 700000; ++i) {
        time += i % 7 == 0 ? 200 : 3;  // two-byte delta times among the one-byte ones
        add(1, Note(time, static_cast<uint8_t>(i % 128), static_cast<uint8_t>(i % 3)));
    }
    MidiEvent sysex;
    sysex.Time = time + 500;
    sysex.Kind = kKindSysEx;
    sysex.Data = std::string_view(std::string(1500000, '\x11'));
    add(1, sysex);
    add(1, Meta(time + 600, kMetaEndOfTrack, ""));
    add(2, Meta(0, kMetaLyric, "la"));
    add(2, Meta(10, kMetaEndOfTrack, ""));
    return song;
}

// The chunk lengths of a written file, checked against where the chunks
// really end.
void ExpectChunksAddUp(const std::string& bytes, int tracks) {
    size_t pos = 14;
    for (int t = 0; t < tracks; ++t) {
        ASSERT_LE(pos + 8, bytes.size());
        ASSERT_EQ(bytes.substr(pos, 4), "MTrk");
        uint32_t length = 0;
        for (int k = 0; k < 4; ++k)
            length = length * 256 + static_cast<uint8_t>(bytes[pos + 4 + k]);
        pos += 8 + length;
    }
    EXPECT_EQ(pos, bytes.size());
}

TEST(FastPaths, StreamedFileEqualsTheEncodedBytes) {
    const MidiFile song = BigSong();
    const std::string encoded = EncodeMidiFile(song);
    ASSERT_GT(encoded.size(), 3u << 20);
    ExpectChunksAddUp(encoded, 3);

    test::TempDir dir;
    const fs::path path = dir / "big.mid";
    ASSERT_EQ(WriteMidiFile(song, path.string()), "");
    EXPECT_TRUE(test::ReadAll(path) == encoded);

    const fs::path other = dir / "fd.mid";
    int fd = ::open(other.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    WriteMidiFileTo(song, fd, other.string());
    ::close(fd);
    EXPECT_TRUE(test::ReadAll(other) == encoded);

    // And the file reads back to the same events.
    MidiFile back;
    ResetMidiFile(back);
    ASSERT_EQ(ReadMidiFile(back, path.string()), "");
    for (int t = 0; t < 3; ++t) EXPECT_EQ(test::EventsOf(back, t), test::EventsOf(song, t)) << t;
}

// An event that cannot be written, met after more than the buffer has gone
// to the temporary file: the song's error is the message, the old file is
// left as it was and nothing else stays in the folder.
TEST(FastPaths, AnEncodingErrorLateInTheSongLeavesTheOldFile) {
    MidiFile song = BigSong();
    MidiEvent bad = Note(20, 60);
    bad.Kind = 9;
    song.Track(2).Event(song.Count(2)++) = bad;

    test::TempDir dir;
    const fs::path path = dir / "song.mid";
    test::WriteAll(path, "old");
    EXPECT_EQ(WriteMidiFile(song, path.string()), std::string(kErrorPrefix) + "Overflow");
    EXPECT_EQ(test::ReadAll(path), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    // With an earlier bad event as well, in the first track, that one is the
    // message: the song is written in track order.
    MidiEvent system;
    system.Kind = kKindSystem;  // channel 0 would make it a sysex: refused
    song.Track(0).Event(song.Count(0)++) = system;
    EXPECT_EQ(WriteMidiFile(song, path.string()),
              std::string(kErrorPrefix) + "Invalid procedure call or argument");
    EXPECT_EQ(test::ReadAll(path), "old");

    int fd = ::open((dir / "fd.mid").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    try {
        WriteMidiFileTo(song, fd, "fd.mid");
        ADD_FAILURE() << "the song cannot be written";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::InvalidArgument) << e.what();
    }
    ::close(fd);
}

}  // namespace
}  // namespace verselane
