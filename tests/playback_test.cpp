// Playback: the song laid out in seconds by every tempo change, and songs
// rendered to WAV files, heard through sox.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
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

MidiEvent Event(int32_t time, uint8_t kind, uint8_t channel, uint8_t d1, uint8_t d2 = 0,
                std::string_view body = {}) {
    return MidiEvent{time, kind, channel, d1, d2, body};
}

TEST(PlaybackSchedule, EveryEventAtItsTimeByEveryTempoChange) {
    // Division 480. 0.5 s a quarter note to tick 960, then 1 s to 1920, then
    // 0.25 s. By hand: 480 -> 0.5 s, 960 -> 1 s, 1440 -> 2 s, 2160 -> 3.125 s,
    // 2400 -> 3.25 s.
    const MidiFile song =
        SongOf({{Tempo(960, 1000000), Tempo(1920, 250000), EndOfTrack(1920)},
                {Event(0, 4, 2, 40), NoteOn(480, 60),
                 Event(960, kKindSysEx, 0, 0, 0, "\x7E\x7F\x09\x01\xF7"),
                 Event(1440, 6, 1, 0x00, 0x50), Event(2160, 0, 0, 60), Event(2160, 3, 9, 7, 99),
                 Event(2160, kKindMeta, kMetaLyric, 0, 0, "la"), EndOfTrack(2400)}});
    const PlaybackSchedule schedule = BuildSchedule(song);
    struct Expected {
        double seconds;
        uint8_t status, d1, d2;
        std::string sysex;
    };
    const std::vector<Expected> expected = {
        {0, 0xC2, 40, 0, ""},
        {0.5, 0x90, 60, 100, ""},
        {1.0, 0xF0, 0, 0, "\x7E\x7F\x09\x01"},
        {2.0, 0xE1, 0x00, 0x50, ""},
        {3.125, 0x80, 60, 0, ""},
        {3.125, 0xB9, 7, 99, ""},
    };
    ASSERT_EQ(schedule.Events.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const TimedEvent& e = schedule.Events[i];
        EXPECT_NEAR(e.Seconds, expected[i].seconds, 1e-9) << i;
        EXPECT_EQ(e.Status, expected[i].status) << i;
        EXPECT_EQ(e.Data1, expected[i].d1) << i;
        EXPECT_EQ(e.Data2, expected[i].d2) << i;
        if (e.Status == 0xF0) {
            EXPECT_EQ(schedule.SysEx.at(e.SysEx), expected[i].sysex) << i;
        }
    }
    EXPECT_NEAR(schedule.Length, 3.25, 1e-9);
    EXPECT_EQ(FirstEventAt(schedule, 1.0), 2u);
    EXPECT_EQ(FirstEventAt(schedule, 3.2), 6u);

    // Format 2: each track a pattern of its own after the one before, at its
    // own tempo (1 s a quarter note, then the default 0.5 s).
    const MidiFile patterns = SongOf(
        {{Tempo(0, 1000000), NoteOn(480, 50), EndOfTrack(960)}, {NoteOn(480, 52), EndOfTrack(960)}},
        2);
    const PlaybackSchedule turns = BuildSchedule(patterns);
    ASSERT_EQ(turns.Events.size(), 2u);
    EXPECT_NEAR(turns.Events[0].Seconds, 1.0, 1e-9);
    EXPECT_NEAR(turns.Events[1].Seconds, 2.5, 1e-9);
    EXPECT_NEAR(turns.Length, 3.0, 1e-9);
    EXPECT_NEAR(TrackStart(patterns, 1), 2.0, 1e-9);
    EXPECT_EQ(TrackStart(song, 1), 0);
}

// One figure of `sox FILE -n stat` or `sox --i -D FILE`.
double SoxFigure(const std::string& command, const std::string& label) {
    std::string text;
    if (test::RunCommand(command + " 2>&1", &text) != 0) return -1;
    const size_t at = label.empty() ? 0 : text.find(label);
    if (at == std::string::npos) return -1;
    return std::atof(text.c_str() + at + label.size());
}

// The song's length as the outside parser mido computes it.
double MidoLength(const std::string& path) {
    std::string text;
    const int status = test::RunCommand(
        "/usr/bin/python3 -c \"import mido,sys; print(mido.MidiFile(sys.argv[1]).length)\" '" +
            path + "' 2>&1",
        &text);
    return status == 0 ? std::atof(text.c_str()) : -1;
}

