// verselane-cli as a real process on real files: help and usage errors,
// batches with failing inputs, the rules that keep inputs and existing files
// safe, an unwritable output folder, and what the lyrics and info commands print.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "lyrics/track_choice.h"
#include "tests/support/test_support.h"

namespace verselane {
namespace {

namespace fs = std::filesystem;

const std::string kCli = VERSELANE_CLI;

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

// Runs verselane-cli with the arguments in `dir`; stdout and stderr apart.
Outcome Cli(const test::TempDir& dir, const std::vector<std::string>& args) {
    std::string command = "cd " + Quote(dir.path().string()) + " && " + Quote(kCli);
    for (const std::string& a : args) command += " " + Quote(a);
    const fs::path err = dir / ".stderr";
    command += " 2>" + Quote(err.string());
    Outcome run;
    run.status = test::RunCommand(command, &run.out);
    run.err = test::ReadAll(err);
    fs::remove(err);
    return run;
}

// A meta event with a delta time below 128.
std::string MetaBytes(int delta, int type, std::string_view text) {
    std::string out;
    out += static_cast<char>(delta);
    out += '\xFF';
    out += static_cast<char>(type);
    out += static_cast<char>(text.size());
    out += text;
    return out;
}

// Division 480 at 500000 microseconds a quarter note: 960 ticks a second.
std::string LyricSongBytes(std::string_view first_word = "Hel") {
    const std::string tempo = test::Hex("00 FF 51 03 07 A1 20") + test::Hex("00 FF 2F 00");
    std::string words = MetaBytes(0, 3, "Vocal");
    words += MetaBytes(0, 5, first_word);
    words += MetaBytes(120, 5, "lo\r");
    words += test::Hex("87 40") + MetaBytes(0, 5, "world").substr(1);  // 960 ticks later
    words += MetaBytes(100, 5, "\n");
    words += test::Hex("87 40") + MetaBytes(0, 5, "again").substr(1);
    words += test::Hex("00 FF 2F 00");
    return test::Smf(1, 480, {tempo, words});
}

std::string KaraokeSongBytes() {
    std::string header = MetaBytes(0, 3, "Soft Karaoke") + MetaBytes(0, 1, "@KMIDI KARAOKE FILE") +
                         test::Hex("00 FF 2F 00");
    std::string words = MetaBytes(0, 3, "Words") + MetaBytes(0, 1, "@LENGL") +
                        MetaBytes(96, 1, "\\Ma") + MetaBytes(96, 1, "ry") +
                        MetaBytes(96, 1, "/had") + test::Hex("00 FF 2F 00");
    return test::Smf(1, 96, {test::Hex("00 FF 2F 00"), header, words});
}

MidiFile Read(const fs::path& path) {
    std::string message;
    MidiFile song = test::ReadSong(path, &message);
    EXPECT_EQ(message, "") << path;
    return song;
}

TEST(CommandLine, HelpVersionAndUsageErrors) {
    test::TempDir dir;
    Outcome help = Cli(dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"info", "lyrics", "to-karaoke", "to-lyrics", "copy"}) {
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
        Outcome own = Cli(dir, {command, "--help"});
        EXPECT_EQ(own.status, 0) << command;
        EXPECT_EQ(own.out.rfind(std::string("Usage: verselane-cli ") + command, 0), 0u) << own.out;
    }
    EXPECT_NE(Cli(dir, {"to-karaoke", "-h"}).out.find("--language L"), std::string::npos);
    EXPECT_NE(Cli(dir, {"to-lyrics", "--help"}).out.find("--replace"), std::string::npos);
    EXPECT_EQ(Cli(dir, {"--version"}).out, "verselane-cli 1.0.0\n");

