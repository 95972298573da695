// Playback: the song laid out in seconds by every tempo change, and the
// program's render and lyrics --follow heard and timed from outside (sox).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "playback/render.h"
#include "playback/schedule.h"
#include "playback/sound_font.h"
#include "tests/support/lyrics_fixtures.h"
#include "tests/support/test_support.h"

namespace verselane {
namespace {

using test::EndOfTrack;
using test::NoteOn;
using test::SongOf;
using test::Tempo;

const std::string kCli = VERSELANE_CLI;

MidiEvent Event(int32_t time, uint8_t kind, uint8_t channel, uint8_t d1, uint8_t d2 = 0,
                std::string_view body = {}) {
    return MidiEvent{time, kind, channel, d1, d2, body};
}

TEST(PlaybackSchedule, EveryEventAtItsTimeByEveryTempoChange) {
    // Division 480. 0.5 s a quarter note to tick 960, then 1 s to 1920, then
    // 0.25 s: 480 -> 0.5 s, 960 -> 1 s, 1440 -> 2 s, 2160 -> 3.125 s, 2400 -> 3.25 s.
    const MidiFile song =
        SongOf({{Tempo(960, 1000000), Tempo(1920, 250000), EndOfTrack(1920)},
                {Event(0, 4, 2, 40), NoteOn(480, 60),
                 Event(960, kKindSysEx, 0, 0, 0, "\x7E\x7F\x09\x01\xF7"),
                 Event(1440, 6, 1, 0x00, 0x50), Event(2160, 0, 0, 60), Event(2160, 3, 9, 7, 99),
                 Event(2160, kKindMeta, kMetaLyric, 0, 0, "la"), EndOfTrack(2400)}});
    // Format 2: each track a pattern of its own after the one before, at its
    // own tempo (1 s a quarter note, then the default 0.5 s).
    const MidiFile patterns = SongOf(
        {{Tempo(0, 1000000), NoteOn(480, 50), EndOfTrack(960)}, {NoteOn(480, 52), EndOfTrack(960)}},
        2);
    // The length, then per event its seconds, its status in hex and its data
    // bytes or the bytes of a system-exclusive message.
    const auto listed = [](const PlaybackSchedule& schedule) {
        std::ostringstream out;
        out << schedule.Length;
        for (const TimedEvent& e : schedule.Events) {
            out << " | " << e.Seconds << " " << std::hex << int{e.Status} << std::dec << " ";
            if (e.Status == 0xF0) out << schedule.SysEx.at(e.SysEx);
            if (e.Status != 0xF0) out << int{e.Data1} << " " << int{e.Data2};
        }
        return out.str();
    };
    EXPECT_EQ(
        listed(BuildSchedule(song)),
        "3.25 | 0 c2 40 0 | 0.5 90 60 100 | 1 f0 \x7E\x7F\x09\x01 | 2 e1 0 80 | 3.125 80 60 0 | "
        "3.125 b9 7 99");
    EXPECT_EQ(listed(BuildSchedule(patterns)), "3 | 1 90 50 100 | 2.5 90 52 100");
    EXPECT_EQ(FirstEventAt(BuildSchedule(song), 1.0), 2u);
    EXPECT_EQ(FirstEventAt(BuildSchedule(song), 3.2), 6u);
    EXPECT_NEAR(TrackStart(patterns, 1), 2.0, 1e-9);
    EXPECT_EQ(TrackStart(song, 1), 0);
}

// The first number in what `command` prints after `label`, or -1.
double Figure(const std::string& command, const std::string& label = "") {
    std::string text;
    if (test::RunCommand(command + " 2>&1", &text) != 0) return -1;
    const size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::atof(text.c_str() + at + label.size());
}

// Real songs and one of drums alone (channel 10 must sound) rendered to WAV
// last as long as mido says the song is, plus at most the release tail, and
// are heard.
TEST(Render, SongsSoundForTheirWholeLength) {
    test::TempDir dir;
    std::string beats = "00 FF 51 03 07 A1 20";
    for (const char* key : {"24", "26", "2A", "26", "24", "2A", "26", "31"}) {
        beats += std::string(" | 00 99 ") + key + " 64 | 83 60 89 " + key + " 00";
    }
    const std::string drums = (dir / "drums.mid").string(), wav = (dir / "out.wav").string();
    test::WriteAll(drums, test::Smf(0, 480, {test::Hex(beats + " | 00 FF 2F 00")}));
    VERSELANE_REQUIRE_CORPUS();
    if (DefaultSoundFont().empty()) GTEST_SKIP() << MissingSoundFontMessage();
    for (const std::string& path :
         {(*test::CorpusDir() / "kar/twinkle_dmp.kar").string(),
          (*test::CorpusDir() / "lyrics/twinkle_mma.mid").string(),
          (*test::CorpusDir() / "lyrics/angel_fmt0.mid").string(), drums}) {
        ASSERT_EQ(test::RunCommand(kCli + " render '" + path + "' -o " + wav + " 2>&1"), 0) << path;
        const double length = Figure(
            "/usr/bin/python3 -c \"import mido,sys; print(mido.MidiFile(sys.argv[1])"
            ".length)\" '" +
            path + "'");
        const double seconds = Figure("sox --i -D " + wav);
        EXPECT_GE(seconds, length) << path;
        EXPECT_LE(seconds, length + kReleaseTail + 0.01) << path;
        EXPECT_EQ(Figure("sox --i -r " + wav), 44100) << path;
        EXPECT_GT(Figure("sox " + wav + " -n stat", "RMS     amplitude:"), 0.005) << path;
        EXPECT_GT(Figure("sox " + wav + " -n stat", "Maximum amplitude:"), 0.05) << path;
    }
}

TEST(LyricsFollow, PrintsEachLineWhenItIsDue) {
    // Lines at 0 s and 0.6 s (tick 576 at 120 beats a minute, division 480).
    test::TempDir dir;
    test::WriteAll(dir / "song.mid",
                   test::Smf(0, 480,
                             {test::Hex("00 FF 05 03 'La\r' | 84 40 FF 05 02 'Lo' |"
                                        " 00 FF 2F 00")}));
    const auto start = std::chrono::steady_clock::now();
    std::string output;
    EXPECT_EQ(test::RunCommand(kCli + " lyrics --follow " + (dir / "song.mid").string(), &output),
              0);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(output, "0:00.00  La\n0:00.60  Lo\n");
    EXPECT_GE(took.count(), 0.6);
    EXPECT_LT(took.count(), 10.0);  // not waiting for anything else

    // A lyric 2^31 - 8 ticks in at the slowest tempo, one tick a beat: some
    // 1,100 years. Refused at once with a message, nothing printed.
    std::string far = "00 FF 51 03 FF FF FF 00 FF 05 03 'La\r'";
    for (int i = 0; i < 8; ++i) far += " FF FF FF 7F FF 01 00";
    test::WriteAll(dir / "far.mid",
                   test::Smf(0, 1, {test::Hex((far + " 00 FF 05 02 'Lo'").c_str())}));
    EXPECT_EQ(test::RunCommand(kCli + " lyrics --follow " + (dir / "far.mid").string() + " 2>&1",
                               &output),
              1);
    EXPECT_EQ(output,
              "verselane-cli: a line is due at 600479912:17.26, more than 24 hours into the "
              "song; --follow does not wait that long\n");
}

}  // namespace
}  // namespace verselane
