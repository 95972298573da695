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

// The pieces of `text` between the separators.
std::vector<std::string> Words(const std::string& text, char separator = ' ') {
    std::vector<std::string> words;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find(separator, at), text.size());
        words.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return words;
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
    EXPECT_EQ(Cli(dir, {"--version"}).out, "verselane-cli " VERSELANE_VERSION "\n");

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
    EXPECT_EQ(run.err.substr(run.err.size() - 52),
              "verselane-cli: 2 written, 1 without words, 2 failed\n");
    for (size_t at = 0; at < run.err.size(); at = run.err.find('\n', at) + 1) {
        EXPECT_EQ(run.err.compare(at, 15, "verselane-cli: "), 0) << run.err.substr(at);
    }
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
              "verselane-cli: cut.mid: damaged; not written (--salvage writes what could be "
              "read):\nverselane-cli:   File is cut short inside track 2.\n"
              "verselane-cli: 0 written, 0 without words, 1 failed\n");
    EXPECT_FALSE(fs::exists(dir / "cut.kar"));
    cut = Cli(dir, {"to-karaoke", "cut.mid", "--salvage"});
    EXPECT_EQ(cut.status, 0);
    EXPECT_EQ(
        cut.err,
        "verselane-cli: cut.mid: warning: damaged; written as far as it could be read "
        "(--salvage):\nverselane-cli:   File is cut short inside track 2.\n"
        "verselane-cli: 1 written (1 of them from damaged files), 0 without words, 0 failed\n");
    EXPECT_EQ(cut.out, "cut.mid -> cut.kar (track 1, salvaged from a damaged file)\n");
    EXPECT_EQ(MaterialOf(Read(dir / "cut.kar"), 2).TextEvents, 8);  // 4 information lines, 4 words

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

    // Lines not typed come from the song; typed ones take the song's encoding.
    const std::string end = test::Hex("00 FF 2F 00");
    const std::string lyric = MetaBytes(0, 5, "la") + end;
    const std::string named = test::Smf(1, 96, {MetaBytes(0, 3, "Angel") + end, lyric});
    const std::string generic = test::Smf(1, 96, {MetaBytes(0, 3, "Track 1") + end, lyric});
    const std::string tagged =
        test::Smf(1, 96,
                  {MetaBytes(0, 3, "Angel") + MetaBytes(0, 1, "@LDEUT") +
                       MetaBytes(0, 1, "@TLied") + MetaBytes(0, 1, "@TSinger") + end,
                   lyric});
    const struct {
        std::string song;
        std::vector<std::string> options;
        std::vector<std::string> lines;  // "@L", title and artist lines
        std::string note;                // on stderr
    } cases[] = {
        {LyricSongBytes(), {}, {"@LENGL", "@T", "@T"}, ""},
        {named, {}, {"@LENGL", "@TAngel", "@T"}, ""},
        {generic, {}, {"@LENGL", "@T", "@T"}, ""},
        {tagged, {"--artist", "Me"}, {"@LDEUT", "@TLied", "@TMe"}, ""},
        {named,
         {"--encoding", "WINDOWS-1251", "--title", "\xD0\x9F\xD0\xB5"},
         {"@LENGL", "@T\xCF\xE5", "@T"},
         ""},
        {named,
         {"--encoding", "WINDOWS-1252", "--title", "\xE6\x97\xA5"},
         {"@LENGL", "@T\xE6\x97\xA5", "@T"},
         "cannot be written in WINDOWS-1252, the encoding of the song's words: written as UTF-8"},
    };
    for (const auto& c : cases) {
        test::WriteAll(dir / "in.mid", c.song);
        std::vector<std::string> args = {"to-karaoke", "in.mid", "-o", "out.kar", "--force"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        Outcome defaults = Cli(dir, args);
        ASSERT_EQ(defaults.status, 0) << defaults.err;
        EXPECT_EQ(defaults.err.find(c.note) != std::string::npos, true) << defaults.err;
        const MidiFile d = Read(dir / "out.kar");
        for (int i = 0; i < 3; ++i) EXPECT_EQ(d.Tracks[2].Event(i + 1).Data.str(), c.lines[i]);
    }
    EXPECT_EQ(Cli(dir, {"to-karaoke", "in.mid", "--encoding", "NOPE"}).status, 2);

    // Keep mode by default, --replace on request; beside the input.
    ASSERT_EQ(Cli(dir, {"to-lyrics", "kara.kar"}).status, 0);
    const MidiFile kept = Read(dir / "kara.lyrics.mid");
    EXPECT_EQ(MaterialOf(kept, 2).TextEvents, 4);
    EXPECT_EQ(MaterialOf(kept, 2).LyricEvents, 3);  // "@LENGL" is a tag, not sung
    ASSERT_EQ(Cli(dir, {"to-lyrics", "kara.kar", "--replace", "-o", "replaced.mid"}).status, 0);
    const MidiFile replaced = Read(dir / "replaced.mid");
    EXPECT_EQ(MaterialOf(replaced, 2).TextEvents, 1);
    EXPECT_EQ(MaterialOf(replaced, 2).LyricEvents, 3);

    // --track by the numbers that info prints; a track without material fails.
    Outcome info = Cli(dir, {"info", "kara.kar"});
    EXPECT_NE(info.out.find("Track 2: \"Words\", 6 events, 0 lyric, 4 text"), std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("Karaoke text to lyrics would take: track 2"), std::string::npos);
    EXPECT_NE(info.out.find("Lyrics to karaoke text would take: none"), std::string::npos);
    for (const auto& [track, message] : std::vector<std::pair<const char*, const char*>>{
             {"0", "kara.kar: track 0 holds no karaoke text events"},
             {"3", "kara.kar: there is no track 3 (the song has 3 tracks, 0 to 2)"}}) {
        Outcome wrong = Cli(dir, {"to-lyrics", "kara.kar", "--track", track, "-o", "t.mid"});
        EXPECT_EQ(wrong.status, 1);
        EXPECT_NE(wrong.err.find(message), std::string::npos) << wrong.err;
    }
    Outcome header = Cli(dir, {"to-lyrics", "kara.kar", "--track", "1", "-o", "t1.mid"});
    EXPECT_EQ(header.status, 0) << header.err;
    EXPECT_EQ(MaterialOf(Read(dir / "t1.mid"), 1).LyricEvents, 0);  // a tag alone
}