TEST(Render, SongsSoundForTheirWholeLengthPlusTheReleaseTail) {
    VERSELANE_REQUIRE_CORPUS();
    if (DefaultSoundFont().empty()) GTEST_SKIP() << MissingSoundFontMessage();
    test::TempDir dir;
    // Notes on channel 10 only: the drum kit must sound.
    std::string beats = "00 FF 51 03 07 A1 20";
    for (const char* key : {"24", "26", "2A", "26", "24", "2A", "26", "31"}) {
        beats += std::string(" | 00 99 ") + key + " 64 | 83 60 89 " + key + " 00";
    }
    const std::string drums = (dir / "drums.mid").string();
    test::WriteAll(drums, test::Smf(0, 480, {test::Hex(beats + " | 00 FF 2F 00")}));

    const std::vector<std::string> songs = {
        (*test::CorpusDir() / "kar/twinkle_dmp.kar").string(),
        (*test::CorpusDir() / "lyrics/twinkle_mma.mid").string(),
        (*test::CorpusDir() / "lyrics/angel_fmt0.mid").string(), drums};
    for (const std::string& path : songs) {
        const std::string wav = (dir / "out.wav").string();
        std::string output;
        ASSERT_EQ(
            test::RunCommand(
                std::string(VERSELANE_CLI) + " render '" + path + "' -o " + wav + " 2>&1", &output),
            0)
            << path << ": " << output;
        const double length = MidoLength(path);
        const double seconds = SoxFigure("sox --i -D " + wav, "");
        EXPECT_GE(seconds, length) << path;
        EXPECT_LE(seconds, length + kReleaseTail + 0.01) << path;
        EXPECT_EQ(SoxFigure("sox --i -r " + wav, ""), 44100) << path;
        EXPECT_GT(SoxFigure("sox " + wav + " -n stat", "RMS     amplitude:"), 0.005) << path;
        EXPECT_GT(SoxFigure("sox " + wav + " -n stat", "Maximum amplitude:"), 0.05) << path;
    }
}

TEST(Render, FailuresAreToldAndLeaveNoFile) {
    test::TempDir dir;
    const std::string song = (dir / "song.mid").string();
    test::WriteAll(song,
                   test::Smf(0, 480, {test::Hex("00 90 3C 64 | 83 60 80 3C 00 | 00 FF 2F 00")}));
    struct Case {
        std::string args;
        std::string message;
    };
    for (const Case& c : std::vector<Case>{
             {"-o " + (dir / "x.wav").string() + " --soundfont " + song, "is not a SoundFont"},
             {"-o " + (dir / "x.wav").string() + " --soundfont /nowhere.sf2", "is not there"},
             {"-o " + (dir / "no/x.wav").string(), "Could not write"},
             {"-o " + song, "is the song being rendered"},
         }) {
        std::string output;
        EXPECT_EQ(
            test::RunCommand(
                std::string(VERSELANE_CLI) + " render " + song + " " + c.args + " 2>&1", &output),
            1)
            << c.args;
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
        EXPECT_FALSE(std::filesystem::exists(dir / "x.wav"));
    }
    EXPECT_EQ(test::ReadAll(song).substr(0, 4), "MThd");  // the song is still there
}

TEST(LyricsFollow, PrintsEachLineWhenItIsDue) {
    // Lines at 0 s and 0.6 s (tick 576 at 120 beats a minute, division 480),
    // printed as `lyrics` prints them.
    test::TempDir dir;
    const std::string song = (dir / "song.mid").string();
    test::WriteAll(song, test::Smf(0, 480,
                                   {test::Hex("00 FF 05 03 'La\r' | 84 40 FF 05 02 'Lo' |"
                                              " 00 FF 2F 00")}));
    const auto start = std::chrono::steady_clock::now();
    std::string output;
    EXPECT_EQ(test::RunCommand(std::string(VERSELANE_CLI) + " lyrics --follow " + song, &output),
              0);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(output, "0:00.00  La\n0:00.60  Lo\n");
    EXPECT_GE(took, 0.6);
    EXPECT_LT(took, 10.0);  // not waiting for anything else
}

}  // namespace
}  // namespace verselane
