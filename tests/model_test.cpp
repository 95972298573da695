// The song model: the division's clock, the tempo and bar maps, and edits
// with their exact inverses.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "lyrics/sung_lines.h"
#include "model/song.h"
#include "model/timing.h"
#include "reader/midi_reader.h"
#include "tests/support/lyrics_fixtures.h"

namespace verselane {
namespace {

using namespace test;

// TickAt is the exact inverse of Seconds: for the time of each tick of
// interest, the time just before it and the time half way to the next tick,
// it gives the last tick at or before that time. Where ticks are told apart
// by their times (far out, a double may give two ticks one time), the time
// of a tick gives the tick and the time just before it the tick before.
// Before the start (the time just before tick 0) it is 0.
void ExpectTickAtInverts(const TempoMap& map, std::vector<int32_t> ticks) {
    for (const int32_t t : {0, 1, 2, INT32_MAX - 1, INT32_MAX}) ticks.push_back(t);
    for (const int32_t t : ticks) {
        if (t < 0) continue;
        const double at = map.Seconds(t);
        const double next = t < INT32_MAX ? map.Seconds(t + 1) : at;
        for (const double probe : {at, std::nextafter(at, -1.0), (at + next) / 2}) {
            const int32_t found = map.TickAt(probe);
            EXPECT_TRUE(probe < 0 ? found == 0 : map.Seconds(found) <= probe) << t;
            EXPECT_TRUE(probe < 0 || found == INT32_MAX || map.Seconds(found + 1) > probe) << t;
        }
        if (t == INT32_MAX || next > at) {
            EXPECT_EQ(std::pair(map.TickAt(at), map.TickAt((at + next) / 2)), std::pair(t, t)) << t;
        }
        if (t > 0 && map.Seconds(t - 1) < at) {
            EXPECT_EQ(map.TickAt(std::nextafter(at, -1.0)), t - 1) << t;
        }
    }
}

// The division's helpers, and the one tick-to-seconds mapping that follows
// them: in SMPTE time ticks / (frames per second x ticks per frame), 29
// frames meaning 29.97, whatever tempo the song sets (here 1 s a beat).
// TickAt inverts it at every tempo change: two changes at tick 1000 (the
// last holds), the slowest tempo, a change before tick 0 and one far out;
// without a clock every time from 0 on is the last tick.
TEST(SongModel, DivisionInQuarterNotesOrSmpteFramesGivesTheTimeOfATickBothWays) {
    // The division's bits; SMPTE, timed; frames per second and ticks per
    // frame (-1: not SMPTE); the seconds of tick 3000; the ticks of a beat (a
    // quarter note, or half a second).
    const std::tuple<uint16_t, bool, bool, int, int, double, int32_t> rows[] = {
        {0x0001, false, true, -1, -1, 3000, 1},
        {0x01E0, false, true, -1, -1, 6.25, 480},
        {0x7FFF, false, true, -1, -1, 3000 / 32767.0, 32767},
        {0xE728, true, true, 25, 40, 3.0, 500},
        {0xE350, true, true, 29, 80, 3000 / (29.97 * 80), 1199},
        {0xE818, true, true, 24, 24, 3000 / 576.0, 288},
        {0xE228, true, true, 30, 40, 2.5, 600},
        {0xE201, true, true, 30, 1, 100, 15},
        {0x8028, true, false, 128, 40, 0, 2560},
        {0xE700, true, false, 25, 0, 0, 1},
        {0x0000, false, false, -1, -1, 0, 1},
    };
    Song changing = BuildSong({{Tempo(0, 1000000), Tempo(1000, 250000), Tempo(1000, 300000),
                                Tempo(5000, 0xFFFFFF), Tempo(2000000000, 1)},
                               {Tempo(3, 400000), NoteOn(6000, 60)}});
    const std::vector<int32_t> changes = {3, 4, 999, 1000, 1001, 4999, 5000, 5001, 2000000000};
    for (const auto& [bits, smpte, timed, fps, per_frame, seconds, beat] : rows) {
        const auto division = static_cast<int16_t>(bits);
        SCOPED_TRACE(bits);
        EXPECT_EQ(std::tuple(IsSmpteDivision(division), IsTimedDivision(division),
                             TicksPerBeat(division), smpte ? SmpteFramesPerSecond(division) : -1,
                             smpte ? SmpteTicksPerFrame(division) : -1),
                  std::tuple(smpte, timed, beat, fps, per_frame));
        Song song = BuildSong({{Tempo(0, 1000000), NoteOn(3000, 60)}});
        song.Division = division;
        EXPECT_NEAR(TempoMap(song).Seconds(3000), seconds, 1e-9);
        changing.Division = division;
        const TempoMap map(changing);
        if (timed) ExpectTickAtInverts(map, changes);
        EXPECT_TRUE(timed || (map.TickAt(0) == INT32_MAX && map.TickAt(-1) == 0));
    }
    // Times far beyond any song stay finite: 2^31 - 1 ticks at the slowest tempo.
    Song slow = BuildSong({{Tempo(0, 0xFFFFFF)}});
    slow.Division = 1;
    EXPECT_NEAR(TempoMap(slow).Seconds(INT32_MAX), 2147483647 * 16.777215, 1);
}

// TickAt inverts Seconds over the corpus too: at every tempo change of
// every song, each track of a format 2 song on its own.
TEST(TempoMap, TickAtInvertsSecondsOverTheCorpus) {
    VERSELANE_REQUIRE_CORPUS();
    int songs = 0;
    for (const auto& path : CorpusFiles()) {
        Song song;
        SongFacts facts;
        if (!ReadSong(song, facts, path.string()).SongUsable()) continue;
        SCOPED_TRACE(path.filename().string());
        ++songs;
        std::vector<int32_t> ticks;
        for (const Song::Placed p : song.AllEvents()) {
            if (!p.Record.IsMeta(kMetaTempo)) continue;
            for (const int32_t d : {-1, 0, 1}) ticks.push_back(p.Record.Tick + d);
        }
        const int16_t maps = song.Format == 2 ? song.TrackCount() : int16_t{1};
        for (int16_t t = 0; t < maps; ++t) ExpectTickAtInverts(TempoMap(song, t), ticks);
    }
    EXPECT_GT(songs, 0);
}

// Bars and beats follow every time signature, from any track, sorted by
// tick: 3/4, 6/8 after two bars, 2/2 in the middle of a bar (which cuts it
// short), a signature without beats left out, and of two at one tick the
// last. Ticks and bars go both ways; 4/4 holds without signatures, and
// without a metrical division everything is bar 1, beat 1.
TEST(BarBeatMap, FollowsEveryTimeSignatureBothWays) {
    auto signature = [](int32_t tick, uint8_t beats, uint8_t power) {
        return Meta(tick, kMetaTimeSignature, std::string{char(beats), char(power), 24, 8});
    };
    Song song = BuildSong({{signature(0, 3, 2), signature(2880, 6, 3), NoteOn(20000, 60)},
                           {signature(9000, 5, 2), signature(5000, 2, 1), signature(7000, 0, 2),
                            signature(9000, 7, 3)}});
    const BarBeatMap map(song);
    const std::pair<int32_t, BarBeat> rows[] = {
        {0, {1, 1, 0}},      {479, {1, 1, 479}},   {480, {1, 2, 0}},    {1440, {2, 1, 0}},
        {2879, {2, 3, 479}}, {2880, {3, 1, 0}},    {3130, {3, 2, 10}},  {4320, {4, 1, 0}},
        {4999, {4, 3, 199}}, {5000, {5, 1, 0}},    {6919, {5, 2, 959}}, {6920, {6, 1, 0}},
        {9000, {8, 1, 0}},   {10679, {8, 7, 239}}, {10680, {9, 1, 0}},  {-5, {1, 1, 0}},
    };
    for (const auto& [tick, at] : rows) {
        EXPECT_EQ(map.At(tick), at) << tick;
        EXPECT_TRUE(tick < 0 || map.TickOf(at.Bar, at.Beat) + at.Ticks == tick) << tick;
    }
    for (auto [bar, meter] :
         {std::pair{1, Meter{3, 480}}, {4, {6, 240}}, {7, {2, 960}}, {8, {7, 240}}})
        EXPECT_EQ(map.MeterOf(bar), meter) << bar;
    EXPECT_EQ(map.TickOf(INT32_MAX), INT32_MAX);

    const Song plain = BuildSong({{NoteOn(0, 60)}});
    EXPECT_EQ(BarBeatMap(plain).At(1920 + 960 + 5), (BarBeat{2, 3, 5}));
    EXPECT_EQ(BarBeatMap(plain).TickOf(3, 2), 4320);
    // Format 2: each track its own piece, with only its own signatures.
    song.Format = 2;
    EXPECT_EQ(BarBeatMap(song, 0).MeterOf(3), (Meter{6, 240}));
    EXPECT_EQ(BarBeatMap(song, 1).MeterOf(1), (Meter{4, 480}));
    for (const uint16_t division : {0x0000, 0xE728}) {
        song.Division = static_cast<int16_t>(division);
        EXPECT_EQ(BarBeatMap(song).At(5000), (BarBeat{1, 1, 5000})) << division;
        EXPECT_EQ(BarBeatMap(song).TickOf(3), 0) << division;
    }
}

// The events of a track in one line: tick, then the kind (a meta event by
// its type and body, a note by its key and velocity), each event in a field.
std::string Describe(const Track& track) {
    std::string out;
    for (const Event& e : track) {
        out += std::to_string(e.Tick) + ":";
        out += e.IsMeta() ? "m" + std::to_string(e.MetaType()) + "=" + std::string(track.Body(e))
                          : "k" + std::to_string(int(e.Kind)) + "/" + std::to_string(e.Data1) +
                                "/" + std::to_string(e.Data2);
        out += " ";
    }
    return out;
}

// Every edit returns its exact inverse: made, the track reads as given;
// undone, it reads as before, down to the place among events at one tick,
// and the pool has not grown. An edit that would leave the track out of
// order, or reach a place or track that is not there, is refused and
// changes nothing.
TEST(SongEdits, EachEditAndItsInverseRestoreTheTrack) {
    Song song =
        BuildSong({{},
                   {Name("Voice"), Lyric(0, "la"), Message(0, EventKind::NoteOn, 0, 60, 90),
                    Lyric(10, "di"), Message(10, EventKind::NoteOn, 0, 60, 0), EndOfTrack(20)}});
    Track& voice = song.Tracks[1];
    const std::string before = Describe(voice);
    ASSERT_EQ(before, "0:m3=Voice 0:m5=la 0:k1/60/90 10:m5=di 10:k1/60/0 20:m47= ");
    constexpr ErrorKind kOutOfRange = ErrorKind::SubscriptOutOfRange;
    const struct {
        EventEdit edit;
        const char* after;  // nullptr: refused with `error`
        ErrorKind error = ErrorKind::InvalidArgument;
    } rows[] = {
        {EventEdit::Insert(1, 2, Event::Meta(0, kMetaLyric), "x"),
         "0:m3=Voice 0:m5=la 0:m5=x 0:k1/60/90 10:m5=di 10:k1/60/0 20:m47= "},
        {EventEdit::Insert(1, 6, Event::Message(20, EventKind::Controller, 1, 7, 100)),
         "0:m3=Voice 0:m5=la 0:k1/60/90 10:m5=di 10:k1/60/0 20:m47= 20:k3/7/100 "},
        {EventEdit::Insert(1, 1, Event::Meta(5, kMetaLyric), "x"), nullptr},
        {EventEdit::Insert(1, 7, Event::Meta(30, kMetaLyric)), nullptr, kOutOfRange},
        {EventEdit::Remove(1, 3), "0:m3=Voice 0:m5=la 0:k1/60/90 10:k1/60/0 20:m47= "},
        {EventEdit::Remove(1, 6), nullptr, kOutOfRange},
        {EventEdit::Remove(2, 0), nullptr, kOutOfRange},
        {EventEdit::Move(1, 1, 10), "0:m3=Voice 0:k1/60/90 10:m5=di 10:k1/60/0 10:m5=la 20:m47= "},
        {EventEdit::Move(1, 1, 10, 2),
         "0:m3=Voice 0:k1/60/90 10:m5=la 10:m5=di 10:k1/60/0 20:m47= "},
        {EventEdit::Move(1, 3, 0, 0), "0:m5=di 0:m3=Voice 0:m5=la 0:k1/60/90 10:k1/60/0 20:m47= "},
        {EventEdit::Move(1, 5, 30), "0:m3=Voice 0:m5=la 0:k1/60/90 10:m5=di 10:k1/60/0 30:m47= "},
        {EventEdit::Move(1, 1, 10, 0), nullptr},
        {EventEdit::Move(1, 0, 10, 6), nullptr, kOutOfRange},
        {EventEdit::Replace(1, 3, Event::Meta(5, kMetaLyric), "do"),
         "0:m3=Voice 0:m5=la 0:k1/60/90 5:m5=do 10:k1/60/0 20:m47= "},
        {EventEdit::Replace(1, 2, Event::Message(0, EventKind::NoteOn, 0, 62, 80)),
         "0:m3=Voice 0:m5=la 0:k1/62/80 10:m5=di 10:k1/60/0 20:m47= "},
        {EventEdit::Replace(1, 3, Event::Meta(25, kMetaLyric), "di"), nullptr},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.after ? r.after : "refused");
        if (r.after) {
            const EventEdit inverse = song.Apply(r.edit);
            EXPECT_EQ(Describe(voice), r.after);
            const size_t made = voice.PoolBytes();
            song.Apply(inverse);
            EXPECT_EQ(voice.PoolBytes(), made);
        } else {
            ExpectError(r.error, [&] { song.Apply(r.edit); });
        }
        EXPECT_EQ(Describe(voice), before);
    }
    // Every event of the song with its track and place; empty tracks give none.
    std::string placed;
    for (const Song::Placed p : song.AllEvents())
        placed += std::to_string(p.Track) + "." + std::to_string(p.Index) + "@" +
                  std::to_string(p.Record.Tick) + " ";
    EXPECT_EQ(placed, "1.0@0 1.1@0 1.2@0 1.3@10 1.4@10 1.5@20 ");
}

}  // namespace
}  // namespace verselane