TEST(CommandLine, InputsAndExistingFilesAreSafe) {
    test::TempDir dir;
    const std::string song = KaraokeSongBytes();
    fs::create_directories(dir / "sub");
    for (const char* name : {"song.kar", "sub/song.kar", "a.kar", "a.lyrics.mid"}) {
        test::WriteAll(dir / name, song);
    }
    fs::create_hard_link(dir / "song.kar", dir / "hard.mid");
    test::WriteAll(dir / "taken.mid", "keep me");
    struct Case {
        std::vector<std::string> args;
        const char* message;
        const char* kept;  // a file that stays as it was
    };
    const Case cases[] = {
        // The default name of a karaoke song's karaoke output is the input itself.
        {{"to-karaoke", "song.kar"},
         "song.kar: the output song.kar would write over the input",
         "song.kar"},
        {{"to-karaoke", "song.kar", "--force"}, "would write over the input song.kar", "song.kar"},
        // Nor by another spelling, a hard link, or as the input of another job.
        {{"to-lyrics", "song.kar", "-o", "sub/../song.kar", "--force"},
         "would write over",
         "song.kar"},
        {{"to-lyrics", "song.kar", "-o", "hard.mid", "--force"},
         "would write over the input (a link to it)",
         "song.kar"},
        {{"to-lyrics", "a.kar", "a.lyrics.mid", "--force"},
         "a.kar: the output a.lyrics.mid would write over the input",
         "a.lyrics.mid"},
        // Two inputs of one name into one folder: the second is refused.
        {{"to-lyrics", "song.kar", "sub/song.kar", "--out-dir", "out"},
         "sub/song.kar: the output out/song.lyrics.mid is already the output of song.kar",
         "song.kar"},
        // An existing output stays unless --force.
        {{"to-lyrics", "song.kar", "-o", "taken.mid"},
         "song.kar: the output taken.mid exists already (--force replaces it)",
         "taken.mid"},
    };
    for (const Case& c : cases) {
        const std::string before = test::ReadAll(dir / c.kept);
        Outcome run = Cli(dir, c.args);
        EXPECT_EQ(run.status, 1) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(test::ReadAll(dir / c.kept), before) << c.kept;
    }
    EXPECT_TRUE(fs::exists(dir / "out/song.lyrics.mid"));
    Outcome forced = Cli(dir, {"to-lyrics", "song.kar", "-o", "taken.mid", "--force"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(MaterialOf(Read(dir / "taken.mid"), 2).LyricEvents, 3);
    // No temporary files are left behind.
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string().rfind(".verselane", 0), std::string::npos)
            << entry.path();
    }
}

