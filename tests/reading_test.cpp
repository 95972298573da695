// Reading: numbers, the event step, and whole files with the reader's messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/errors.h"
#include "reader/event_decoding.h"
#include "reader/midi_reader.h"
#include "reader/number_reading.h"
#include "tests/support/test_support.h"

namespace verselane {
namespace {

using test::Chunk;
using test::EventsOf;
using test::Hex;
using test::Smf;
using test::SmfHeader;

std::string Repeat(const char* readable, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += Hex(readable);
    return out;
}

std::string Read(MidiFile& song, const std::string& bytes, const ReadProgress& progress = {}) {
    ResetMidiFile(song);
    return ReadMidiBytes(song, bytes, progress).Message();
}

TEST(NumberReading, VariableLengthQuantities) {
    struct Case {
        const char* bytes;
        int32_t value;
        int count;  // bytes taken; 0: the number runs past four bytes
    } cases[] = {
        {"00", 0, 1},
        {"7F", 127, 1},
        {"81 00", 128, 2},
        {"FF 7F", 16383, 2},
        {"81 80 00", 16384, 3},
        {"FF FF 7F", 2097151, 3},
        {"81 80 80 00", 2097152, 4},
        {"FF FF FF 7F", 268435455, 4},
        {"81 80 80 80 00", 0, 0},
    };
    for (const Case& c : cases) {
        std::string bytes = Hex(c.bytes);
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
        int32_t value = -1;
        EventFault fault = EventFault::None;
        const uint8_t* end = DecodeVarLenAt(p, p + bytes.size(), value, fault);
        if (c.count == 0) {
            EXPECT_EQ(end, nullptr) << c.bytes;
            EXPECT_EQ(fault, EventFault::LongNumber) << c.bytes;
            continue;
        }
        ASSERT_NE(end, nullptr) << c.bytes;
        EXPECT_EQ(end - p, c.count) << c.bytes;
        EXPECT_EQ(value, c.value) << c.bytes;
        // The same number from its bytes, and cut short before its end.
        VarLenBytes v;
        v.Count = static_cast<uint8_t>(c.count);
        std::copy(p, end, v.Bytes);
        EXPECT_EQ(DecodeVarLen(v), c.value) << c.bytes;
        EXPECT_EQ(DecodeVarLenAt(p, end - 1, value, fault), nullptr) << c.bytes;
        EXPECT_EQ(fault, EventFault::CutShort) << c.bytes;
    }
}

TEST(NumberReading, FixedWidthFieldsAndTheirOverflow) {
    struct Case {
        const char* bytes;
        bool is_long;
        int64_t value;  // -1: Overflow
    } cases[] = {
        {"00 00 00 06", true, 6},  {"00 00 01 00", true, 256}, {"7F FF FF FF", true, 2147483647},
        {"80 00 00 00", true, -1}, {"01 E0", false, 480},      {"7F FF", false, 32767},
        {"E7 28", false, -1},
    };
    for (const Case& c : cases) {
        std::string bytes = Hex(c.bytes);
        ByteSource in(bytes);
        try {
            int64_t value;
            if (c.is_long) {
                int32_t v = 0;
                ReadLong(in, v);
                value = v;
            } else {
                value = ReadInteger(in);
            }
            EXPECT_EQ(value, c.value) << c.bytes;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(c.value, -1) << c.bytes << ": " << e.what();
            EXPECT_EQ(e.Kind(), ErrorKind::Overflow);
            EXPECT_EQ(in.Position(), c.is_long ? 4 : 2);  // every byte was read first
        }
    }
}

// One track's events as (time, kind, channel, data1, data2, body).
struct Ev {
    int32_t time;
    int kind, channel, data1, data2;
    std::string body = {};
};

void ExpectTrack(const MidiFile& song, int t, const std::vector<Ev>& want) {
    std::vector<MidiEvent> got = EventsOf(song, t);
    ASSERT_EQ(got.size(), want.size()) << "track " << t;
    for (size_t i = 0; i < want.size(); ++i) {
        const MidiEvent& e = got[i];
        EXPECT_EQ(e.Time, want[i].time) << "event " << i;
        EXPECT_EQ(e.Kind, want[i].kind) << "event " << i;
        EXPECT_EQ(e.Channel, want[i].channel) << "event " << i;
        EXPECT_EQ(e.Data1, want[i].data1) << "event " << i;
        EXPECT_EQ(e.Data2, want[i].data2) << "event " << i;
        EXPECT_EQ(e.Data.str(), want[i].body) << "event " << i;
    }
}

TEST(EventDecoding, ChannelMessagesAndRunningStatus) {
    struct Case {
        const char* name;
        std::vector<std::string> tracks;
        std::vector<std::vector<Ev>> want;
    } cases[] = {
        {"note on in running status",
         {Hex("00 90 3C 64 10 3C 00")},
         {{{0, 1, 0, 0x3C, 0x64}, {16, 1, 0, 0x3C, 0}}}},
        {"program changes take one data byte",
         {Hex("00 C5 07 00 09")},
         {{{0, 4, 5, 7, 0}, {0, 4, 5, 9, 0}}}},
        {"running status continues after a meta event",
         {Hex("00 90 3C 64 00 FF 01 01 'A' 00 3E 40")},
         {{{0, 1, 0, 0x3C, 0x64}, {0, 0xFF, 1, 0, 0, "A"}, {0, 1, 0, 0x3E, 0x40}}}},
        {"system messages take the data bytes of their status",
         {Hex("00 F1 05 00 F2 01 02 00 F3 7F 00 F6 05 F8 00 FE")},
         {{{0, 7, 1, 5, 0},
           {0, 7, 2, 1, 2},
           {0, 7, 3, 0x7F, 0},
           {0, 7, 6, 0, 0},
           {5, 7, 8, 0, 0},
           {5, 7, 0xE, 0, 0}}}},
        {"real-time bytes keep running status",
         {Hex("00 90 3C 64 00 F8 00 3E 40")},
         {{{0, 1, 0, 0x3C, 0x64}, {0, 7, 8, 0, 0}, {0, 1, 0, 0x3E, 0x40}}}},
        {"sysex, escape and unlisted meta bodies are kept",
         {Hex("00 F0 03 7E 7F F7 01 F7 02 01 02 00 FF 7F 02 00 01 00 FF 2F 00")},
         {{{0, 0xF0, 0, 0, 0, Hex("7E 7F F7")},
           {1, 0xF7, 0, 0, 0, Hex("01 02")},
           {1, 0xFF, 0x7F, 0, 0, Hex("00 01")},
           {1, 0xFF, 0x2F, 0, 0}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = SmfHeader(1, static_cast<int>(c.tracks.size()), 96);
        for (const std::string& body : c.tracks) file += Chunk("MTrk", body);
        MidiFile song;
        ASSERT_EQ(Read(song, file), "");
        for (size_t t = 0; t < c.want.size(); ++t)
            ExpectTrack(song, static_cast<int>(t), c.want[t]);
    }
}

TEST(EventDecoding, MetaEventsFillTheSongWideFields) {
    std::string track =
        Hex("00 FF 03 05 'Piano' 00 FF 04 03 'Org' 00 FF 02 03 '(c)'"
            "00 FF 01 13 '@KMIDI KARAOKE FILE'"
            "00 FF 01 04 '/one' 00 FF 01 04 '\\two' 00 FF 01 04 ' end' 00 FF 01 00"
            "00 FF 05 03 'Hel' 00 FF 05 03 'lo\r' 00 FF 05 03 'you'"
            "00 FF 51 03 07 A1 20 00 FF 51 03 06 1A 80"  // 120 then 150 beats per minute
            "00 FF 59 02 FF 01 00 FF 58 04 06 03 18 08 00 FF 58 04 03 02 18 08");
    MidiFile song;
    ASSERT_EQ(Read(song, Smf(1, 96, {track, Hex("00 FF 03 02 'B2'")})), "");
    EXPECT_EQ(song.TrackName[0], "Piano");
    EXPECT_EQ(song.TrackName[1], "B2");
    EXPECT_EQ(song.InstrumentName[0], "Org");
    EXPECT_EQ(song.Copyright, "(c)");
    EXPECT_TRUE(song.HasKaraokeText);
    EXPECT_EQ(song.KaraokeText, "@KMIDI KARAOKE FILE\r\n\r\n/one\r\n\r\n\\two end");
    EXPECT_TRUE(song.HasLyrics);
    EXPECT_EQ(song.LyricText, "Hello\r\nyou");
    EXPECT_EQ(song.Tempo, 120);  // the first tempo wins
    EXPECT_EQ(song.KeySignature, 255);
    EXPECT_EQ(song.KeyMode, 1);
    EXPECT_EQ(song.TimeSigNumerator, 6);
    EXPECT_EQ(song.TimeSigDenominator, 8);
    EXPECT_EQ(song.Count(0), 16);
}

TEST(EventDecoding, UndecodableMetaEventsAreErrors) {
    struct Case {
        const char* track;
        const char* description;
    } cases[] = {
        {"00 FF 51 03 00 00 00",
         "Division by zero: in track 1 at byte 22: a tempo of zero microseconds per beat"},
        // 1831 microseconds: above 32767 per minute
        {"00 FF 51 03 00 07 27",
         "Overflow: in track 1 at byte 22: a tempo of 32768 beats per minute"},
        {"00 FF 58 04 04 0F 18 08",
         "Overflow: in track 1 at byte 22: a time signature's denominator of 2 to the power 15"},
        {"00 FF 51 02 07 A1",
         "Invalid procedure call or argument: in track 1 at byte 22: a tempo "
         "event shorter than three bytes"},
        {"00 FF 59 01 00",
         "Invalid procedure call or argument: in track 1 at byte 22: a key "
         "signature shorter than two bytes"},
    };
    for (const Case& c : cases) {
        MidiFile song;
        EXPECT_EQ(Read(song, Smf(1, 96, {Hex(c.track)})), std::string(kErrorPrefix) + c.description)
            << c.track;
    }
    // Times beyond 2^31 - 1 ticks: nine of the longest delta times.
    MidiFile song;
    EXPECT_EQ(Read(song, Smf(1, 96, {Repeat("FF FF FF 7F 90 3C 40", 9)})),
              std::string(kErrorPrefix) +
                  "Overflow: in track 1 at byte 78: a time beyond 2147483647 ticks");
    EXPECT_EQ(song.Count(0), 8);  // the events before it stay
    // Only the first tempo is decoded: a bad later one is stored and ignored.
    EXPECT_EQ(Read(song, Smf(1, 96, {Hex("00 FF 51 03 07 A1 20 00 FF 51 03 00 00 00")})), "");
    EXPECT_EQ(song.Tempo, 120);
}

TEST(Reader, HeaderAndChunkLayout) {
    const std::string track = Hex("00 90 3C 64 00 FF 2F 00");
    struct Case {
        const char* name;
        std::string file;
        std::string message;
        int num_tracks, track_slots, event_slots;
        std::vector<int> counts;  // EventCount of the first slots
    } cases[] = {
        {"empty file", "", "Failed to find MThd header for file.", 0, 0, 0, {}},
        {"not a MIDI file", "RIFF0000", "Failed to find MThd header for file.", 0, 0, 0, {}},
        {"no tracks", SmfHeader(0, 0, 96), "", 0, 2, 100, {0}},
        {"a longer header is skipped",
         Chunk("MThd", Hex("00 00 00 01 00 60 AA BB CC DD")) + Chunk("MTrk", track),
         "",
         1,
         3,
         104,
         {2, 0}},
        {"capacity from the longest chunk",
         SmfHeader(1, 2, 96) + Chunk("MTrk", Repeat("00 F8", 50)) +
             Chunk("MTrk", Repeat("00 F8", 1500)),
         "",
         2,
         4,
         1600,
         {50, 1500}},
        {"a foreign chunk takes a track number",
         SmfHeader(1, 3, 96) + Chunk("MTrk", track) + Chunk("XFIH", "abcd") +
             Chunk("MTrk", track + track),
         "Failed to find MTrk track header for track 2",
         3,
         5,
         108,
         {2, 0, 4}},
        {"fewer chunks than announced",
         SmfHeader(1, 3, 96) + Chunk("MTrk", track) + Chunk("MTrk", track),
         "Failed to find MTrk track header for track 3",
         3,
         5,
         104,
         {2, 2, 0}},
        {"track chunks beyond the announced ones are not read",
         SmfHeader(1, 1, 96) + Chunk("MTrk", track) + Chunk("MTrk", "junk") + Chunk("MTrk", ""),
         "2 more track chunks from byte 30 beyond the 1 that the header announces; not read.",
         1,
         3,
         104,
         {2, 0}},
        {"other bytes after the last track are not the song's",
         SmfHeader(1, 1, 96) + Chunk("MTrk", track) + "junk after the song",
         "",
         1,
         3,
         104,
         {2, 0}},
        {"events after the end of track are read up to the chunk's end",
         Smf(1, 96, {track + Hex("00 3C 00")}),
         "",
         1,
         3,
         105,
         {3}},
        {"SMPTE division",
         Chunk("MThd", Hex("00 01 00 01 E7 28")),
         std::string(kErrorPrefix) +
             "Overflow: the 16-bit field 59176 before byte 14 is larger than 32767",
         0,
         0,
         0,
         {}},
        {"a chunk longer than a Long",
         SmfHeader(1, 1, 96) + Chunk("MTrk", track, 0x80000000u),
         std::string(kErrorPrefix) +
             "Overflow: the length of the chunk of track 1 at byte 14: the 32-bit field "
             "2147483648 before byte 22 is larger than 2147483647",
         1,
         0,
         0,
         {}},
        {"32766 tracks",
         SmfHeader(1, 32766, 96),
         std::string(kErrorPrefix) + "Overflow: the header announces 32766 tracks, more than 32765",
         32766,
         0,
         100,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MidiFile song;
        EXPECT_EQ(Read(song, c.file), c.message);
        EXPECT_EQ(song.FileLength, static_cast<int32_t>(c.file.size()));
        EXPECT_EQ(song.Header.NumTracks, c.num_tracks);
        EXPECT_EQ(song.TrackSlots, c.track_slots);
        EXPECT_EQ(song.EventSlots, c.event_slots);
        for (size_t t = 0; t < c.counts.size(); ++t) EXPECT_EQ(song.Count(t), c.counts[t]) << t;
    }
}

TEST(Reader, LetsTheUserInterfaceRunEvery512Events) {
    std::string body;
    for (int i = 0; i < 1024; ++i) body += Hex("00 90 3C 64");
    std::string file = Smf(0, 96, {body});
    std::vector<int64_t> calls;
    MidiFile song;
    ASSERT_EQ(Read(song, file,
                   [&](int64_t done, int64_t total) {
                       EXPECT_EQ(total, static_cast<int64_t>(file.size()));
                       calls.push_back(done);
                   }),
              "");
    EXPECT_EQ(calls, (std::vector<int64_t>{22 + 512 * 4, 22 + 1024 * 4}));
}

// A file that ends inside a track keeps the whole events before the cut and
// says which track was cut; the missing bytes never turn into events.
TEST(Reader, CutShortFilesKeepOnlyWholeEvents) {
    const std::string head =
        SmfHeader(1, 2, 96) + Chunk("MTrk", Hex("00 FF 03 01 'A' 00 FF 2F 00"));
    const std::string events = Hex("00 90 3C 64 10 FF 05 03 'la ' 10 80 3C 00");
    const std::string full = head + Chunk("MTrk", events);
    struct Case {
        size_t cut;  // bytes of the second track's events that remain
        int whole_events;
    } cases[] = {{0, 0}, {1, 0}, {3, 0}, {4, 1}, {6, 1}, {9, 1}, {11, 2}, {14, 2}, {15, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cut);
        std::string file = full.substr(0, head.size() + 8 + c.cut);
        MidiFile song;
        std::string message = Read(song, file);
        if (c.cut == events.size()) {
            EXPECT_EQ(message, "");
        } else {
            EXPECT_EQ(message, "File is cut short inside track 2.");
        }
        EXPECT_EQ(song.Count(0), 2);
        EXPECT_EQ(song.Count(1), c.whole_events);
        EXPECT_EQ(song.LyricText, c.whole_events >= 2 ? "la " : "");
    }
    // A chunk that claims more than the file holds, with whole events up to the end.
    MidiFile song;
    EXPECT_EQ(Read(song, head + Chunk("MTrk", events, 4000)), "File is cut short inside track 2.");
    EXPECT_EQ(song.Count(1), 3);
    EXPECT_EQ(song.EventSlots, 107);  // by the bytes there, not the length claimed
}

// Storage follows the events actually in the file, not what its chunk
// lengths claim: a small file that claims a huge track costs nothing more.
TEST(Reader, StorageFollowsTheFileNotItsClaims) {
    std::string body;
    for (int i = 0; i < 300; ++i) body += Hex("01 90 3C 64");
    MidiFile song;
    EXPECT_EQ(Read(song, SmfHeader(1, 2, 96) + Chunk("MTrk", body, 0x7FFFFFF0u)),
              "File is cut short inside track 1.");
    EXPECT_EQ(Read(song, SmfHeader(1, 1, 96) + Chunk("MTrk", body, 0x7FFFFF00u - 22)),
              "File is cut short inside track 1.");
    EXPECT_EQ(song.EventSlots, 1200 / 2 + 100);  // by the bytes there
    EXPECT_EQ(song.Count(0), 300);
    size_t capacity = 0;
    for (const MidiTrack& track : song.Tracks) capacity += track.Stored().capacity();
    EXPECT_LE(capacity, 301u);
}

}  // namespace
}  // namespace verselane