    struct Bad {
        std::vector<std::string> args;
        const char* message;
    };
    for (const Bad& bad : {Bad{{}, "no command"}, Bad{{"sing"}, "unknown command: sing"},
                           Bad{{"to-karaoke"}, "needs at least one input"},
                           Bad{{"to-karaoke", "a.mid", "--colour"}, "unknown option: --colour"},
                           Bad{{"to-lyrics", "a", "b", "-o", "c"}, "-o names the output of one"},
                           Bad{{"to-lyrics", "a", "-o", "c", "--out-dir", "d"}, "cannot be used"},
                           Bad{{"to-karaoke", "a", "--track", "x"}, "--track needs"},
                           Bad{{"to-karaoke", "a", "-j", "0"}, "-j needs"},
                           Bad{{"to-karaoke", "a", "--replace"}, "unknown option: --replace"},
                           Bad{{"lyrics", "a", "--from", "air"}, "--from takes"},
                           Bad{{"info"}, "info takes one FILE"}}) {
        Outcome run = Cli(dir, bad.args);
        EXPECT_EQ(run.status, 2) << bad.message;
        EXPECT_NE(run.err.find(bad.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(CommandLine, BatchGoesOnPastFailingInputs) {
    test::TempDir dir;
    test::WriteAll(dir / "one.mid", LyricSongBytes());
    test::WriteAll(dir / "two.mid", LyricSongBytes("Bye"));
    test::WriteAll(dir / "broken.mid", "this is no MIDI file");
    test::WriteAll(dir / "plain.mid",
                   test::Smf(1, 96, {test::Hex("00 90 3C 40 60 80 3C 00 00 FF 2F 00")}));
    Outcome run = Cli(dir, {"to-karaoke", "one.mid", "broken.mid", "missing.mid", "plain.mid",
                            "two.mid", "--out-dir", "out", "-j", "2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("broken.mid: Failed to find MThd header for file."), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("missing.mid: Error processing file. Error: File not found"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("plain.mid: no lyric events found"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("one.mid -> out/one.kar (track 1)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("two.mid -> out/two.kar (track 1)"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(dir / "out/broken.kar"));
    EXPECT_FALSE(fs::exists(dir / "out/plain.kar"));

    const MidiFile converted = Read(dir / "out/one.kar");
    EXPECT_EQ(converted.Header.NumTracks, 4);
    EXPECT_EQ(converted.TrackName[1], "Soft Karaoke");
    EXPECT_EQ(converted.TrackName[2], "Words");
    EXPECT_TRUE(converted.HasKaraokeText);
    std::string listing;
    EXPECT_EQ(test::RunCommand("midicsv " + Quote((dir / "out/two.kar").string()), &listing), 0);
    EXPECT_NE(listing.find("Text_t, \"\\\\Bye\""), std::string::npos) << listing;

    // A damaged file is refused with what is damaged; --salvage converts what
    // could be read, with a warning, and counts it apart.
    const std::string whole = LyricSongBytes();
    test::WriteAll(dir / "cut.mid", whole.substr(0, whole.size() - 3));
    Outcome cut = Cli(dir, {"to-karaoke", "cut.mid"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.err,
              "cut.mid: damaged; not written (--salvage writes what could be read):\n"
              "  File is cut short inside track 2.\n");
    EXPECT_FALSE(fs::exists(dir / "cut.kar"));
    cut = Cli(dir, {"to-karaoke", "cut.mid", "--salvage"});
    EXPECT_EQ(cut.status, 0);
    EXPECT_EQ(cut.err,
              "cut.mid: warning: damaged; written as far as it could be read (--salvage):\n"
              "  File is cut short inside track 2.\n");
    EXPECT_NE(cut.out.find("cut.mid -> cut.kar (track 1, salvaged from a damaged file)\n1 of 1 "
                           "files were damaged"),
              std::string::npos)
        << cut.out;
    EXPECT_EQ(MaterialOf(Read(dir / "cut.kar"), 2).TextEvents, 10);  // 6 information lines, 4 words

    // All good: exit status 0, and the same files whatever the number of jobs.
    Outcome again = Cli(dir, {"to-karaoke", "one.mid", "two.mid", "--out-dir", "out1", "-j", "1"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(test::ReadAll(dir / "out1/one.kar"), test::ReadAll(dir / "out/one.kar"));
    EXPECT_EQ(test::ReadAll(dir / "out1/two.kar"), test::ReadAll(dir / "out/two.kar"));
}

TEST(CommandLine, OutputNamesOptionsAndModes) {
    test::TempDir dir;
    test::WriteAll(dir / "song.mid", LyricSongBytes());
    test::WriteAll(dir / "kara.kar", KaraokeSongBytes());

    Outcome run = Cli(dir, {"to-karaoke", "song.mid", "--language", "DEUT", "--title", " Lied ",
                            "--artist", "Someone"});
    ASSERT_EQ(run.status, 0) << run.err;
    const MidiFile k = Read(dir / "song.kar");
    EXPECT_EQ(k.Tracks[2].Event(1).Data, std::string_view("@LDEUT"));
    EXPECT_EQ(k.Tracks[2].Event(2).Data, std::string_view("@TLied"));
    EXPECT_EQ(k.Tracks[2].Event(3).Data, std::string_view("@TSomeone"));
    Outcome defaults = Cli(dir, {"to-karaoke", "song.mid", "-o", "defaults.kar"});
    ASSERT_EQ(defaults.status, 0) << defaults.err;
    const MidiFile d = Read(dir / "defaults.kar");
    EXPECT_EQ(d.Tracks[2].Event(1).Data, std::string_view("@LENGL"));
    EXPECT_EQ(d.Tracks[2].Event(2).Data, std::string_view("@TYOUR SONG"));
    EXPECT_EQ(d.Tracks[2].Event(3).Data, std::string_view("@TARTIST"));

    // Keep mode by default, --replace on request; beside the input.
    ASSERT_EQ(Cli(dir, {"to-lyrics", "kara.kar"}).status, 0);
    const MidiFile kept = Read(dir / "kara.lyrics.mid");
    EXPECT_EQ(MaterialOf(kept, 2).TextEvents, 4);
    EXPECT_EQ(MaterialOf(kept, 2).LyricEvents, 4);
    ASSERT_EQ(Cli(dir, {"to-lyrics", "kara.kar", "--replace", "-o", "replaced.mid"}).status, 0);
    const MidiFile replaced = Read(dir / "replaced.mid");
    EXPECT_EQ(MaterialOf(replaced, 2).TextEvents, 0);
    EXPECT_EQ(MaterialOf(replaced, 2).LyricEvents, 4);

    // --track by the numbers that info prints; a track without material fails.
    Outcome info = Cli(dir, {"info", "kara.kar"});
    EXPECT_NE(info.out.find("Track 2: \"Words\", 6 events, 0 lyric, 4 text"), std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("Karaoke text to lyrics would take: track 2"), std::string::npos);
    EXPECT_NE(info.out.find("Lyrics to karaoke text would take: none"), std::string::npos);
    Outcome wrong = Cli(dir, {"to-lyrics", "kara.kar", "--track", "0", "-o", "t0.mid"});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.err.find("kara.kar: track 0 holds no karaoke text events"), std::string::npos)
        << wrong.err;
    Outcome missing = Cli(dir, {"to-lyrics", "kara.kar", "--track", "3", "-o", "t3.mid"});
    EXPECT_NE(missing.err.find("there is no track 3 (the song has 3 tracks, 0 to 2)"),
              std::string::npos)
        << missing.err;
    Outcome header = Cli(dir, {"to-lyrics", "kara.kar", "--track", "1", "-o", "t1.mid"});
    EXPECT_EQ(header.status, 0) << header.err;
    EXPECT_EQ(MaterialOf(Read(dir / "t1.mid"), 1).LyricEvents, 1);
}

TEST(CommandLine, InputsAndExistingFilesAreSafe) {
    test::TempDir dir;
    const std::string song = KaraokeSongBytes();
    test::WriteAll(dir / "song.kar", song);
    fs::create_directories(dir / "sub");
    test::WriteAll(dir / "sub/song.kar", song);

    // The default name of a karaoke song's karaoke output is the input itself.
    for (bool force : {false, true}) {
        std::vector<std::string> args = {"to-karaoke", "song.kar"};
        if (force) args.push_back("--force");
        test::WriteAll(dir / "song.kar", LyricSongBytes());
        const std::string input = test::ReadAll(dir / "song.kar");
        Outcome run = Cli(dir, args);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("would write over the input"), std::string::npos) << run.err;
        EXPECT_EQ(test::ReadAll(dir / "song.kar"), input);
    }
    // Nor by another spelling, nor the input of another job.
    test::WriteAll(dir / "song.kar", song);
    Outcome spelled = Cli(dir, {"to-lyrics", "song.kar", "-o", "sub/../song.kar", "--force"});
    EXPECT_EQ(spelled.status, 1);
    EXPECT_EQ(test::ReadAll(dir / "song.kar"), song);
    test::WriteAll(dir / "a.kar", song);
    test::WriteAll(dir / "a.lyrics.mid", LyricSongBytes());
    const std::string other_input = test::ReadAll(dir / "a.lyrics.mid");
    Outcome other = Cli(dir, {"to-lyrics", "a.kar", "a.lyrics.mid", "--force"});
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find("a.kar: the output a.lyrics.mid would write over the input"),
              std::string::npos)
        << other.err;
    EXPECT_EQ(test::ReadAll(dir / "a.lyrics.mid"), other_input);

    // Nor through a hard link to it.
    fs::create_hard_link(dir / "song.kar", dir / "hard.mid");
    Outcome linked = Cli(dir, {"to-lyrics", "song.kar", "-o", "hard.mid", "--force"});
    EXPECT_EQ(linked.status, 1);
    EXPECT_NE(linked.err.find("would write over the input (a link to it)"), std::string::npos)
        << linked.err;
    EXPECT_EQ(test::ReadAll(dir / "song.kar"), song);

    // Two inputs of one name into one folder: the second is refused.
    Outcome twice = Cli(dir, {"to-lyrics", "song.kar", "sub/song.kar", "--out-dir", "out"});
    EXPECT_EQ(twice.status, 1);
    EXPECT_NE(twice.err.find("sub/song.kar: the output out/song.lyrics.mid is already the output "
                             "of song.kar"),
              std::string::npos)
        << twice.err;
    EXPECT_TRUE(fs::exists(dir / "out/song.lyrics.mid"));

    // An existing output stays unless --force.
    test::WriteAll(dir / "taken.mid", "keep me");
    Outcome refused = Cli(dir, {"to-lyrics", "song.kar", "-o", "taken.mid"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("song.kar: the output taken.mid exists already (--force replaces "
                               "it)"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(test::ReadAll(dir / "taken.mid"), "keep me");
    Outcome forced = Cli(dir, {"to-lyrics", "song.kar", "-o", "taken.mid", "--force"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(MaterialOf(Read(dir / "taken.mid"), 2).LyricEvents, 4);
    // No temporary files are left behind.
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string().rfind(".verselane", 0), std::string::npos)
            << entry.path();
    }
}

TEST(CommandLine, OutputFolderThatCannotBeMade) {
    test::TempDir dir;
    test::WriteAll(dir / "song.kar", KaraokeSongBytes());
    test::WriteAll(dir / "file", "a file, not a folder");
    Outcome run = Cli(dir, {"to-lyrics", "song.kar", "--out-dir", "file/out"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "verselane-cli: cannot make the folder file/out: Not a directory\n");
    EXPECT_EQ(test::ReadAll(dir / "song.kar"), KaraokeSongBytes());
}

TEST(CommandLine, ReadOnlyOutputFolder) {
    test::TempDir dir;
    test::WriteAll(dir / "song.kar", KaraokeSongBytes());
    fs::create_directories(dir / "locked");
    // Permissions do not bind the superuser: run the program as nobody then.
    std::string as_user;
    if (::geteuid() == 0) {
        if (test::RunCommand("command -v setpriv >/dev/null") != 0) {
            GTEST_SKIP() << "running as the superuser without setpriv";
        }
        as_user = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        if (test::RunCommand(as_user + "test -x " + Quote(kCli)) != 0) {
            GTEST_SKIP() << "the program is out of reach of the user nobody";
        }
        fs::permissions(dir.path(),
                        fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    }
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
    std::string out;
    const int status =
        test::RunCommand("cd " + Quote(dir.path().string()) + " && " + as_user + Quote(kCli) +
                             " to-lyrics song.kar --out-dir locked 2>&1",
                         &out);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("song.kar: Error processing file. Error: File access error: "
                       "locked/song.lyrics.mid: Permission denied"),
              std::string::npos)
        << out;
    EXPECT_TRUE(fs::is_empty(dir / "locked"));
    EXPECT_EQ(test::ReadAll(dir / "song.kar"), KaraokeSongBytes());
}

TEST(CommandLine, LyricsAsAKaraokePlayerShowsThem) {
    test::TempDir dir;
    test::WriteAll(dir / "song.mid", LyricSongBytes());
    test::WriteAll(dir / "kara.kar", KaraokeSongBytes());
    Outcome lyrics = Cli(dir, {"lyrics", "song.mid"});
    EXPECT_EQ(lyrics.status, 0) << lyrics.err;
    EXPECT_EQ(lyrics.out, "0:00.00  Hello\n0:01.12  world\n\n0:02.22  again\n");

    Outcome karaoke = Cli(dir, {"lyrics", "kara.kar"});
    EXPECT_EQ(karaoke.out, "0:00.50  Mary\n0:01.50  had\n");
    EXPECT_EQ(Cli(dir, {"lyrics", "kara.kar", "--from", "lyrics"}).status, 1);
    EXPECT_EQ(Cli(dir, {"lyrics", "kara.kar", "--track", "1"}).out, "");

    // Bytes of another encoding, detected or named.
    test::WriteAll(dir / "latin.mid", LyricSongBytes("Sch\xF6n "));
    EXPECT_EQ(Cli(dir, {"lyrics", "latin.mid"}).out,
              "0:00.00  Schön lo\n0:01.12  world\n\n0:02.22  again\n");
    EXPECT_EQ(Cli(dir, {"lyrics", "latin.mid", "--encoding", "ISO-8859-5"}).out,
              "0:00.00  Schіn lo\n0:01.12  world\n\n0:02.22  again\n");
    Outcome unknown = Cli(dir, {"lyrics", "latin.mid", "--encoding", "NONE-SUCH"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown encoding: NONE-SUCH"), std::string::npos);
    EXPECT_NE(Cli(dir, {"info", "latin.mid"}).out.find("Text encoding: WINDOWS-1252"),
              std::string::npos);

    // A song cannot send escape sequences to the terminal.
    test::WriteAll(dir / "escape.mid", LyricSongBytes("\x1B[2J"));
    EXPECT_EQ(Cli(dir, {"lyrics", "escape.mid"}).out,
              "0:00.00  ?[2Jlo\n0:01.12  world\n\n0:02.22  again\n");
}

TEST(CommandLine, WholeCorpusBothWays) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    std::vector<std::string> karaoke = {"to-lyrics", "--out-dir", "lyr"};
    for (const fs::path& p : test::CorpusFiles("kar")) karaoke.push_back(p.string());
    std::vector<std::string> lyrics = {"to-karaoke", "--out-dir", "kar"};
    for (const fs::path& p : test::CorpusFiles("lyrics")) lyrics.push_back(p.string());
    for (const auto& args : {karaoke, lyrics}) {
        Outcome run = Cli(dir, args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const fs::path out = dir / args[2];
        size_t files = 0;
        for (const auto& entry : fs::directory_iterator(out)) {
            ++files;
            EXPECT_EQ(test::RunCommand("midicsv " + Quote(entry.path().string()) + " >/dev/null"),
                      0)
                << entry.path();
        }
        EXPECT_EQ(files, args.size() - 3);
    }
}

// What the messages say: what failed and where, names made printable on one
// line, and no success for a command that did nothing.
TEST(CommandLine, MessagesSayWhatFailedAndWhere) {
    test::TempDir dir;
    test::WriteAll(dir / "song.mid", LyricSongBytes());
    test::WriteAll(dir / "named.mid",
                   test::Smf(1, 96, {MetaBytes(0, 3, "A\nB\x1B[31m") + test::Hex("00 FF 2F 00")}));
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;  // a part of standard error, or of standard output for "out:"
    } cases[] = {
        {{"to-karaoke", "missing.kar"},
         1,
         "missing.kar: Error processing file. Error: File not found: missing.kar"},
        {{"to-karaoke", "song.mid", "-o", ""}, 2, "-o needs a file name"},
        {{"to-karaoke", "song.mid", "--out-dir", ""}, 2, "--out-dir needs a folder name"},
        {{"copy", "song.mid", ""}, 2, "the output file name is empty"},
        {{"lyrics", "song.mid", "--track", "0"}, 1, "song.mid: track 0 holds no lyric events"},
        {{"info", "named.mid"}, 0, "out:Track 0: \"A\\nB\\x1B[31m\""},
        {{"to-karaoke", "song.mid", "-o", "/dev/stdout"}, 0, "song.mid -> /dev/stdout (track 1)"},
        {{"info", "bad\x1B[2J.mid"},
         1,
         "bad\\x1B[2J.mid: Error processing file. Error: File "
         "not found: bad\\x1B[2J.mid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        Outcome run = Cli(dir, c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        const bool out = c.err.starts_with("out:");
        const std::string& where = out ? run.out : run.err;
        EXPECT_NE(where.find(out ? c.err.substr(4) : c.err), std::string::npos) << where;
        EXPECT_EQ(run.err.find("over the input"), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace verselane
