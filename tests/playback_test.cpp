// Playback: the song laid out in seconds by every tempo change, and the
// program's render and lyrics --follow heard and timed from outside (sox).
#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "playback/player.h"
#include "playback/realtime_guard.h"
#include "playback/render.h"
#include "playback/schedule.h"
#include "playback/sound_font.h"
#include "playback/synth.h"
#include "tests/support/lyrics_fixtures.h"
#include "tests/support/test_support.h"

namespace verselane {
namespace {

using namespace test;

const std::string kCli = VERSELANE_CLI;

TEST(PlaybackSchedule, EveryEventAtItsTimeByEveryTempoChange) {
    // Division 480. 0.5 s a quarter note to tick 960, then 1 s to 1920, then
    // 0.25 s: 480 -> 0.5 s, 960 -> 1 s, 1440 -> 2 s, 2160 -> 3.125 s, 2400 -> 3.25 s.
    const Song song = BuildSong(
        {{Tempo(960, 1000000), Tempo(1920, 250000), EndOfTrack(1920)},
         {Message(0, EventKind::ProgramChange, 2, 40), NoteOn(480, 60),
          Message(960, EventKind::SysEx, 0, 0, 0, "\x7E\x7F\x09\x01\xF7"),
          Message(1440, EventKind::PitchBend, 1, 0x00, 0x50),
          Message(2160, EventKind::NoteOff, 0, 60), Message(2160, EventKind::Controller, 9, 7, 99),
          Lyric(2160, "la"), EndOfTrack(2400)}});
    // Format 2: each track a pattern of its own after the one before, at its
    // own tempo (1 s a quarter note, then the default 0.5 s).
    const Song patterns = BuildSong(
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
    const PlaybackSchedule of_song = BuildSchedule(song), of_patterns = BuildSchedule(patterns);
    EXPECT_EQ(listed(of_song),
              "3.25 | 0 c2 40 0 | 0.5 90 60 100 | 1 f0 \x7E\x7F\x09\x01 | 2 e1 0 80 | "
              "3.125 80 60 0 | 3.125 b9 7 99");
    EXPECT_EQ(listed(of_patterns), "3 | 1 90 50 100 | 2.5 90 52 100");
    // At half and three-quarter speed every event is due later by that much.
    EXPECT_EQ(listed(AtSpeed(of_patterns, 0.5)), "6 | 2 90 50 100 | 5 90 52 100");
    EXPECT_EQ(listed(AtSpeed(of_patterns, 0.75)), "4 | 1.33333 90 50 100 | 3.33333 90 52 100");
    // What a seek sends again: program, system exclusive, pitch bend, controller.
    EXPECT_EQ(of_song.StateEvents, (std::vector<size_t>{0, 2, 3, 5}));
    EXPECT_TRUE(of_patterns.StateEvents.empty());
    EXPECT_EQ(FirstEventAt(of_song, 1.0), 2u);
    EXPECT_EQ(FirstEventAt(of_song, 3.2), 6u);
    EXPECT_NEAR(TrackStart(patterns, 1), 2.0, 1e-9);
    EXPECT_EQ(TrackStart(song, 1), 0);
}

// A seek sets every channel as the song has it there: the programs,
// controllers and pitch bends before that point, the latest of each, and
// nothing after it.
TEST(PlaybackSchedule, ASeekChasesTheChannelStateUpToItsPoint) {
    if (DefaultSoundFont().empty()) GTEST_SKIP() << MissingSoundFontMessage();
    const Song song = BuildSong(
        {{Message(0, EventKind::ProgramChange, 2, 40), Message(0, EventKind::Controller, 9, 7, 99),
          NoteOn(480, 60), Message(960, EventKind::Controller, 9, 7, 50),
          Message(960, EventKind::PitchBend, 1, 0x00, 0x50),
          Message(1440, EventKind::ProgramChange, 2, 41), EndOfTrack(1920)}});
    const PlaybackSchedule schedule = BuildSchedule(song);
    std::string error;
    const std::unique_ptr<Synth> synth = Synth::Create(DefaultSoundFont(), 44100, {}, &error);
    ASSERT_TRUE(synth) << error;
    // The program, volume and pitch bend after a seek to `seconds`.
    const auto state_at = [&](double seconds) {
        synth->Chase(schedule, FirstEventAt(schedule, seconds));
        int program = 0, volume = 0, bend = 0, sfont = 0, bank = 0;
        fluid_synth_get_program(synth->Handle(), 2, &sfont, &bank, &program);
        fluid_synth_get_cc(synth->Handle(), 9, 7, &volume);
        fluid_synth_get_pitch_bend(synth->Handle(), 1, &bend);
        return std::to_string(program) + " " + std::to_string(volume) + " " + std::to_string(bend);
    };
    EXPECT_EQ(state_at(0.9), "40 99 8192");  // before the second volume
    EXPECT_EQ(state_at(1.5), "40 50 10240");
    EXPECT_EQ(state_at(0), "0 100 8192");  // back to the start: all reset
}

// The first number in what `command` prints after `label`, or -1.
double Figure(const std::string& command, const std::string& label = "") {
    std::string text;
    if (RunCommand(command + " 2>&1", &text) != 0) return -1;
    const size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::atof(text.c_str() + at + label.size());
}

// Real songs and one of drums alone (channel 10 must sound) rendered to WAV
// last as long as mido says the song is, plus at most the release tail, and
// are heard.
TEST(Render, SongsSoundForTheirWholeLength) {
    TempDir dir;
    std::string beats = "00 FF 51 03 07 A1 20";
    for (const char* key : {"24", "26", "2A", "26", "24", "2A", "26", "31"})
        beats += std::string(" | 00 99 ") + key + " 64 | 83 60 89 " + key + " 00";
    const std::string drums = (dir / "drums.mid").string(), wav = (dir / "out.wav").string();
    WriteAll(drums, Smf(0, 480, {Hex(beats + " | 00 FF 2F 00")}));
    VERSELANE_REQUIRE_CORPUS();
    if (DefaultSoundFont().empty()) GTEST_SKIP() << MissingSoundFontMessage();
    const std::string mido =
        "/usr/bin/python3 -c \"import mido,sys; print(mido.MidiFile(sys.argv[1]).length)\" '";
    for (const std::string& path : {(*CorpusDir() / "kar/twinkle_dmp.kar").string(),
                                    (*CorpusDir() / "lyrics/twinkle_mma.mid").string(),
                                    (*CorpusDir() / "lyrics/angel_fmt0.mid").string(), drums}) {
        ASSERT_EQ(RunCommand(kCli + " render '" + path + "' -o " + wav + " 2>&1"), 0) << path;
        const double length = Figure(mido + path + "'");
        const double seconds = Figure("sox --i -D " + wav);
        EXPECT_GE(seconds, length) << path;
        EXPECT_LE(seconds, length + kReleaseTail + 0.01) << path;
        EXPECT_EQ(Figure("sox --i -r " + wav), 44100) << path;
        EXPECT_GT(Figure("sox " + wav + " -n stat", "RMS     amplitude:"), 0.005) << path;
        EXPECT_GT(Figure("sox " + wav + " -n stat", "Maximum amplitude:"), 0.05) << path;
    }
    // FluidSynth (and the fifty libraries behind it) is loaded by playback
    // alone: a command that does not play never pays for it.
    const auto loaded = [&](const std::string& command) {
        std::string out;
        EXPECT_EQ(RunCommand("LD_DEBUG=files " + kCli + command + " 2>&1", &out), 0);
        return out;
    };
    EXPECT_NE(loaded(" render " + drums + " -o " + wav).find("file=libfluidsynth"),
              std::string::npos);
    EXPECT_EQ(loaded(" copy " + drums + " " + (dir / "copy.mid").string()).find("libfluidsynth"),
              std::string::npos);
}

// The WAV file's size follows from the schedule before anything is played
// (the song to the block of its last event, then the one-second tail), and
// its header says so, byte for byte; past 4 GiB no WAV file can say it.
TEST(Render, SizedAheadFromTheScheduleWithItsHeaderFirst) {
    const PlaybackSchedule second{.Events = {}, .SysEx = {}, .Length = 1.0, .StateEvents = {}};
    const RenderSize size = RenderSizeOf(second);
    EXPECT_EQ(size.Bytes, 44u + 88320u * 4);
    PlaybackSchedule hours = second;
    for (const double length : {6.7 * 3600, 6.8 * 3600, 4.5e9}) {  // the last 143 years
        hours.Length = length;
        EXPECT_EQ(RenderSizeOf(hours).FitsWav, length < 6.75 * 3600) << length;
    }
    EXPECT_NE(RenderToWav(hours, DefaultSoundFont(), "/nowhere/x.wav").Error.find("4 GiB"),
              std::string::npos);
    if (DefaultSoundFont().empty()) GTEST_SKIP() << MissingSoundFontMessage();
    TempDir dir;
    // Half speed: a note at 0.5 s of a 1 s song sounds from 1 s of 2 s.
    const PlaybackSchedule half =
        AtSpeed(BuildSchedule(BuildSong({{NoteOn(480, 60), EndOfTrack(960)}})), 0.5);
    const RenderReport slow = RenderToWav(half, DefaultSoundFont(), (dir / "half.wav").string());
    EXPECT_NEAR(slow.FirstSound, 1.0, 0.01);
    EXPECT_NEAR(Figure("sox --i -D " + (dir / "half.wav").string()), 2.0 + kReleaseTail, 0.01);
    const RenderReport report = RenderToWav(second, DefaultSoundFont(), (dir / "s.wav").string());
    ASSERT_EQ(report.Error, "");
    EXPECT_DOUBLE_EQ(report.Seconds, 88320 / 44100.0);
    const std::string wav = ReadAll(dir / "s.wav");
    EXPECT_EQ(wav.size(), size.Bytes);
    EXPECT_EQ(wav.substr(0, 44), Hex("'RIFF' 24 64 05 00 'WAVEfmt ' 10 00 00 00 01 00 02 00"
                                     "44 AC 00 00 10 B1 02 00 04 00 10 00 'data' 00 64 05 00"));
}

// A render replaces the WAV file whole or not at all: killed halfway, or
// refused for want of space on a full disk, it leaves the earlier file as it
// was and nothing of its own.
TEST(Render, KilledOrOutOfSpaceLeavesTheEarlierFile) {
    VERSELANE_REQUIRE_CORPUS();
    if (DefaultSoundFont().empty()) GTEST_SKIP() << MissingSoundFontMessage();
    TempDir dir;
    const std::string render =
        kCli + " render '" + (*CorpusDir() / "kar/negra_sombra.kar").string() + "' -o ";
    const std::filesystem::path earlier = dir / "song.wav";
    WriteAll(earlier, "earlier");
    // 268 s of song take seconds to render: still writing after one.
    EXPECT_EQ(RunCommand(render + earlier.string() + " & sleep 1; kill -9 $!"), 0)
        << "the render had ended before it was killed";
    RunCommand("sleep 0.2");
    EXPECT_EQ(ReadAll(earlier), "earlier");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    const std::filesystem::path small = dir / "small";
    std::filesystem::create_directory(small);
    if (RunCommand("mount -t tmpfs -o size=1m tmpfs " + small.string() + " 2>/dev/null"))
        GTEST_SKIP() << "cannot mount a tmpfs here: the full disk is not tried";
    const std::string into = (small / "song.wav").string();
    WriteAll(into, "earlier");
    std::string said;
    EXPECT_EQ(RunCommand(render + into + " 2>&1", &said), 1);
    EXPECT_NE(said.find("negra_sombra.kar lasts 4:2"), std::string::npos) << said;
    EXPECT_NE(said.find("MB would not fit the 1.0 MB free"), std::string::npos) << said;
    EXPECT_EQ(ReadAll(into), "earlier");
    RunCommand("umount " + small.string());
}

// The audio callback neither waits nor allocates, however the controls are
// used: 100 seeks while the song plays through the null sink (a thread that
// pulls sound at a device's pace) leave the count of callbacks that did at
// zero, and each seek lands where it was sent.
TEST(Player, SeeksDuringPlaybackNeverMakeTheCallbackWaitOrAllocate) {
    // The count sees what it is meant to see: an allocation, then a lock,
    // each in a callback of its own.
    RealTimeCheckedMutex mutex;
    for (const bool lock : {false, true}) {
        AudioCallbackScope scope;
        EXPECT_FALSE(scope.Violated()) << lock;
        const std::unique_ptr<int> allocated = lock ? nullptr : std::make_unique<int>(1);
        if (lock) const std::lock_guard guard(mutex);
        EXPECT_TRUE(scope.Violated()) << lock;
    }
    // Before any output is open the song plays silently by the system clock,
    // which moves.
    Player silent;
    silent.SetSchedule(std::make_shared<PlaybackSchedule>(
        BuildSchedule(BuildSong({{EndOfTrack(0)}, {NoteOn(0, 60), EndOfTrack(9600)}}))));
    silent.Play();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_GT(silent.Position(), 0.1);
    silent.Pause();  // keeps the place it reached
    EXPECT_GT(silent.Position(), 0.1);
    if (DefaultSoundFont().empty()) GTEST_SKIP() << MissingSoundFontMessage();
    // 60 s of a note every quarter of a second, with program and controller
    // changes for every seek to chase.
    TrackEvents notes;
    for (uint8_t n = 0; n < 240; ++n) {
        const int32_t t = 240 * n;
        const auto key = static_cast<uint8_t>(60 + n % 12);
        notes.insert(notes.end(), {Message(t, EventKind::ProgramChange, 0, n % 8),
                                   Message(t, EventKind::Controller, 0, 7, n % 128), NoteOn(t, key),
                                   Message(t + 200, EventKind::NoteOff, 0, key)});
    }
    notes.push_back(EndOfTrack(240 * 240));
    const Song song = BuildSong({{EndOfTrack(0)}, notes});
    Player player;
    player.Open({}, "null");
    for (int i = 0; i < 1000 && player.State() == Player::Output::Opening; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(player.State(), Player::Output::Sound) << player.Detail();
    player.SetSchedule(std::make_shared<PlaybackSchedule>(BuildSchedule(song)));
    ASSERT_NEAR(player.Length(), 60.0, 0.01);
    player.Play();
    for (int i = 0; i < 100; ++i) {
        const double to = (i * 7) % 55;
        player.Seek(to);
        EXPECT_GE(player.Position(), to - 0.01) << i;
        player.SetVolume(i % 2 ? 0.3 : 0.6);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    player.Seek(30);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(player.Playing());
    EXPECT_NEAR(player.Position(), 30.35, 0.25);
    // At half speed the song stays where it was, its clock runs at half the
    // pace and reads in the song's seconds, and so do seeks and the length.
    const double before = player.Position();
    player.SetSpeed(0.5);
    EXPECT_TRUE(player.Playing());
    EXPECT_NEAR(player.Position(), before, 0.1);
    EXPECT_NEAR(player.Length(), 60.0, 0.01);
    player.Seek(40);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_NEAR(player.Position(), 40.2, 0.1);
    player.Pause();
    EXPECT_GT(player.Callbacks(), 40);
    EXPECT_EQ(player.RealTimeViolations(), 0);
}

TEST(LyricsFollow, PrintsEachLineWhenItIsDue) {
    // Lines at 0 s and 0.6 s (tick 576 at 120 beats a minute, division 480).
    TempDir dir;
    const std::string lines = Hex("00 FF 05 03 'La\r' 84 40 FF 05 02 'Lo' 00 FF 2F 00");
    WriteAll(dir / "song.mid", Smf(0, 480, {lines}));
    std::string output;
    const auto follow = [&](const char* name) {
        return RunCommand(kCli + " lyrics --follow " + (dir / name).string() + " 2>&1", &output);
    };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(follow("song.mid"), 0);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(output, "0:00.00  La\n0:00.60  Lo\n");
    EXPECT_GE(took.count(), 0.6);
    EXPECT_LT(took.count(), 10.0);  // not waiting for anything else

    // A lyric 2^31 - 8 ticks in at the slowest tempo, one tick a beat: some
    // 1,100 years. Refused at once with a message, nothing printed.
    std::string far = "00 FF 51 03 FF FF FF 00 FF 05 03 'La\r'";
    for (int i = 0; i < 8; ++i) far += " FF FF FF 7F FF 01 00";
    WriteAll(dir / "far.mid", Smf(0, 1, {Hex((far + " 00 FF 05 02 'Lo'").c_str())}));
    EXPECT_EQ(follow("far.mid"), 1);
    EXPECT_EQ(output,
              "verselane-cli: a line is due at 600479912:17.26, more than 24 hours into the "
              "song; --follow does not wait that long\n");
}

}  // namespace
}  // namespace verselane
