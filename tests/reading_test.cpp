// Numbers both ways, the event step, and what a well-formed file fills in.
// (Damaged and hostile input: bad_input_test.)

#include <algorithm>

#include "codec/midi_codec.h"
#include "model/errors.h"
#include "reader/midi_reader.h"
#include "reader/number_reading.h"
#include "tests/support/test_support.h"

namespace verselane {
namespace {

using test::Hex;
using test::Smf;

// Variable-length quantities (width 0) and 16- and 32-bit fields, read and written.
TEST(Numbers, EveryWidthReadsAndWritesAlikeAndRefusesWhatDoesNotFit) {
    constexpr int64_t kUnreadable = -2;
    const struct {
        int width;
        int64_t value;      // kUnreadable: the bytes give no number
        const char* bytes;  // nullptr: the value cannot be written
    } cases[] = {
        {0, 0, "00"},
        {0, 0x7F, "7F"},
        {0, 0x80, "81 00"},
        {0, 0x2000, "C0 00"},
        {0, 0x3FFF, "FF 7F"},
        {0, 0x4000, "81 80 00"},
        {0, 480, "83 60"},
        {0, 0x1FFFFF, "FF FF 7F"},
        {0, 0x200000, "81 80 80 00"},
        {0, 0x0FFFFFFF, "FF FF FF 7F"},
        {0, kUnreadable, "81 80 80 80 00"},
        {0, -1, nullptr},
        {0, 0x10000000, nullptr},
        {4, 6, "00 00 00 06"},
        {4, 0x12345, "00 01 23 45"},
        {4, 2147483647, "7F FF FF FF"},
        {4, 0, "00 00 00 00"},
        {4, kUnreadable, "80 00 00 00"},
        {4, -1, nullptr},
        {2, 480, "01 E0"},
        {2, 32767, "7F FF"},
        {2, 1, "00 01"},
        {2, kUnreadable, "E7 28"},
        {2, -1, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " " << c.value);
        std::string out = "x";
        auto write = [&] {
            c.width == 0   ? WriteVarLen(out, static_cast<int32_t>(c.value))
            : c.width == 4 ? WriteLong(out, static_cast<int32_t>(c.value))
                           : WriteInteger(out, static_cast<int16_t>(c.value));
        };
        if (!c.bytes) {
            EXPECT_THROW(write(), RuntimeError);
            EXPECT_EQ(out, "x");
            continue;
        }
        const std::string bytes = Hex(c.bytes);
        if (c.value != kUnreadable) {
            write();
            EXPECT_EQ(out, "x" + bytes);
        }
        int32_t value = -1;
        if (c.width == 0) {
            const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
            EventFault fault = EventFault::None;
            const uint8_t* end = DecodeVarLenAt(p, p + bytes.size(), value, fault);
            EXPECT_EQ(end, c.value == kUnreadable ? nullptr : p + bytes.size());
            if (!end) {
                EXPECT_EQ(fault, EventFault::LongNumber);
                continue;
            }
            EXPECT_EQ(DecodeVarLenAt(p, p + bytes.size() - 1, value, fault), nullptr);
            EXPECT_EQ(fault, EventFault::CutShort);
            VarLenBytes v;
            v.Count = static_cast<uint8_t>(bytes.size());
            std::copy(p, p + bytes.size(), v.Bytes);
            value = DecodeVarLen(v);
        } else {
            ByteSource in(bytes);
            try {
                c.width == 4 ? ReadLong(in, value) : void(value = ReadInteger(in));
            } catch (const RuntimeError& e) {
                EXPECT_EQ(e.Kind(), ErrorKind::Overflow);
                EXPECT_EQ(in.Position(), c.width) << "every byte was read first";
            }
        }
        EXPECT_EQ(value, c.value == kUnreadable ? -1 : c.value);
    }
}

TEST(EventDecoding, EveryKindOfMessageAndRunningStatus) {
    const struct {
        const char* name;
        const char* track;
        const char* events;  // time/kind/channel/data1/data2/body, one after the other
    } cases[] = {
        {"note on in running status", "00 90 3C 64 10 3C 00", "0/1/0/60/100/ 16/1/0/60/0/"},
        {"program changes take one data byte", "00 C5 07 00 09", "0/4/5/7/0/ 0/4/5/9/0/"},
        {"running status continues after a meta event", "00 90 3C 64 00 FF 01 01 'A' 00 3E 40",
         "0/1/0/60/100/ 0/255/1/0/0/41 0/1/0/62/64/"},
        {"system messages take the data bytes of their status",
         "00 F1 05 00 F2 01 02 00 F3 7F 00 F6 05 F8 00 FE",
         "0/7/1/5/0/ 0/7/2/1/2/ 0/7/3/127/0/ 0/7/6/0/0/ 5/7/8/0/0/ 5/7/14/0/0/"},
        {"real-time bytes keep running status", "00 90 3C 64 00 F8 00 3E 40",
         "0/1/0/60/100/ 0/7/8/0/0/ 0/1/0/62/64/"},
        {"sysex, escape and unlisted meta bodies are kept",
         "00 F0 03 7E 7F F7 01 F7 02 01 02 00 FF 7F 02 00 01 00 FF 2F 00",
         "0/240/0/0/0/7E7FF7 1/247/0/0/0/0102 1/255/127/0/0/0001 1/255/47/0/0/"},
    };
    for (const auto& c : cases) {
        MidiFile song;
        ResetMidiFile(song);
        ASSERT_EQ(ReadMidiBytes(song, Smf(1, 96, {Hex(c.track)})).Message(), "");
        std::string got;
        for (const MidiEvent& e : test::EventsOf(song, 0)) {
            got += (got.empty() ? "" : " ") + std::to_string(e.Time) + "/" +
                   std::to_string(e.Kind) + "/" + std::to_string(e.Channel) + "/" +
                   std::to_string(e.Data1) + "/" + std::to_string(e.Data2) + "/";
            for (unsigned char b : e.Data.str())
                got += "0123456789ABCDEF"[b >> 4], got += "0123456789ABCDEF"[b & 15];
        }
        EXPECT_EQ(got, c.events) << c.name;
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
