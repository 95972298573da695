// Numbers both ways, the event step, and what a well-formed file fills in.
// (Damaged and hostile input: bad_input_test.)
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "codec/midi_codec.h"
#include "model/errors.h"
#include "reader/midi_reader.h"
#include "reader/number_reading.h"
#include "tests/support/test_support.h"

namespace verselane {
namespace {

using test::Hex;
using test::Smf;

TEST(Numbers, VariableLengthQuantitiesReadAndWriteAlike) {
    const struct {
        int32_t value;
        const char* bytes;
    } cases[] = {{0, "00"},
                 {0x7F, "7F"},
                 {0x80, "81 00"},
                 {0x2000, "C0 00"},
                 {0x3FFF, "FF 7F"},
                 {0x4000, "81 80 00"},
                 {480, "83 60"},
                 {0x1FFFFF, "FF FF 7F"},
                 {0x200000, "81 80 80 00"},
                 {0x0FFFFFFF, "FF FF FF 7F"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        const std::string bytes = Hex(c.bytes);
        std::string out = "x";
        WriteVarLen(out, c.value);
        EXPECT_EQ(out, "x" + bytes);
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
        int32_t value = -1;
        EventFault fault = EventFault::None;
        EXPECT_EQ(DecodeVarLenAt(p, p + bytes.size(), value, fault), p + bytes.size());
        EXPECT_EQ(value, c.value);
        VarLenBytes v;
        v.Count = static_cast<uint8_t>(bytes.size());
        std::copy(p, p + bytes.size(), v.Bytes);
        EXPECT_EQ(DecodeVarLen(v), c.value);
        EXPECT_EQ(DecodeVarLenAt(p, p + bytes.size() - 1, value, fault), nullptr);
        EXPECT_EQ(fault, EventFault::CutShort);
    }
    const std::string five = Hex("81 80 80 80 00");
    const auto* p = reinterpret_cast<const uint8_t*>(five.data());
    int32_t value = 0;
    EventFault fault = EventFault::None;
    EXPECT_EQ(DecodeVarLenAt(p, p + 5, value, fault), nullptr);
    EXPECT_EQ(fault, EventFault::LongNumber);
    for (int32_t unwritable : {-1, 0x10000000}) {
        std::string out = "x";
        EXPECT_THROW(WriteVarLen(out, unwritable), RuntimeError);
        EXPECT_EQ(out, "x");
    }
}

TEST(Numbers, FixedWidthFieldsReadAndWriteAlikeAndRefuseOverflow) {
    const struct {
        bool is_long;
        int64_t value;  // -1: too large to read
        const char* bytes;
    } cases[] = {{true, 6, "00 00 00 06"}, {true, 0x12345, "00 01 23 45"},
                 {true, 0, "00 00 00 00"}, {true, 2147483647, "7F FF FF FF"},
                 {false, 480, "01 E0"},    {false, 32767, "7F FF"},
                 {false, 1, "00 01"},      {true, -1, "80 00 00 00"},
                 {false, -1, "E7 28"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        const std::string bytes = Hex(c.bytes);
        ByteSource in(bytes);
        int32_t read = 0;
        try {
            if (c.is_long) {
                ReadLong(in, read);
            } else {
                read = ReadInteger(in);
            }
            EXPECT_EQ(read, c.value);
        } catch (const RuntimeError& e) {
            EXPECT_EQ(c.value, -1) << e.what();
            EXPECT_EQ(e.Kind(), ErrorKind::Overflow);
            EXPECT_EQ(in.Position(), c.is_long ? 4 : 2) << "every byte was read first";
            continue;
        }
        std::string out;
        c.is_long ? WriteLong(out, read) : WriteInteger(out, static_cast<int16_t>(read));
        EXPECT_EQ(out, bytes);
    }
    std::string out;
    EXPECT_THROW(WriteLong(out, -1), RuntimeError);
    EXPECT_THROW(WriteInteger(out, -1), RuntimeError);
}

// One event as (time, kind, channel, data1, data2, body).
struct Ev {
    int32_t time;
    int kind, channel, data1, data2;
    std::string body = {};
    friend bool operator==(const Ev&, const Ev&) = default;
    friend std::ostream& operator<<(std::ostream& o, const Ev& e) {
        return o << e.time << "/" << e.kind << "/" << e.channel << "/" << e.data1 << "/" << e.data2
                 << "/" << ::testing::PrintToString(e.body);
    }
};

TEST(EventDecoding, EveryKindOfMessageAndRunningStatus) {
    const struct {
        const char* name;
        const char* track;
        std::vector<Ev> want;
    } cases[] = {
        {"note on in running status",
         "00 90 3C 64 10 3C 00",
         {{0, 1, 0, 0x3C, 0x64}, {16, 1, 0, 0x3C, 0}}},
        {"program changes take one data byte",
         "00 C5 07 00 09",
         {{0, 4, 5, 7, 0}, {0, 4, 5, 9, 0}}},
        {"running status continues after a meta event",
         "00 90 3C 64 00 FF 01 01 'A' 00 3E 40",
         {{0, 1, 0, 0x3C, 0x64}, {0, 0xFF, 1, 0, 0, "A"}, {0, 1, 0, 0x3E, 0x40}}},
        {"system messages take the data bytes of their status",
         "00 F1 05 00 F2 01 02 00 F3 7F 00 F6 05 F8 00 FE",
         {{0, 7, 1, 5, 0},
          {0, 7, 2, 1, 2},
          {0, 7, 3, 0x7F, 0},
          {0, 7, 6, 0, 0},
          {5, 7, 8, 0, 0},
          {5, 7, 0xE, 0, 0}}},
        {"real-time bytes keep running status",
         "00 90 3C 64 00 F8 00 3E 40",
         {{0, 1, 0, 0x3C, 0x64}, {0, 7, 8, 0, 0}, {0, 1, 0, 0x3E, 0x40}}},
        {"sysex, escape and unlisted meta bodies are kept",
         "00 F0 03 7E 7F F7 01 F7 02 01 02 00 FF 7F 02 00 01 00 FF 2F 00",
         {{0, 0xF0, 0, 0, 0, Hex("7E 7F F7")},
          {1, 0xF7, 0, 0, 0, Hex("01 02")},
          {1, 0xFF, 0x7F, 0, 0, Hex("00 01")},
          {1, 0xFF, 0x2F, 0, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MidiFile song;
        ResetMidiFile(song);
        ASSERT_EQ(ReadMidiBytes(song, Smf(1, 96, {Hex(c.track)})).Message(), "");
        std::vector<Ev> got;
        for (const MidiEvent& e : test::EventsOf(song, 0))
            got.push_back({e.Time, e.Kind, e.Channel, e.Data1, e.Data2, e.Data.str()});
        EXPECT_EQ(got, c.want);
    }
}

TEST(EventDecoding, MetaEventsFillTheSongWideFields) {
    std::string track =
        Hex("00 FF 03 05 'Piano' 00 FF 04 03 'Org' 00 FF 02 03 '(c)'"
            "00 FF 01 13 '@KMIDI KARAOKE FILE'"
            "00 FF 01 04 '/one' 00 FF 01 04 '\\two' 00 FF 01 04 ' end' 00 FF 01 00"
            "00 FF 05 03 'Hel' 00 FF 05 03 'lo\r' 00 FF 05 03 'you'"
            "00 FF 51 03 07 A1 20 00 FF 51 03 00 00 00"  // 120 beats per minute, then a bad tempo
            "00 FF 59 02 FF 01 00 FF 58 04 06 03 18 08 00 FF 58 04 03 02 18 08");
    MidiFile song;
    ResetMidiFile(song);
    ASSERT_EQ(ReadMidiBytes(song, Smf(1, 96, {track, Hex("00 FF 03 02 'B2'")})).Message(), "");
    EXPECT_EQ(song.TrackName[0], "Piano");
    EXPECT_EQ(song.TrackName[1], "B2");
    EXPECT_EQ(song.InstrumentName[0], "Org");
    EXPECT_EQ(song.Copyright, "(c)");
    EXPECT_TRUE(song.HasKaraokeText);
    EXPECT_EQ(song.KaraokeText, "@KMIDI KARAOKE FILE\r\n\r\n/one\r\n\r\n\\two end");
    EXPECT_TRUE(song.HasLyrics);
    EXPECT_EQ(song.LyricText, "Hello\r\nyou");
    EXPECT_EQ(song.Tempo, 120) << "only the first tempo is decoded";
    EXPECT_EQ(song.KeySignature, 255);
    EXPECT_EQ(song.KeyMode, 1);
    EXPECT_EQ(song.TimeSigNumerator, 6);
    EXPECT_EQ(song.TimeSigDenominator, 8);
    EXPECT_EQ(song.Count(0), 16);
}

TEST(Reader, LetsTheUserInterfaceRunEvery512Events) {
    std::string body;
    for (int i = 0; i < 1024; ++i) body += Hex("00 90 3C 64");
    const std::string file = Smf(0, 96, {body});
    std::vector<int64_t> calls;
    MidiFile song;
    ResetMidiFile(song);
    ASSERT_EQ(ReadMidiBytes(song, file,
                            [&](int64_t done, int64_t total) {
                                EXPECT_EQ(total, static_cast<int64_t>(file.size()));
                                calls.push_back(done);
                            })
                  .Message(),
              "");
    EXPECT_EQ(calls, (std::vector<int64_t>{22 + 512 * 4, 22 + 1024 * 4}));
}

}  // namespace
}  // namespace verselane
