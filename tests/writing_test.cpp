// Writing: numbers, the layout of every kind of event, running status,
// delta times and the end of each track. (Files on disk: write_faults_test.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/midi_codec.h"
#include "model/errors.h"
#include "reader/midi_reader.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane {
namespace {

using test::Hex;

TEST(NumberWriting, VariableLengthQuantities) {
    struct Case {
        int32_t value;
        const char* bytes;  // nullptr: Overflow, nothing written
    } cases[] = {
        {0, "00"},
        {0x7F, "7F"},
        {0x80, "81 00"},
        {0x2000, "C0 00"},
        {0x3FFF, "FF 7F"},
        {0x4000, "81 80 00"},
        {0x1FFFFF, "FF FF 7F"},
        {0x200000, "81 80 80 00"},
        {0x0FFFFFFF, "FF FF FF 7F"},
        {480, "83 60"},
        {96, "60"},
        {-1, nullptr},
        {0x10000000, nullptr},  // beyond four bytes of seven bits
    };
    for (const Case& c : cases) {
        std::string out = "x";
        try {
            WriteVarLen(out, c.value);
            ASSERT_NE(c.bytes, nullptr) << c.value;
            EXPECT_EQ(out, "x" + Hex(c.bytes)) << c.value;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(c.bytes, nullptr) << c.value;
            EXPECT_EQ(e.Kind(), ErrorKind::Overflow);
            EXPECT_EQ(out, "x");
        }
    }
}

TEST(NumberWriting, FixedWidthFields) {
    std::string out;
    WriteLong(out, 0x00012345);
    WriteLong(out, 0x7FFFFFFF);
    WriteLong(out, 0);
    WriteInteger(out, 0);
    WriteInteger(out, 1);
    WriteInteger(out, 32767);
    WriteInteger(out, 480);
    EXPECT_EQ(out, Hex("00 01 23 45 7F FF FF FF 00 00 00 00 00 00 00 01 7F FF 01 E0"));
    EXPECT_THROW(WriteLong(out, -1), RuntimeError);
    EXPECT_THROW(WriteInteger(out, -1), RuntimeError);
}

MidiEvent Channel(int32_t time, uint8_t kind, uint8_t channel, uint8_t d1, uint8_t d2 = 0) {
    return MidiEvent{time, kind, channel, d1, d2, {}};
}
MidiEvent Meta(int32_t time, uint8_t type, std::string body) {
    return MidiEvent{time, kKindMeta, type, 0, 0, body};
}

// A one-track song holding `events`.
MidiFile SongOf(const std::vector<MidiEvent>& events, int16_t header_length = 6) {
    MidiFile song;
    ResetMidiFile(song);
    song.Header = {header_length, 1, 1, 96};
    song.EventSlots = static_cast<int32_t>(events.size()) + 10;
    ResizeTracks(song, 3, true);
    for (size_t i = 0; i < events.size(); ++i)
        song.Track(0).Event(static_cast<int32_t>(i)) = events[i];
    song.Count(0) = static_cast<int32_t>(events.size());
    return song;
}

TEST(Writer, HeaderAndEmptyTracks) {
    MidiFile song;
    ResetMidiFile(song);
    EXPECT_EQ(EncodeMidiFile(song), Hex("'MThd' 00 00 00 06 00 00 00 00 00 00"));
    song.Header = {6, 1, 3, 96};
    ResizeTracks(song, 5, true);
    // Every track ends with an end-of-track event, even an empty one.
    EXPECT_EQ(EncodeMidiFile(song),
              Hex("'MThd' 00 00 00 06 00 01 00 03 00 60 | 'MTrk' 00 00 00 04 00 FF 2F 00 |"
                  "'MTrk' 00 00 00 04 00 FF 2F 00 | 'MTrk' 00 00 00 04 00 FF 2F 00"));
    // A longer header as read is written as the six bytes that follow.
    EXPECT_EQ(EncodeMidiFile(SongOf({}, 10)).substr(0, 8), Hex("'MThd' 00 00 00 06"));
}

TEST(Writer, EventLayouts) {
    struct Case {
        const char* name;
        std::vector<MidiEvent> events;
        const char* bytes;  // the track chunk's events
    } cases[] = {
        {"track name and end of track",
         {Meta(0, 3, "Piano"), Meta(0, 0x2F, "")},
         "00 FF 03 05 50 69 61 6E 6F 00 FF 2F 00"},
        {"first delta", {Channel(480, 1, 0, 0x3C, 0x64)}, "83 60 90 3C 64"},
        {"running status",
         {Channel(10, 1, 0, 0x3C, 0x64), Channel(20, 1, 0, 0x3E, 0x64)},
         "0A 90 3C 64 0A 3E 64"},
        {"events at time 0 keep their status",
         {Channel(0, 1, 0, 0x3C, 0x64), Channel(0, 1, 0, 0x3E, 0x64)},
         "00 90 3C 64 00 90 3E 64"},
        {"a meta event cancels running status",
         {Channel(10, 1, 0, 0x3C, 0x64), Meta(15, 5, "la"), Channel(20, 1, 0, 0x3E, 0x40)},
         "0A 90 3C 64 05 FF 05 02 'la' 05 90 3E 40"},
        {"so does a sysex event",
         {Channel(10, 3, 2, 7, 100), MidiEvent{10, kKindSysEx, 0, 0, 0, Hex("7E 7F 09 01 F7")},
          Channel(10, 3, 2, 10, 64)},
         "0A B2 07 64 00 F0 05 7E 7F 09 01 F7 00 B2 0A 40"},
        {"one data byte kinds", {Channel(1, 4, 9, 5), Channel(2, 5, 9, 7)}, "01 C9 05 01 D9 07"},
        {"pitch bend", {Channel(1, 6, 15, 0x00, 0x40)}, "01 EF 00 40"},
        {"escape event", {MidiEvent{0, kKindEscape, 0, 0, 0, Hex("F8")}}, "00 F7 01 F8"},
        {"system messages carry their status and their data bytes",
         {MidiEvent{0, kKindSystem, 8, 0, 0, {}}, MidiEvent{5, kKindSystem, 8, 0, 0, {}},
          MidiEvent{5, kKindSystem, 1, 0x35, 0, {}}, MidiEvent{5, kKindSystem, 2, 1, 2, {}},
          MidiEvent{5, kKindSystem, 3, 7, 0, {}}, MidiEvent{5, kKindSystem, 6, 0, 0, {}}},
         "00 F8 05 F8 00 F1 35 00 F2 01 02 00 F3 07 00 F6"},
        {"a system message ends running status",
         {Channel(1, 1, 0, 60, 1), MidiEvent{1, kKindSystem, 6, 0, 0, {}}, Channel(2, 1, 0, 61, 1)},
         "01 90 3C 01 00 F6 01 90 3D 01"},
        {"end of track loses its body", {Meta(7, 0x2F, "xyz")}, "07 FF 2F 00"},
        {"a track is closed where its last event is not the end",
         {Meta(7, 0x2F, ""), Channel(9, 1, 0, 60, 1)},
         "07 FF 2F 00 02 90 3C 01"},
        {"empty meta body", {Meta(0, 1, "")}, "00 FF 01 00"},
        {"an out-of-order event moves only itself",
         {Channel(0, 1, 0, 60, 1), Channel(100, 1, 0, 61, 1), Channel(50, 1, 0, 62, 1),
          Channel(150, 1, 0, 63, 1)},
         "00 90 3C 01 64 3D 01 00 3E 01 32 3F 01"},
    };
    for (const Case& c : cases) {
        MidiFile song = SongOf(c.events);
        // Cases that do not end with an end of track get the one the writer adds.
        const MidiEvent& last = c.events.back();
        const bool closed = last.Kind == kKindMeta && last.Channel == 0x2F;
        std::string want = Hex(c.bytes) + (closed ? "" : Hex("00 FF 2F 00"));
        std::string file = EncodeMidiFile(song);
        EXPECT_EQ(file.substr(14, 8), "MTrk" + Hex("00 00 00") + char(want.size())) << c.name;
        EXPECT_EQ(file.substr(22), want) << c.name;
    }
}

TEST(Writer, EveryTrackEndsWithOneEndOfTrack) {
    const struct {
        std::vector<MidiEvent> events;
        const char* bytes;
    } cases[] = {
        {{Channel(480, 1, 0, 0x3C, 0x64)}, "83 60 90 3C 64 00 FF 2F 00"},  // added at the last time
        {{Meta(0, 1, "a"), Meta(9, 0x2F, "")}, "00 FF 01 01 'a' 09 FF 2F 00"},  // already there
        {{Meta(5, 0x2F, ""), Meta(9, 5, "b")}, "05 FF 2F 00 04 FF 05 01 'b' 00 FF 2F 00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeMidiFile(SongOf(c.events)).substr(22), Hex(c.bytes));
}

TEST(Writer, UnwritableEventsAreRefused) {
    const std::string kInvalid = "Invalid procedure call or argument: track 0, event 1: ";
    struct Case {
        MidiEvent event;
        std::string message;
    } cases[] = {
        {MidiEvent{0, 8, 0, 0, 0, {}},
         kInvalid + "no message has this status (kind 8, channel or type 0)"},
        {MidiEvent{0, 1, 16, 0, 0, {}},
         kInvalid + "no message has this status (kind 1, channel or type 16)"},
        {MidiEvent{0, kKindSystem, 0, 0, 0, {}},  // would be F0
         kInvalid + "no system message has this status (kind 7, channel or type 0)"},
        {MidiEvent{0, kKindSystem, 15, 0, 0, {}},  // would be FF
         kInvalid + "no system message has this status (kind 7, channel or type 15)"},
        {MidiEvent{0, 1, 0, 0x3C, 0x90, {}},
         kInvalid + "a data byte of 0x80 or above (kind 1, channel or type 0)"},
        {MidiEvent{0, kKindSystem, 2, 0x80, 0, {}},
         kInvalid + "a data byte of 0x80 or above (kind 7, channel or type 2)"},
        {MidiEvent{0x10000000, 1, 0, 0, 0, {}},
         "Overflow: track 0, event 1: a delta time of 268435456 is larger than 0x0FFFFFFF"},
    };
    for (const Case& c : cases) {
        try {
            EncodeMidiFile(SongOf({Meta(0, 3, "x"), c.event}));
            ADD_FAILURE() << "written: " << c.message;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.what(), c.message);
        }
    }
    MidiFile song = SongOf({});
    song.Header.NumTracks = 5;  // more tracks than slots
    EXPECT_THROW(EncodeMidiFile(song), RuntimeError);
}

TEST(Writer, ReadingBackGivesTheSameSong) {
    // Every kind of event through the writer and the reader.
    std::vector<MidiEvent> events = {
        Meta(0, 3, "Lyrics"),
        Channel(0, 4, 0, 5),
        Channel(10, 1, 0, 60, 100),
        Meta(10, 5, "Hel"),
        Channel(20, 1, 0, 60, 0),
        Channel(20, 3, 0, 7, 127),
        MidiEvent{30, kKindSysEx, 0, 0, 0, Hex("41 10 42 12 F7")},
        Channel(40, 6, 0, 0, 64),
        MidiEvent{40, kKindSystem, 2, 5, 6, {}},
        MidiEvent{40, kKindSystem, 8, 0, 0, {}},
        Channel(0x0FFFFFFF, 5, 0, 3),
        Meta(0x0FFFFFFF, 0x2F, ""),
    };
    MidiFile song = SongOf(events);
    MidiFile back;
    ResetMidiFile(back);
    ASSERT_EQ(ReadMidiBytes(back, EncodeMidiFile(song)).Result, ReadResult::Complete);
    EXPECT_EQ(test::EventsOf(back, 0), events);
    EXPECT_EQ(back.Header, song.Header);
    EXPECT_EQ(back.LyricText, "Hel");
}

}  // namespace
}  // namespace verselane
