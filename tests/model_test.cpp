// The song model: reset, resizing with and without clearing, the capacity
// rule, event bodies and checked arithmetic.
#include <gtest/gtest.h>

#include <string>

#include "model/byte_string.h"
#include "model/errors.h"
#include "model/midi_file.h"

namespace verselane {
namespace {

void ExpectError(ErrorKind kind, auto&& action) {
    try {
        action();
        ADD_FAILURE() << "expected " << ErrorKindText(kind);
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Kind(), kind) << e.what();
    }
}

MidiEvent Note(int32_t time, uint8_t key) {
    return MidiEvent{time, 1, 0, key, 100, {}};
}

TEST(SongModel, ResetLeavesOneEmptySlotAndNoValues) {
    MidiFile song;
    song.Tempo = 120;
    song.KaraokeText = "x";
    song.HasLyrics = true;
    ResetMidiFile(song);
    EXPECT_EQ(song.TrackSlots, 0);
    EXPECT_EQ(song.EventSlots, 0);
    EXPECT_EQ(song.Tracks.size(), 1u);
    EXPECT_EQ(song.EventCount.size(), 1u);
    EXPECT_EQ(song.TrackName.size(), 1u);
    EXPECT_EQ(song.InstrumentName.size(), 1u);
    EXPECT_FALSE(song.Tracks[0].HasEvents());
    EXPECT_EQ(song.Tempo, 0);
    EXPECT_FALSE(song.HasLyrics);
    EXPECT_TRUE(song.KaraokeText.empty());
}

TEST(SongModel, ResizeTracksClearingGivesEveryLowerSlotAnArray) {
    MidiFile song;
    ResetMidiFile(song);
    song.EventSlots = 100;
    ResizeTracks(song, 4, true);
    ASSERT_EQ(song.Tracks.size(), 5u);
    EXPECT_EQ(song.TrackSlots, 4);
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(song.Tracks[t].Upper(), 100) << t;
        EXPECT_EQ(song.EventCount[t], 0);
        // Empty slots cost nothing until events are stored.
        EXPECT_EQ(song.Tracks[t].Stored().capacity(), 0u);
    }
    EXPECT_FALSE(song.Tracks[4].HasEvents());
}

TEST(SongModel, ResizeTracksKeepingPreservesTracksAndDimensionsTheFormerTop) {
    MidiFile song;
    ResetMidiFile(song);
    song.EventSlots = 10;
    ResizeTracks(song, 3, true);
    song.Track(1).Event(0) = Note(5, 60);
    song.Count(1) = 1;
    song.NameOf(1) = "Piano";
    song.InstrumentOf(2) = "Organ";
    ResizeTracks(song, 5, false);
    EXPECT_EQ(song.TrackSlots, 5);
    EXPECT_EQ(song.Track(1).Event(0), Note(5, 60));
    EXPECT_EQ(song.Count(1), 1);
    EXPECT_EQ(song.TrackName[1], "Piano");
    EXPECT_EQ(song.InstrumentName[2], "Organ");
    EXPECT_TRUE(song.Tracks[3].HasEvents());  // the former top slot
    EXPECT_TRUE(song.Tracks[4].HasEvents());
    EXPECT_FALSE(song.Tracks[5].HasEvents());
}

TEST(SongModel, ResizeEventsClearingEmptiesEventsButKeepsCounts) {
    MidiFile song;
    ResetMidiFile(song);
    song.EventSlots = 10;
    ResizeTracks(song, 2, true);
    song.Track(0).Event(3) = Note(1, 61);
    song.Count(0) = 4;
    ResizeEvents(song, 20, true);
    EXPECT_EQ(song.EventSlots, 20);
    EXPECT_EQ(song.Count(0), 4);
    EXPECT_EQ(song.Track(0).Event(3), MidiEvent{});
    EXPECT_EQ(song.Track(0).Upper(), 20);

    song.Track(0).Event(15) = Note(2, 62);
    ResizeEvents(song, 10, false);  // shrinking drops what lies beyond
    EXPECT_EQ(song.Track(0).Upper(), 10);
    EXPECT_TRUE(song.Track(0).Stored().size() <= 11u);
}

TEST(SongModel, CapacityAndSlotBoundsAreSubscriptErrors) {
    MidiFile song;
    ResetMidiFile(song);
    song.EventSlots = 2;
    ResizeTracks(song, 2, true);
    song.Track(0).Event(2) = Note(0, 60);  // the last of EventSlots + 1 slots
    ExpectError(ErrorKind::SubscriptOutOfRange, [&] { song.Track(0).Event(3); });
    ExpectError(ErrorKind::SubscriptOutOfRange, [&] { song.Track(0).Event(-1); });
    ExpectError(ErrorKind::SubscriptOutOfRange, [&] { song.Track(2).Event(0); });  // no array
    ExpectError(ErrorKind::SubscriptOutOfRange, [&] { song.Track(3); });
    ExpectError(ErrorKind::SubscriptOutOfRange, [&] { song.Count(-1); });
    ExpectError(ErrorKind::Overflow, [&] { ResizeTracks(song, 32768, true); });
}

TEST(ByteStringTest, HoldsEveryByteValueAtEverySize) {
    static_assert(sizeof(MidiEvent) == 16);
    for (size_t size : {0u, 1u, 6u, 7u, 8u, 15u, 16u, 300u}) {
        std::string bytes;
        for (size_t i = 0; i < size; ++i) bytes.push_back(static_cast<char>((i * 37 + 255) & 0xFF));
        ByteString s(bytes);
        EXPECT_EQ(s.size(), size);
        EXPECT_EQ(s.str(), bytes);
        ByteString copy = s;
        ByteString moved = std::move(copy);
        EXPECT_EQ(moved, s);
        EXPECT_TRUE(copy.empty());  // NOLINT: a moved-from string is empty by design
        copy = moved;
        EXPECT_EQ(copy.view(), bytes);
    }
}

TEST(ByteStringTest, AssigningFromItselfAndAppendingKeepTheBytes) {
    ByteString s("Hello, world");  // on the heap
    s = s.view().substr(7);        // assign from a view into itself
    EXPECT_EQ(s, std::string_view("world"));
    s.Append(std::string("\r\0!", 3));
    EXPECT_EQ(s.str(), std::string("world\r\0!", 8));
    s = std::string_view();
    EXPECT_TRUE(s.empty());
}

TEST(CheckedArithmetic, ValuesBeyondTheFieldAreOverflows) {
    struct Case {
        int64_t value;
        bool integer_ok, long_ok, byte_ok;
    } cases[] = {
        {0, true, true, true},
        {255, true, true, true},
        {256, true, true, false},
        {-1, true, true, false},
        {32767, true, true, false},
        {32768, false, true, false},
        {-32769, false, true, false},
        {2147483647, false, true, false},
        {2147483648, false, false, false},
    };
    for (const Case& c : cases) {
        auto ok = [](auto f) {
            try {
                f();
                return true;
            } catch (const RuntimeError& e) {
                return e.Kind() != ErrorKind::Overflow;
            }
        };
        EXPECT_EQ(ok([&] { ToInteger(c.value); }), c.integer_ok) << c.value;
        EXPECT_EQ(ok([&] { ToLong(c.value); }), c.long_ok) << c.value;
        EXPECT_EQ(ok([&] { ToByte(c.value); }), c.byte_ok) << c.value;
    }
    EXPECT_EQ(std::string(RuntimeError(ErrorKind::FileNotFound, "a.mid").what()),
              "File not found: a.mid");
}

}  // namespace
}  // namespace verselane
