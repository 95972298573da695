// Writing: the byte layout of the header and of every kind of event, running
// status, delta times and the end of each track, and reading it all back.
// (Files on disk: write_faults_test.)

#include <algorithm>

#include "model/errors.h"
#include "tests/support/song_checks.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane {
namespace {

using test::Hex;

MidiEvent Channel(int32_t time, uint8_t kind, uint8_t channel, uint8_t d1, uint8_t d2 = 0) {
    return MidiEvent{time, kind, channel, d1, d2, {}};
}
MidiEvent Meta(int32_t time, uint8_t type, std::string body) {
    return MidiEvent{time, kKindMeta, type, 0, 0, body};
}
MidiEvent Other(int32_t time, uint8_t kind, uint8_t type, std::string body = {}, uint8_t d1 = 0,
                uint8_t d2 = 0) {
    return MidiEvent{time, kind, type, d1, d2, body};
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

TEST(Writer, HeaderAndEveryTrackEndWithTheUsualBytes) {
    MidiFile song;
    ResetMidiFile(song);
    EXPECT_EQ(EncodeMidiFile(song), Hex("'MThd' 00 00 00 06 00 00 00 00 00 00"));
    song.Header = {10, 1, 3, 96};  // a longer header as read is written as the usual six bytes
    ResizeTracks(song, 5, true);
    EXPECT_EQ(EncodeMidiFile(song),
              Hex("'MThd' 00 00 00 06 00 01 00 03 00 60 | 'MTrk' 00 00 00 04 00 FF 2F 00 |"
                  "'MTrk' 00 00 00 04 00 FF 2F 00 | 'MTrk' 00 00 00 04 00 FF 2F 00"));
    song.Header.NumTracks = 7;  // more tracks than slots
    EXPECT_THROW(EncodeMidiFile(song), RuntimeError);
}

TEST(Writer, EveryKindOfEventHasItsExactBytes) {
    const struct {
        const char* name;
        std::vector<MidiEvent> events;
        const char* bytes;  // the track chunk's events
    } cases[] = {
        {"track name and end of track",
         {Meta(0, 3, "Piano"), Meta(0, 0x2F, "")},
         "00 FF 03 05 50 69 61 6E 6F 00 FF 2F 00"},
        {"an end of track is added at the last time",
         {Channel(480, 1, 0, 0x3C, 0x64)},
         "83 60 90 3C 64 00 FF 2F 00"},
        {"running status",
         {Channel(10, 1, 0, 0x3C, 0x64), Channel(20, 1, 0, 0x3E, 0x64)},
         "0A 90 3C 64 0A 3E 64 00 FF 2F 00"},
        {"events at time 0 keep their status",
         {Channel(0, 1, 0, 0x3C, 0x64), Channel(0, 1, 0, 0x3E, 0x64)},
         "00 90 3C 64 00 90 3E 64 00 FF 2F 00"},
        {"a meta event cancels running status",
         {Channel(10, 1, 0, 0x3C, 0x64), Meta(15, 5, "la"), Channel(20, 1, 0, 0x3E, 0x40)},
         "0A 90 3C 64 05 FF 05 02 'la' 05 90 3E 40 00 FF 2F 00"},
        {"so does a sysex event",
         {Channel(10, 3, 2, 7, 100), Other(10, kKindSysEx, 0, Hex("7E 7F 09 01 F7")),
          Channel(10, 3, 2, 10, 64)},
         "0A B2 07 64 00 F0 05 7E 7F 09 01 F7 00 B2 0A 40 00 FF 2F 00"},
        {"one data byte kinds and pitch bend",
         {Channel(1, 4, 9, 5), Channel(2, 5, 9, 7), Channel(3, 6, 15, 0x00, 0x40)},
         "01 C9 05 01 D9 07 01 EF 00 40 00 FF 2F 00"},
        {"escape event", {Other(0, kKindEscape, 0, Hex("F8"))}, "00 F7 01 F8 00 FF 2F 00"},
        {"system messages carry their status and their data bytes",
         {Other(0, kKindSystem, 8), Other(5, kKindSystem, 8), Other(5, kKindSystem, 1, {}, 0x35),
          Other(5, kKindSystem, 2, {}, 1, 2), Other(5, kKindSystem, 3, {}, 7),
          Other(5, kKindSystem, 6)},
         "00 F8 05 F8 00 F1 35 00 F2 01 02 00 F3 07 00 F6 00 FF 2F 00"},
        {"a system message ends running status",
         {Channel(1, 1, 0, 60, 1), Other(1, kKindSystem, 6), Channel(2, 1, 0, 61, 1)},
         "01 90 3C 01 00 F6 01 90 3D 01 00 FF 2F 00"},
        {"end of track loses its body", {Meta(7, 0x2F, "xyz")}, "07 FF 2F 00"},
        {"an end of track before the last event gets one more",
         {Meta(5, 0x2F, ""), Meta(9, 5, "b")},
         "05 FF 2F 00 04 FF 05 01 'b' 00 FF 2F 00"},
        {"empty meta body", {Meta(0, 1, "")}, "00 FF 01 00 00 FF 2F 00"},
        {"the longest delta time",
         {Channel(0x0FFFFFFF, 5, 0, 3), Meta(0x0FFFFFFF, 0x2F, "")},
         "FF FF FF 7F D0 03 00 FF 2F 00"},
        {"an out-of-order event moves only itself",
         {Channel(0, 1, 0, 60, 1), Channel(100, 1, 0, 61, 1), Channel(50, 1, 0, 62, 1),
          Channel(150, 1, 0, 63, 1)},
         "00 90 3C 01 64 3D 01 00 3E 01 32 3F 01 00 FF 2F 00"},
    };
    for (const auto& c : cases) {
        const std::string want = Hex(c.bytes);
        EXPECT_EQ(
            EncodeMidiFile(SongOf(c.events)),
            Hex("'MThd' 00 00 00 06 00 01 00 01 00 60 'MTrk' 00 00 00") + char(want.size()) + want)
            << c.name;
        // Read back, a song in time order gives the same events again.
        auto by_time = [](const MidiEvent& x, const MidiEvent& y) { return x.Time < y.Time; };
        if (std::is_sorted(c.events.begin(), c.events.end(), by_time)) {
            EXPECT_TRUE(test::WritesAndReadsBack(SongOf(c.events))) << c.name;
        }
    }
}

TEST(Writer, UnwritableEventsAreRefusedWithTheirReason) {
    const std::string kInvalid = "Invalid procedure call or argument: track 0, event 1: ";
    const struct {
        MidiEvent event;
        std::string message;
    } cases[] = {
        {Other(0, 8, 0), kInvalid + "no message has this status (kind 8, channel or type 0)"},
        {Other(0, 1, 16), kInvalid + "no message has this status (kind 1, channel or type 16)"},
        {Other(0, kKindSystem, 0),  // would be F0
         kInvalid + "no system message has this status (kind 7, channel or type 0)"},
        {Other(0, kKindSystem, 15),  // would be FF
         kInvalid + "no system message has this status (kind 7, channel or type 15)"},
        {Channel(0, 1, 0, 0x3C, 0x90),
         kInvalid + "a data byte of 0x80 or above (kind 1, channel or type 0)"},
        {Other(0, kKindSystem, 2, {}, 0x80),
         kInvalid + "a data byte of 0x80 or above (kind 7, channel or type 2)"},
        {Channel(0x10000000, 1, 0, 0),
         "Overflow: track 0, event 1: a delta time of 268435456 is larger than 0x0FFFFFFF"},
    };
    for (const auto& c : cases) {
        try {
            EncodeMidiFile(SongOf({Meta(0, 3, "x"), c.event}));
            ADD_FAILURE() << "written: " << c.message;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.what(), c.message);
        }
    }
}

}  // namespace
}  // namespace verselane