// Folders as inputs, -r, the summary line, and no output folder made when
// nothing is written into it.
TEST(CommandLine, FoldersAndSummary) {
    test::TempDir dir;
    fs::create_directories(dir / "songs/sub");
    fs::create_directories(dir / "empty");
    test::WriteAll(dir / "songs/one.mid", LyricSongBytes());
    test::WriteAll(dir / "songs/Plain.MID",
                   test::Smf(1, 96, {test::Hex("00 90 3C 40 60 80 3C 00 00 FF 2F 00")}));
    test::WriteAll(dir / "songs/notes.txt", "not a song");
    test::WriteAll(dir / "songs/sub/two.kar", LyricSongBytes("Bye"));
    test::WriteAll(dir / "file", "a file, not a folder");
    const std::string plain = "songs/Plain.MID: no lyric events found\n";
    struct Case {
        const char* args;      // split at spaces
        std::string messages;  // each line after the program's name
        const char* summary;
        const char* made;  // paths that exist afterwards, and paths that do not
        const char* not_made;
    };
    const Case cases[] = {
        {"to-karaoke songs --out-dir o1", plain, "1 written, 1 without words, 0 failed",
         "o1/one.kar", "o1/sub o1/Plain.kar o1/notes.kar"},
        {"to-karaoke songs -r --out-dir o2", plain, "2 written, 1 without words, 0 failed",
         "o2/one.kar o2/sub/two.kar", ""},
        {"to-karaoke songs/Plain.MID --out-dir o3/deep", plain,
         "0 written, 1 without words, 0 failed", "", "o3"},
        {"to-karaoke empty --out-dir o4",
         "empty: no songs (.mid, .midi, .kar, .rmi) in this folder (-r looks in its subfolders "
         "too)\n",
         "0 written, 0 without words, 1 failed", "", "o4"},
        {"to-karaoke songs/one.mid -o nowhere/one.kar",
         "nowhere: no such folder (for -o nowhere/one.kar)\n",
         "0 written, 0 without words, 1 failed", "", "nowhere"},
        {"to-karaoke songs -r -o x.kar",
         "songs: a folder of 3 songs; -o names the output of one song (use --out-dir)\n",
         "0 written, 0 without words, 1 failed", "", "x.kar"},
        {"to-karaoke songs/one.mid --out-dir file/out",
         "songs/one.mid: Error processing file. Error: File access error: cannot make the folder "
         "file/out: Not a directory\n",
         "0 written, 0 without words, 1 failed", "", ""},
    };
    for (const Case& c : cases) {
        Outcome run = Cli(dir, Words(c.args));
        EXPECT_EQ(run.status, 1) << c.args;
        std::string err;
        for (const std::string& line : Words(c.messages + c.summary, '\n')) {
            err += "verselane-cli: " + line + "\n";
        }
        EXPECT_EQ(run.err, err);
        for (const std::string& path : Words(c.made)) EXPECT_TRUE(fs::exists(dir / path)) << path;
        for (const std::string& path : Words(c.not_made)) {
            EXPECT_FALSE(fs::exists(dir / path)) << path;
        }
    }
    EXPECT_EQ(test::ReadAll(dir / "songs/one.mid"), LyricSongBytes());
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
    EXPECT_EQ(Cli(dir, {"lyrics", "latin.mid", "--encoding", "cyrillic (iso-8859-5)"}).out,
              "0:00.00  Schіn lo\n0:01.12  world\n\n0:02.22  again\n");
    Outcome unknown = Cli(dir, {"lyrics", "latin.mid", "--encoding", "NONE-SUCH"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err,  // the program's name once, though the message names it already
              "verselane-cli: unknown encoding: NONE-SUCH (see 'verselane-cli lyrics --help')\n");
    EXPECT_NE(Cli(dir, {"info", "latin.mid"}).out.find("Text encoding: Western (Windows-1252)"),
              std::string::npos);

    // A song cannot send escape sequences to the terminal.
    test::WriteAll(dir / "escape.mid", LyricSongBytes("\x1B[2J"));
    EXPECT_EQ(Cli(dir, {"lyrics", "escape.mid"}).out,
              "0:00.00  ?[2Jlo\n0:01.12  world\n\n0:02.22  again\n");
}

// info: tempo and signatures as set, or "not set"; the words line by line.
TEST(CommandLine, InfoShowsWhatTheSongSets) {
    test::TempDir dir;
    struct Case {
        const char* events;  // of track 0, before its end
        const char* shown;
    };
    for (const Case& c : {
             Case{"",
                  "Tempo: not set (120 beats per minute by default)\nTime signature: not set "
                  "(4/4 by default)\nKey signature: not set\n"},
             Case{"00 FF 51 03 07 A1 20 00 FF 58 04 06 03 18 08 00 FF 59 02 FE 01",
                  "Tempo: 120 beats per minute\nTime signature: 6/8\nKey signature: 2 flats, G "
                  "minor\n"},
             Case{"00 FF 59 02 00 00", "Key signature: no sharps or flats, C major\n"},
             Case{"00 FF 59 02 01 00", "Key signature: 1 sharp, G major\n"},
             Case{"00 FF 59 02 F9 01", "Key signature: 7 flats, A flat minor\n"},
             Case{"00 FF 59 02 09 00", "Key signature: 9 sharps, mode 0 (not a key)\n"},
         }) {
        test::WriteAll(dir / "song.mid",
                       test::Smf(1, 96, {test::Hex(c.events) + test::Hex("00 FF 2F 00")}));
        Outcome run = Cli(dir, {"info", "song.mid"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(c.shown), std::string::npos) << run.out;
    }
    test::WriteAll(dir / "song.mid", LyricSongBytes());
    const std::string out = Cli(dir, {"info", "song.mid"}).out;
    EXPECT_EQ(out.substr(out.find("Lyric text:")), "Lyric text:\nHello\nworld\n\nagain\n");
}

TEST(CommandLine, WholeCorpusBothWays) {
    VERSELANE_REQUIRE_CORPUS();
    test::TempDir dir;
    for (const char* folder : {"kar", "lyrics"}) {
        const std::string command = folder == std::string("kar") ? "to-lyrics" : "to-karaoke";
        Outcome run =
            Cli(dir, {command, (*test::CorpusDir() / folder).string(), "--out-dir", folder});
        EXPECT_EQ(run.status, 0) << run.err;
        const size_t songs = test::CorpusFiles(folder).size();
        EXPECT_EQ(run.err, "verselane-cli: " + std::to_string(songs) +
                               " written, 0 without words, 0 failed\n");
        size_t files = 0;
        for (const auto& entry : fs::directory_iterator(dir / folder)) {
            ++files;
            EXPECT_EQ(test::RunCommand("midicsv " + Quote(entry.path().string()) + " >/dev/null"),
                      0)
                << entry.path();
        }
        EXPECT_EQ(files, songs);
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

TEST(CommandLine, CheckAndFix) {
    test::TempDir dir;
    test::WriteAll(dir / "good.kar", KaraokeSongBytes());
    const std::string words = MetaBytes(0, 3, "Words") + MetaBytes(0, 1, "\\Ma") +
                              MetaBytes(96, 1, "ry") + test::Hex("00 FF 2F 00");
    test::WriteAll(dir / "bare.kar", test::Smf(1, 96, {test::Hex("00 FF 2F 00"), words}));
    const std::string no_header =
        "bare.kar: will not show: soft-karaoke: song: sk-no-at-k: No \"@K\" line marks the song "
        "as Soft Karaoke. [repair: move-karaoke-header]\n";
    auto advice = [](const std::string& file) {
        return file +
               ": advice: lyrics: song: ly-karaoke-only: The words are Soft Karaoke text only; "
               "keyboards and players that read lyric events show none (to-lyrics adds them).\n";
    };
    auto summary = [](const std::string& counts, const std::string& level) {
        return counts + " at \"" + level + "\" or worse\n";
    };
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;
    } cases[] = {
        {{"check", "good.kar"},
         0,
         advice("good.kar") + summary("1 file checked: 0 will not show, 0 shows wrong, 1 advice; 0",
                                      "will not show")},
        {{"check", "--level", "will-not-show", "good.kar", "bare.kar"},
         1,
         advice("good.kar") + no_header + advice("bare.kar") +
             summary("2 files checked: 1 will not show, 0 shows wrong, 2 advice; 1",
                     "will not show")},
        {{"check", "--level", "advice", "good.kar"},
         1,
         advice("good.kar") +
             summary("1 file checked: 0 will not show, 0 shows wrong, 1 advice; 1", "advice")},
        {{"check", "--for", "lyrics", "bare.kar"},
         0,
         advice("bare.kar") + summary("1 file checked: 0 will not show, 0 shows wrong, 1 advice; 0",
                                      "will not show")},
        {{"check", "--level", "bad", "good.kar"}, 2, ""},
        {{"fix", "bare.kar"}, 0, "bare.kar -> bare.fixed.kar (repaired: move-karaoke-header)\n"},
        {{"check", "--for", "soft-karaoke", "bare.fixed.kar"},
         0,
         summary("1 file checked: 0 will not show, 0 shows wrong, 0 advice; 0", "will not show")},
        {{"fix", "bare.kar"}, 1, ""},  // the output exists
        {{"fix", "--force", "bare.kar", "--for", "lyrics"},
         0,
         "bare.kar -> bare.fixed.kar (nothing to repair)\n"},
        {{"fix", "-o", "bare.kar", "bare.kar"}, 1, ""},  // never over the input
        {{"fix", "--encoding", "NO-SUCH", "bare.kar"}, 2, ""},
    };
    for (const auto& c : cases) {
        const Outcome run = Cli(dir, c.args);
        EXPECT_EQ(run.status, c.status) << c.args[1] << run.err;
        if (c.status != 2) {
            EXPECT_EQ(run.out, c.out) << c.args[1];
        }
    }
    std::string id;
    test::RunCommand("cd " + Quote(dir.path().string()) + " && " + Quote(kCli) +
                         " check --json bare.kar | python3 -c 'import json,sys; "
                         "d=json.load(sys.stdin); print(d[0][\"findings\"][0][\"id\"])'",
                     &id);
    EXPECT_EQ(id, "sk-no-at-k\n");
    // --force wrote the song without a repair (nothing for lyric readers)
    // over the repaired one; midicsv reads it.
    EXPECT_EQ(test::RunCommand("midicsv " + Quote((dir / "bare.fixed.kar").string()) +
                               " | grep -c '@KMIDI KARAOKE FILE'"),
              1);
}

}  // namespace
}  // namespace verselane
