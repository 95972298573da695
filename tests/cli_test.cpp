// verselane-cli as a real process on real files. Each table row is a shell
// line run in a fresh folder of made songs ($V is the program), with the exit
// status, parts of standard output and error ("=" for the whole text, "|"
// between parts), and files that must exist afterwards or must not.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/lyrics_fixtures.h"
#include "writer/midi_writer.h"

namespace verselane {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    return parts;
}

using namespace test;
using Events = TrackEvents;

// The bytes of a song of these tracks.
std::string Bytes(const std::vector<Events>& tracks, int16_t format = 1) {
    return EncodeSong(BuildSong(tracks, format));
}

// Division 480 at 500000 microseconds a quarter note: 960 ticks a second.
std::string LyricSong(std::string_view first_word = "Hel") {
    return Bytes({{Tempo(0, 500000), EndOfTrack(0)},
                  {Name("Vocal"), Lyric(0, first_word), Lyric(120, "lo\r"), Lyric(1080, "world"),
                   Lyric(1180, "\n"), Lyric(2140, "again"), EndOfTrack(2140)}});
}

std::string KaraokeSong(bool header = true) {
    const Events at_k = {Name("Soft Karaoke"), Text(0, "@KMIDI KARAOKE FILE"), EndOfTrack(0)};
    return Bytes({{EndOfTrack(0)},
                  header ? at_k : Events{EndOfTrack(0)},
                  {Name("Words"), Text(0, "@LENGL"), Text(480, "\\Ma"), Text(960, "ry"),
                   Text(1440, "/had"), EndOfTrack(1440)}});
}

// The songs the tables below work on.
void MakeSongs(const fs::path& dir) {
    const Events la = {Lyric(0, "la"), EndOfTrack(0)};
    for (const char* folder : {"songs/sub", "sub", "empty"}) fs::create_directories(dir / folder);
    // Each song under the names given.
    const std::pair<std::string, const char*> songs[] = {
        {LyricSong(), "song.mid songs/one.mid"},
        {LyricSong("Bye"), "two.mid songs/sub/two.kar"},
        {Smf(1, 96, {Hex("00 90 3C 40 60 80 3C 00 00 FF 2F 00")}), "plain.mid songs/Plain.MID"},
        {"this is no MIDI file", "broken.mid"},
        {LyricSong().substr(0, LyricSong().size() - 3), "cut.mid"},
        {LyricSong("Sch\xF6n "), "latin.mid"},
        {LyricSong("\x1B[2J"), "escape.mid"},
        {Bytes({{Name("A\nB\x1B[31m"), EndOfTrack(0)}}), "ctl.mid"},
        {Bytes({{Name("Angel"), EndOfTrack(0)}, la}), "angel.mid"},
        {Bytes({{Name("Angel"), Text(0, "@LDEUT"), Text(0, "@TLied"), Text(0, "@TSinger"),
                 EndOfTrack(0)},
                la}),
         "tagged.mid"},
        {KaraokeSong(), "song.kar sub/song.kar a.kar a.lyrics.mid"},
        {KaraokeSong(false), "bare.kar"},
        {KaraokeSong() + "junk", "tail.kar"},
        {"keep me", "taken.mid"},
        {"not a song", "songs/notes.txt"},
        {"a file, not a folder", "file"},
        // A credit is not karaoke text: alone, and beside lyrics.
        {Bytes({{Name("untitled"), Text(0, "Seth A. Robinson"), EndOfTrack(0)}}, 0), "credit.mid"},
        {Bytes({{Name("City"), Text(0, "Mose Allison"), EndOfTrack(0)},
                {Name("Piano"), Lyric(0, "la "), Lyric(96, "la\r"), EndOfTrack(192)}}),
         "credited.mid"},
        // Lyrics as some converters write them: a space behind every
        // syllable, two behind every word.
        {Bytes({{Name("Song"), EndOfTrack(0)},
                {Name("Lyrics"), Lyric(0, "Twin "), Lyric(96, "kle  "), Lyric(192, "twin "),
                 Lyric(288, "kle  "), Lyric(384, "lit "), Lyric(480, "tle  "),
                 Lyric(576, "star \r"), Lyric(672, "How  "), Lyric(768, "I  "), Lyric(864, "won "),
                 Lyric(960, "der \r"), EndOfTrack(1056)}}),
         "split.mid"},
        // Karaoke text of "@" lines alone; karaoke text beside other lyrics.
        {Bytes({{Text(0, "@KMIDI KARAOKE FILE"), EndOfTrack(0)},
                {Name("Words"), Text(0, "@LENGL"), Text(0, "@TSong"), EndOfTrack(0)}}),
         "tags.kar"},
        {Bytes({{Name("Soft Karaoke"), Text(0, "@KMIDI KARAOKE FILE"), EndOfTrack(0)},
                {Name("Words"), Text(0, "\\Ma"), Text(0, "ry"), Text(0, "/had"), EndOfTrack(0)},
                {Name("Lyrics"), Lyric(0, "La "), Lyric(0, "la"), EndOfTrack(0)}}),
         "other.kar"},
        // A line end inside one lyric; a format 2 song whose words track keeps
        // its own tempo (60 a minute against track 0's 240).
        {Bytes({{Lyric(0, "Twin"), Lyric(96, "kle\rtwin"), Lyric(192, "kle\n\rBye"),
                 EndOfTrack(192)}},
               0),
         "inner.mid"},
        {Bytes({{Tempo(0, 250000), EndOfTrack(0)},
                {Tempo(0, 1000000), Lyric(480, "La "), Lyric(960, "la"), EndOfTrack(960)}},
               2),
         "f2.mid"}};
    for (const auto& [bytes, names] : songs)
        for (const std::string& name : Split(names, ' ')) WriteAll(dir / name, bytes);
    fs::create_hard_link(dir / "song.kar", dir / "hard.mid");
    // Songs of track 0 alone, with tempo and signatures or none.
    int i = 0;
    for (const char* set :
         {"", "00 FF 51 03 07 A1 20 00 FF 58 04 06 03 18 08 00 FF 59 02 FE 01", "00 FF 59 02 00 00",
          "00 FF 59 02 01 00", "00 FF 59 02 F9 01", "00 FF 59 02 09 00"})
        WriteAll(dir / ("k" + std::to_string(i++) + ".mid"),
                 Smf(1, 96, {Hex(set + std::string(" 00 FF 2F 00"))}));
}

struct Row {
    std::string run;
    int status;
    std::string out = "";  // "": not looked at
    std::string err = "";
    const char* made = "";  // paths, split at spaces
    const char* absent = "";
};

void Expect(const std::string& got, const std::string& want) {
    if (want.starts_with('=')) {
        EXPECT_EQ(got, want.substr(1));
        return;
    }
    for (const std::string& part : Split(want, '|'))
        EXPECT_NE(got.find(part), std::string::npos) << "[" << part << "] in:\n" << got;
}

// Runs the rows in order in one folder of made songs.
void RunRows(const std::vector<Row>& rows) {
    TempDir dir;
    MakeSongs(dir.path());
    const std::string in_dir = "cd " + Quote(dir.path().string()) +
                               " && export LC_ALL=C V=" + Quote(VERSELANE_CLI) + " && { ";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.run);
        std::string out;
        const int status = RunCommand(in_dir + row.run + "; } 2>.err", &out);
        const std::string err = ReadAll(dir / ".err");
        EXPECT_EQ(status, row.status) << err;
        Expect(out, row.out);
        Expect(err, row.err);
        const bool own = row.run.starts_with("$V") && row.status != 2;  // no usage error
        for (const std::string& line : Split(err, '\n'))
            EXPECT_TRUE(!own || line.empty() || line.starts_with("verselane-cli: ")) << line;
        for (bool made : {true, false})
            for (const std::string& path : Split(made ? row.made : row.absent, ' '))
                EXPECT_TRUE(path.empty() || fs::exists(dir / path) == made) << path;
    }
}

// Where the address space is limited (ulimit -v), a song whose events fit
// is still copied: room is taken for the events its bytes hold, not for as
// many as they could hold (six times the bytes), which would be refused.
// 30 MB of notes in running status need about 200 MB; the bound would take
// more than 300.
TEST(CommandLine, CopiesWithinALimitedAddressSpace) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than any such limit";
#endif
    TempDir own;
    std::string body = Hex("00 90 3C 40");
    for (int i = 0; i < 5'000'000; ++i) body.append("\x01\x3C\x00\x01\x3C\x40", 6);
    const std::string file = Smf(0, 480, {body + Hex("00 FF 2F 00")});
    WriteAll(own / "long.mid", file);
    std::string said;
    const int status = RunCommand("cd " + Quote(own.path().string()) + " && ulimit -v 265000 && " +
                                      Quote(VERSELANE_CLI) + " copy long.mid copy.mid 2>&1",
                                  &said);
    EXPECT_EQ(status, 0) << said;
    EXPECT_EQ(ReadAll(own / "copy.mid"), file);
}

TEST(CommandLine, HelpForEachCommandAndUsageErrorsExitTwo) {
    RunRows({
        {"$V --help", 0,
         "info|lyrics|to-karaoke|to-lyrics|copy|check|fix|render|"
         "\n\nExit status: 0 when everything succeeded"},
        {"$V to-karaoke -h", 0,
         "Usage: verselane-cli to-karaoke|--language L|"
         "\n\nExit status: 0 when every song was converted"},
        {"$V --version", 0, "=verselane-cli " VERSELANE_VERSION "\n"},
        {"$V", 2, "=", "no command"},
        {"$V sing", 2, "=", "unknown command: sing"},
        {"$V to-karaoke", 2, "=", "needs at least one input"},
        {"$V to-lyrics a b -o c", 2, "=", "-o names the output of one"},
        {"$V to-lyrics a -o c --out-dir d", 2, "=", "cannot be used"},
        {"$V to-karaoke a --track x", 2, "=", "--track needs"},
        {"$V to-karaoke a -j 0", 2, "=", "-j needs"},
        {"$V to-karaoke a --replace", 2, "=", "unknown option: --replace"},
        {"$V to-lyrics a --drop-lyrics", 2, "=", "unknown option: --drop-lyrics"},
        {"$V lyrics a --from air", 2, "=", "--from takes"},
        {"$V info", 2, "=", "info takes one FILE"},
        {"$V to-karaoke song.mid -o ''", 2, "=", "-o needs a file name"},
        {"$V to-karaoke song.mid --out-dir ''", 2, "=", "--out-dir needs a folder name"},
        {"$V copy song.mid ''", 2, "=", "the output file name is empty"},
        {"$V to-karaoke song.mid --encoding NOPE", 2, "=", "unknown encoding: NOPE"},
        // The program's name once, though the message names it already.
        {"$V lyrics latin.mid --encoding NONE-SUCH", 2, "",
         "=verselane-cli: unknown encoding: NONE-SUCH (see 'verselane-cli lyrics --help')\n"},
        // GNU forms: --opt=value, a short option's value attached, words after
        // "--" whatever they look like; help written from the definitions.
        {"$V to-karaoke song.mid --out-dir=eq -j1 --title=T", 0, "song.mid -> eq/song.kar", "",
         "eq/song.kar"},
        {"$V to-karaoke song.mid --colour=red", 2, "=", "unknown option: --colour=red"},
        {"$V to-karaoke song.mid --force=yes", 2, "=", "force"},
        {"$V info -- --help", 1, "=", "File not found: --help"},
        {"$V help fix", 0,
         "Usage: verselane-cli fix [OPTIONS] IN...|-o, --output OUT|-j, --jobs N"},
        {"$V render -h", 0, "--max-length L|--soundfont SF2|Usage: verselane-cli render"},
        {"$V align --help", 0, "Usage: verselane-cli align [OPTIONS] SONG SHEET|--pin I=TICK"},
        {"$V align a b --pin=3=x", 2, "=", "--pin needs SYLLABLE=TICK"},
    });
}

// retime re-aligns a song's words around pins, numbered as lyrics
// --syllables prints them; every other event stays as it was.
TEST(CommandLine, RetimeAndNumberedSyllables) {
    RunRows({
        {"$V lyrics song.mid --syllables", 0,
         "=1\t0\t0:00.00\t\\Hel\n2\t120\t0:00.12\t-lo\n3\t1080\t0:01.12\t/world\n"
         "4\t2140\t0:02.22\t\\again\n"},
        {"$V lyrics song.kar --syllables", 0,
         "=1\t480\t0:00.50\t\\Ma\n2\t960\t0:01.00\t-ry\n3\t1440\t0:01.50\t/had\n"},
        // A format 2 song's patterns keep their own tempos: the words track's
        // (60 a minute) times its syllables, not track 0's (240).
        {"$V lyrics f2.mid && $V lyrics f2.mid --syllables", 0,
         "=0:01.00  La la\n1\t480\t0:01.00\t\\La\n2\t960\t0:02.00\tla\n"},
        // A line end inside one lyric ends its line there, as keyboards show it.
        {"$V lyrics inner.mid --syllables", 0,
         "=1\t0\t0:00.00\t\\Twin\n2\t96\t0:00.10\t-kle/twin\n3\t192\t0:00.20\t-kle\\Bye\n"},
        {"$V retime --help", 0,
         "Usage: verselane-cli retime [OPTIONS] SONG --pin I=TICK...|--line-starts FILE|"
         "\n\nExit status: 0 when the song was written"},
        {"$V retime song.mid --pin 3=1000", 0,
         "=Syllables: 4, 1 pinned; written to song.retimed.mid\n", "", "song.retimed.mid"},
        {"$V lyrics song.retimed.mid --syllables", 0, "3\t1000\t0:01.04\t/world\n"},
        {"midicsv song.mid | grep -v Lyric_t >a.csv && midicsv song.retimed.mid | grep -v Lyric_t "
         "| cmp - a.csv",
         0},
        {"$V retime song.mid --pin 3=1000", 1, "", "song.retimed.mid|exists"},
        {"$V retime song.mid --pin 3=1100 --force && $V lyrics song.retimed.mid --syllables", 0,
         "3\t1100\t"},
        {"$V retime song.mid --pin 3=1000 -o song.mid", 1, "", "is the song being read"},
        // On standard output the song alone; the report goes to the error stream.
        {"$V retime song.mid --pin 3=1000 -o - >so.mid && $V lyrics so.mid --syllables", 0,
         "3\t1000\t", "=verselane-cli: Syllables: 4, 1 pinned; written to standard output\n"},
        {"$V retime song.mid --pin 3=1000 --pin 3=1000 -o twice.mid", 0,
         "=Syllables: 4, 1 pinned; written to twice.mid\n"},
        // A pin past the song's end (a digit too many) makes it longer: said.
        {"$V retime song.mid --pin 4=99999 -o long.mid", 0, "",
         "=verselane-cli: song.mid: warning: pin 4 at tick 99999 is after the song's end (tick "
         "2140); the song now lasts until it\n"},
        // Lyric events with other words than the karaoke text re-timed stay,
        // and the user is told that the two no longer go together.
        {"$V retime other.kar --pin 2=0 -o o2.kar", 0,
         "=Syllables: 3, 1 pinned; written to o2.kar\n",
         "=verselane-cli: other.kar: warning: its lyric events (other words, or the same at other "
         "times than its karaoke text) were not re-timed; the two no longer go together\n"},
        {"$V retime cut.mid --pin 1=0 -o x.mid", 1, "",
         "cut.mid: damaged; not worked on (verselane-cli copy --salvage writes what could be "
         "read):\nverselane-cli:   File is cut short",
         "", "x.mid"},
        // The forms of every command: --opt=value, a short option's value
        // attached; NAME.retimed.mid for a song without an extension.
        {"cp song.mid bare && $V retime bare --pin=3=1000 && $V retime song.mid --pin 3=900 "
         "-oy.mid",
         0, "written to bare.retimed.mid|written to y.mid", "", "bare.retimed.mid y.mid"},
        {"$V retime song.mid --line-starts ''", 2, "", "--line-starts needs a file name"},
        {"printf '1=0\\t\\n\\n3=1200 \\r\\n' >starts.txt && $V retime song.mid --line-starts "
         "starts.txt "
         "-o starts.mid && $V lyrics starts.mid --syllables",
         0, "Syllables: 4, 2 pinned|3\t1200\t", "", "starts.mid"},
        {"printf '\\357\\273\\2771=0\\n' >bom.txt && $V retime song.mid --line-starts bom.txt "
         "-o bom.mid",
         0, "Syllables: 4, 1 pinned"},
        {"$V retime song.mid --line-starts starts.txt -o starts.txt --force", 1, "",
         "starts.txt: is the list of line starts being read; name another output"},
        {"printf '3=1200\\nthree\\n' >bad.txt && $V retime song.mid --line-starts bad.txt -o x.mid",
         1, "", "bad.txt, line 2: a line start needs I=TICK, not three", "", "x.mid"},
        {"$V retime song.mid --line-starts none.txt -o x.mid", 1, "",
         "none.txt: cannot read the line starts: no such file", "", "x.mid"},
        {"$V retime song.mid --line-starts . -o x.mid", 1, "",
         ".: cannot read the line starts: it is a folder", "", "x.mid"},
        {"$V retime song.mid --pin 3=3000 -o x.mid", 1, "", "pin 3 goes past the line after it", "",
         "x.mid"},
        {"$V retime song.mid --pin 2=600 --pin 1=700 -o x.mid", 1, "",
         "pins go back in time: syllable 2 is pinned before syllable 1", "", "x.mid"},
        {"$V retime song.mid --pin 9=1 -o x.mid", 1, "", "pin 9 is outside the syllables 1 to 4",
         "", "x.mid"},
        {"$V retime plain.mid --pin 1=0 -o x.mid", 1, "", "plain.mid: the song holds no", "",
         "x.mid"},
        {"$V retime broken.mid --pin 1=0 -o x.mid", 1, "", "Failed to find MThd", "", "x.mid"},
        {"$V retime song.mid", 2, "", "retime needs --pin I=TICK or --line-starts FILE"},
        {"$V retime song.mid --pin 0=5", 2, "", "--pin needs I=TICK"},
        {"$V retime song.mid --pin 3", 2, "", "--pin needs I=TICK"},
        {"$V retime song.mid --pin 3=x", 2, "", "--pin needs I=TICK"},
        {"$V retime song.mid two.mid --pin 1=0", 2, "", "retime takes one SONG"},
    });
}

// What a written song does not keep of the file it came from is said: the
// sound bank and information of an RMID file, bytes after the last track.
TEST(CommandLine, SaysWhatAWrittenSongLeavesOutOfTheFileRead) {
    const std::string lost =
        "s.rmi: warning: an RMID file: its 12 bytes besides the MIDI data (a sound bank, "
        "information) are not kept; the output is a Standard MIDI File\n";
    RunRows({
        {"python3 -c \"import struct; d = open('song.mid', 'rb').read(); d += bytes(len(d) % 2); "
         "open('s.rmi', 'wb').write(b'RIFF' + struct.pack('<I', len(d) + 24) + b'RMIDdata' + "
         "struct.pack('<I', len(d)) + d + b'LIST' + struct.pack('<I', 4) + b'INFO')\"",
         0},
        {"$V copy s.rmi c.mid && cmp c.mid song.mid", 0, "=", "=verselane-cli: " + lost},
        {"$V to-karaoke s.rmi", 0, "s.rmi -> s.kar", "verselane-cli: " + lost},
        {"$V copy song.mid d.mid", 0, "=", "="},
        // Junk after the last track: a web page a download left there.
        {"cp song.mid j.mid && printf '<p>page</p>\\r\\n' >> j.mid", 0},
        {"$V copy j.mid e.mid && cmp e.mid song.mid", 0, "=",
         "=verselane-cli: j.mid: warning: the 13 bytes after the song's last track (no part of "
         "the song: junk, a web page, a second copy) are not kept\n"},
    });
}

TEST(CommandLine, BatchesWriteWhatTheyCanAndCountTheRest) {
    const std::string damaged = "verselane-cli:   File is cut short inside track 1.\n";
    RunRows({
        {"$V to-karaoke song.mid broken.mid missing.mid plain.mid two.mid --out-dir out -j 2", 1,
         "song.mid -> out/song.kar (track 1)|two.mid -> out/two.kar (track 1)",
         "broken.mid: Failed to find MThd header for file.|missing.mid: Error processing file. "
         "Error: File not found|plain.mid: no lyric events found|"
         "verselane-cli: 2 written, 1 without words, 2 failed\n",
         "out/song.kar out/two.kar", "out/broken.kar out/plain.kar"},
        {"midicsv out/song.kar", 0,
         "Header, 1, 4, 480|2, 0, Title_t, \"Soft Karaoke\"|2, 0, Text_t, \"@KMIDI KARAOKE "
         "FILE\"|3, 0, Title_t, \"Words\""},
        // The same files whatever the number of jobs.
        {"$V to-karaoke song.mid two.mid --out-dir o -j 1 && diff -r o out", 0},
        // A song named twice, or by a hard link, is done once.
        {"$V to-karaoke song.mid ./song.mid --out-dir twice", 0,
         "=song.mid -> twice/song.kar (track 1)\n",
         "=verselane-cli: 1 written, 0 without words, 0 failed\n"},
        {"$V to-lyrics song.kar hard.mid --out-dir linked", 0,
         "=song.kar -> linked/song.lyrics.mid (track 2)\n", "", "", "linked/hard.lyrics.mid"},
        // Karaoke text of "@" lines alone holds no sung words.
        {"$V to-lyrics tags.kar", 0, "",
         "=verselane-cli: tags.kar: no karaoke text events found\n"
         "verselane-cli: 0 written, 1 without words, 0 failed\n",
         "", "tags.lyrics.mid"},
        // A song converted before holds both forms: converting it again
        // would double its words, so nothing is written.
        {"$V to-lyrics out/song.kar -o again.mid", 0,
         "=out/song.kar: has lyric events already (track 3); nothing written\n",
         "=verselane-cli: 0 written, 0 without words, 0 failed, 1 converted before (nothing "
         "written)\n",
         "", "again.mid"},
        {"$V to-karaoke out/song.kar -o again.kar --drop-lyrics", 0,
         "=out/song.kar: has karaoke text already (track 2); nothing written\n", "", "",
         "again.kar"},
        // A damaged file is refused with what is damaged; --salvage converts
        // what could be read, with a warning, and counts it apart.
        {"$V to-karaoke cut.mid", 1, "=",
         "=verselane-cli: cut.mid: damaged; not written (--salvage writes what could be read):\n" +
             damaged + "verselane-cli: 0 written, 0 without words, 1 failed\n",
         "", "cut.kar"},
        {"$V to-karaoke cut.mid --salvage", 0,
         "=cut.mid -> cut.kar (track 1, salvaged from a damaged file)\n",
         "=verselane-cli: cut.mid: warning: damaged; written as far as it could be read "
         "(--salvage):\n" +
             damaged +
             "verselane-cli: 1 written (1 of them from damaged files), 0 without words, 0 "
             "failed\n"},
        {"midicsv cut.kar | grep -c '^3, .*Text_t'", 0, "=8\n"},  // 4 information lines
        // Salvaged, but without words in what could be read: nothing written, said so.
        {"printf 'MThd\\0\\0\\0\\6\\0\\0\\0\\1\\0\\140MTrk\\0\\0\\0\\20\\0\\220\\74\\100' "
         ">cutplain.mid && $V to-lyrics --salvage cutplain.mid",
         0, "",
         "cutplain.mid: warning: damaged; read as far as it could be:\nverselane-cli:   File is "
         "cut short|cutplain.mid: no karaoke text events found",
         "", "cutplain.lyrics.mid"},
        // Folders, -r, and no output folder made when nothing goes into it.
        {"$V to-karaoke songs --out-dir o1", 0, "",
         "=verselane-cli: songs/Plain.MID: no lyric events found\n"
         "verselane-cli: 1 written, 1 without words, 0 failed\n",
         "o1/one.kar", "o1/sub o1/Plain.kar o1/notes.kar"},
        {"$V to-karaoke songs -r --out-dir o2", 0, "", "2 written, 1 without words, 0 failed",
         "o2/one.kar o2/sub/two.kar"},
        {"$V to-karaoke empty --out-dir o4", 1, "",
         "=verselane-cli: empty: no songs (.mid, .midi, .kar, .rmi) in this folder (-r looks in "
         "its subfolders too)\nverselane-cli: 0 written, 0 without words, 1 failed\n",
         "", "o4"},
        {"$V to-karaoke song.mid -o nowhere/x.kar", 1, "",
         "nowhere: no such folder (for -o nowhere/x.kar)\n", "", "nowhere"},
        {"$V to-karaoke songs -r -o x.kar", 1, "",
         "songs: a folder of 3 songs; -o names the output of one song (use --out-dir)\n", "",
         "x.kar"},
        {"$V to-karaoke song.mid --out-dir file/out", 1, "",
         "song.mid: Error processing file. Error: File access error: cannot make the folder "
         "file/out: Not a directory\n"},
        {"$V to-lyrics song.kar --track 0 -o t.mid", 1, "",
         "song.kar: track 0 holds no karaoke text events", "", "t.mid"},
        {"$V to-lyrics song.kar --track 3 -o t.mid", 1, "",
         "song.kar: there is no track 3 (the song has 3 tracks, 0 to 2)"},
        {"$V lyrics song.mid --track 0", 1, "", "song.mid: track 0 holds no lyric events"},
        {"$V info 'bad\x1B[2J.mid'", 1, "",
         "bad\\x1B[2J.mid: Error processing file. Error: File not found: bad\\x1B[2J.mid"},
    });
}

TEST(CommandLine, InputsAndExistingFilesAreNeverWrittenOver) {
    RunRows({
        // The default name of a karaoke song's karaoke output is the input itself.
        {"$V to-karaoke song.kar", 1, "",
         "song.kar: the output song.kar would write over the input"},
        {"$V to-karaoke song.kar --force", 1, "", "would write over the input song.kar"},
        // Nor by another spelling, a hard link, or as the input of another job.
        {"$V to-lyrics song.kar -o sub/../song.kar --force", 1, "", "would write over"},
        {"$V to-lyrics song.kar -o hard.mid --force", 1, "",
         "would write over the input (a link to it)"},
        {"$V to-lyrics a.kar a.lyrics.mid --force", 1, "",
         "a.kar: the output a.lyrics.mid would write over the input"},
        {"$V fix -o bare.kar bare.kar", 1},
        // Two inputs of one name into one folder: the second is refused.
        {"$V to-lyrics song.kar sub/song.kar --out-dir out", 1, "",
         "sub/song.kar: the output out/song.lyrics.mid is already the output of song.kar",
         "out/song.lyrics.mid"},
        {"$V to-lyrics song.kar -o taken.mid", 1, "",
         "song.kar: the output taken.mid exists already (--force replaces it)"},
        {"cmp song.kar a.kar && cmp sub/song.kar a.kar && cmp a.lyrics.mid a.kar && "
         "grep -qx 'keep me' taken.mid",
         0},
        {"$V to-lyrics song.kar -o taken.mid --force", 0},
        {"midicsv taken.mid | grep -c '^3, .*Lyric_t'", 0, "=3\n"},
        {"$V to-karaoke song.mid -o /dev/stdout", 0, "MThd", "song.mid -> /dev/stdout (track 1)"},
        {"$V copy song.mid c.mid && $V copy song.mid - | cmp - c.mid && "
         "$V copy song.mid /dev/stdout | cmp - c.mid",
         0, "=", "="},
        // copy never writes a file over itself, by whatever name: the song
        // would lose what it does not keep, here the bytes after its last track.
        {"ln -s tail.kar s.kar && ln tail.kar h.kar && "
         "for o in tail.kar h.kar s.kar ./tail.kar; do $V copy tail.kar $o; done",
         1, "=",
         "tail.kar: is the file being read|h.kar: is the file being read|"
         "s.kar: is the file being read|./tail.kar: is the file being read"},
        {"tail -c 4 tail.kar && test -L s.kar", 0, "=junk"},
        // A render that cannot be done is told and leaves no file.
        {"$V render song.mid -o x.wav --soundfont a.kar", 1, "", "is not a SoundFont", "", "x.wav"},
        {"$V render song.mid -o x.wav --soundfont /no.sf2", 1, "", "is not there", "", "x.wav"},
        {"$V render song.mid -o no/x.wav", 1, "", "Could not write", "", "no"},
        {"$V render song.mid -o song.mid; cmp song.mid songs/one.mid", 0, "",
         "is the song being rendered"},
        // The WAV file streams to standard output and into a named pipe, its
        // header first with the sizes known ahead: the same bytes as the file.
        {"$V render song.mid -o r.wav && $V render song.mid -o - | cmp - r.wav && mkfifo r.pipe && "
         "{ cat r.pipe > p.wav & $V render song.mid -o r.pipe; wait; } && cmp p.wav r.wav && "
         "sox --i -D p.wav",
         0, "", "", "r.wav"},
        // A render longer than the limit is refused before anything is written:
        // 44 bytes of a note held 0x0FFFFFFF ticks of 16.7 s each.
        {"printf "
         "'MThd\\0\\0\\0\\6\\0\\0\\0\\1\\0\\1MTrk\\0\\0\\0\\26\\0\\377\\121\\3\\377\\377\\377"
         "\\0\\220\\74\\144\\377\\377\\377\\177\\200\\74\\0\\0\\377\\57\\0' > held.mid && "
         "test $(wc -c < held.mid) = 44 && $V render held.mid -o h.wav",
         1, "", "held.mid lasts 143 years, longer than the limit of 2:00:00 (--max-length", "",
         "h.wav"},
        {"$V render held.mid -o h.wav --max-length 2000000h", 1, "",
         "held.mid lasts 143 years: its WAV file of|would be more than a WAV file can hold", "",
         "h.wav"},
        // A recoding that would change the words is refused and writes
        // nothing; one that keeps them is written ("Nội" in UTF-8, then in
        // Windows-1258 as a letter and its combining tone mark).
        {"printf "
         "'MThd\\0\\0\\0\\6\\0\\0\\0\\1\\1\\340MTrk\\0\\0\\0\\15\\0\\377\\5\\5N\\341\\273\\231i"
         "\\0\\377\\57\\0' > vn.mid && $V fix vn.mid -o vn.fixed.mid --encoding "
         "'WINDOWS-1252//TRANSLIT'",
         1, "",
         "vn.mid: Error processing file. Error: Invalid procedure call or argument: the words "
         "cannot be put into WINDOWS-1252//TRANSLIT unchanged: \"N\xE1\xBB\x99i\" would read back "
         "as \"N?i\"",
         "", "vn.fixed.mid"},
        {"$V fix vn.mid -o vn.fixed.mid --encoding WINDOWS-1258 && "
         "$V lyrics vn.fixed.mid --encoding WINDOWS-1258 && tail -c 8 vn.fixed.mid | od -An -c",
         0,
         "=vn.mid -> vn.fixed.mid (repaired: one-encoding)\n0:00.00  N\xE1\xBB\x99i\n"
         "   N 364 362   i  \\0 377   /  \\0\n"},
        // Encodings in which no song's texts are: ASCII is not ASCII there.
        {"$V fix vn.mid -o u.mid --encoding UTF-16", 2, "",
         "the encoding UTF-16 does not write plain letters as single bytes", "", "u.mid"},
        {"$V to-karaoke song.mid -o u.kar --encoding UTF-7", 2, "",
         "the encoding UTF-7 does not write plain letters", "", "u.kar"},
        {"$V lyrics song.mid --encoding UTF-32LE", 2, "", "the encoding UTF-32LE does not"},
        {"$V render song.mid -o l.wav --max-length 0.001m", 1, "",
         "song.mid lasts 0:0|longer than the limit of 0:00", "", "l.wav"},
        {"$V render song.mid -o l.wav --max-length 1h", 0, "", "", "l.wav"},
        // Lengths that whole seconds would show alike are told to a tenth.
        {"$V render song.mid -o l2.wav --max-length 2s", 1, "",
         "song.mid lasts 0:02.2, longer than the limit of 0:02.0", "", "l2.wav"},
        {"$V render song.mid -o x.wav --max-length 2d", 2, "",
         "--max-length takes a length such as 2h, 90m or 600: 2d", "", "x.wav"},
        {"ls -A | grep -c '^.verselane'", 1, "=0\n"},  // no temporary files left
    });
}

TEST(CommandLine, OptionsFillTheInformationLinesAndChooseTheMode) {
    // The song converted with these options, then its three information lines.
    auto lines_of = [](const std::string& options) {
        return "$V to-karaoke " + options + " -o o.kar --force >/dev/null && midicsv o.kar | " +
               "grep '^3, ' | grep -o '@[LT][^\"]*' | head -3 | tr '\\n' ' '";
    };
    RunRows({
        {lines_of("song.mid --language DEUT --title ' Lied ' --artist Someone"), 0,
         "=@LDEUT @TLied @TSomeone "},
        // Lines not typed come from the song; typed ones take the song's encoding.
        {lines_of("song.mid"), 0, "=@LENGL @T @T "},
        {lines_of("tagged.mid --artist Me"), 0, "=@LDEUT @TLied @TMe "},
        {lines_of("angel.mid --encoding WINDOWS-1251 --title \xD0\x9F\xD0\xB5"), 0,
         "=@LENGL @T\xCF\xE5 @T "},
        {lines_of("angel.mid --encoding WINDOWS-1252 --title \xE6\x97\xA5"), 0,
         "=@LENGL @T\xE6\\227\xA5 @T ",
         "cannot be written in WINDOWS-1252, the encoding of the song's words: written as UTF-8"},
        // Keep mode by default, --replace on request; beside the input.
        {"$V to-lyrics song.kar", 0, "", "", "song.lyrics.mid"},
        {"midicsv song.lyrics.mid | grep -c '^3, .*Text_t'", 0, "=4\n"},
        // Songs whose only texts are credits have no words: nothing is written.
        {"$V to-lyrics credit.mid credited.mid", 0, "", "0 written, 2 without words", "",
         "credit.lyrics.mid credited.lyrics.mid"},
        {"$V info credit.mid", 0,
         "Track 0: \"untitled\", 3 events, 0 lyric events, 0 karaoke text events, 1 text event\n"},
        {"$V lyrics credit.mid", 1, "=", "credit.mid: no lyric events or karaoke text found"},
        // The lyric events stay beside the karaoke text, or go on request.
        {"$V to-karaoke song.mid -o kept.kar --drop-lyrics >/dev/null && "
         "midicsv kept.kar | grep -c Lyric_t",
         1, "=0\n"},
        {"$V check kept.kar --for soft-karaoke --level shows-wrong", 0},
        {"$V to-lyrics song.kar --replace -o r.mid >/dev/null && midicsv r.mid | grep -c '^3, "
         ".*Text_t'",
         0, "=1\n"},
    });
}

TEST(CommandLine, LyricsInfoCheckAndFixShowWhatTheSongHolds) {
    const std::string words = "0:01.12  world\n\n0:02.22  again\n";
    const std::string advice =
        ": advice: lyrics: song: ly-karaoke-only: The words are Soft Karaoke text only; "
        "keyboards and players that read lyric events show none (to-lyrics adds them).\n";
    const std::string no_header =
        "bare.kar: will not show: soft-karaoke: song: sk-no-at-k: No \"@K\" line marks the song "
        "as Soft Karaoke. [repair: move-karaoke-header]\n";
    const std::string none = " 0 will not show, 0 shows wrong, ";
    RunRows({
        {"$V lyrics song.mid", 0, "=0:00.00  Hello\n" + words},
        {"$V lyrics song.kar", 0, "=0:00.50  Mary\n0:01.50  had\n"},
        {"$V lyrics song.kar --from lyrics", 1, "=", "song.kar: no lyric events found"},
        {"$V lyrics plain.mid", 1, "=", "plain.mid: no lyric events or karaoke text found"},
        {"$V lyrics song.kar --track 1", 1, "=", "track 1 holds no karaoke text events"},
        // Bytes of another encoding, detected or named; no escape sequences.
        {"$V lyrics latin.mid", 0, "=0:00.00  Schön lo\n" + words},
        {"$V lyrics latin.mid --encoding 'cyrillic (iso-8859-5)'", 0,
         "=0:00.00  Schіn lo\n" + words},
        {"$V lyrics escape.mid", 0, "=0:00.00  ?[2Jlo\n" + words},
        {"$V info latin.mid", 0, "Text encoding: Western (Windows-1252)"},
        {"$V info ctl.mid", 0, "Track 0: \"A\\nB\\x1B[31m\""},
        {"$V info song.mid", 0, "Lyric text:\nHello\nworld\n\nagain\n"},
        {"$V info k0.mid", 0,
         "Tempo: not set (120 beats per minute by default)\nTime signature: not set (4/4 by "
         "default)\nKey signature: not set\n"},
        {"$V info k1.mid", 0,
         "Tempo: 120 beats per minute\nTime signature: 6/8\nKey signature: 2 flats, G minor\n"},
        {"for k in 2 3 4 5; do $V info k$k.mid | grep Key; done", 0,
         "=Key signature: no sharps or flats, C major\nKey signature: 1 sharp, G major\n"
         "Key signature: 7 flats, A flat minor\nKey signature: 9 sharps, mode 0 (not a key)\n"},
        {"$V info song.kar", 0,
         "Track 2: \"Words\", 6 events, 0 lyric events, 4 karaoke text events, 0 text "
         "events|Karaoke text to lyrics would take: track "
         "2|Lyrics to karaoke text would take: none"},
        {"$V check --level will-not-show song.kar bare.kar", 1,
         "=song.kar" + advice + no_header + "bare.kar" + advice +
             "2 files checked: 1 will not show, 0 shows wrong, 2 advice; 1 at \"will not show\" or "
             "worse\n"},
        {"$V check --level advice song.kar", 1, "1 advice; 1 at \"advice\" or worse\n"},
        {"$V check --for lyrics bare.kar song.kar", 0,
         "=bare.kar" + advice + "song.kar" + advice + "2 files checked:" + none +
             "2 advice; 0 at \"will not show\" or worse\n"},
        {"$V check --level bad song.kar", 2},
        {"$V check --json bare.kar | python3 -c 'import json,sys; "
         "print(json.load(sys.stdin)[0][\"findings\"][0][\"id\"])'",
         0, "=sk-no-at-k\n"},
        {"$V fix bare.kar", 0, "=bare.kar -> bare.fixed.kar (repaired: move-karaoke-header)\n"},
        {"$V check --for soft-karaoke bare.fixed.kar", 0, "1 file checked:" + none + "0 advice; 0"},
        {"$V fix bare.kar", 1, "="},  // the output exists
        // Nothing to repair: nothing written, not even over the output.
        {"$V fix --force bare.kar --for lyrics", 0,
         "=bare.kar: nothing to repair; nothing written\n",
         "=verselane-cli: 0 written, 1 with nothing to repair, 0 failed\n"},
        {"midicsv bare.fixed.kar | grep -c '@KMIDI KARAOKE FILE'", 0, "=1\n"},
        {"$V fix --encoding NO-SUCH bare.kar", 2},
        {"$V fix split.mid", 0, "=split.mid -> split.fixed.mid (repaired: join-split-words)\n"},
        {"midicsv split.fixed.mid | grep Lyric_t | cut -d, -f4- | tr '\\n' '|'", 0,
         "= \"Twin\"| \"kle \"| \"twin\"| \"kle \"| \"lit\"| \"tle \"| \"star\\015\"| \"How \"| "
         "\"I \"| \"won\"| \"der\\015\"|"},
    });
}

TEST(CommandLine, ExitStatusSaysWhetherEveryFileSucceeded) {
    const std::string fields =
        " | python3 -c 'import json,sys\nfor e in json.load(sys.stdin): print(e[\"file\"], "
        "e[\"read\"], e[\"checked\"], e[\"failed\"], e.get(\"file_hex\", \"-\"), "
        "len(e[\"findings\"]), \"error\" in e, len(e.get(\"damage\", [])))' | "
        "iconv -f UTF-8 -t ASCII//TRANSLIT";
    RunRows({
        // Songs without words are counted apart, not failed.
        {"$V to-karaoke plain.mid k0.mid --out-dir w", 0, "",
         "=verselane-cli: plain.mid: no lyric events found\nverselane-cli: k0.mid: no lyric "
         "events found\nverselane-cli: 0 written, 2 without words, 0 failed\n",
         "", "w"},
        {"$V to-lyrics song.mid --out-dir w", 0, "", "0 written, 1 without words, 0 failed"},
        // A track named that holds nothing fails when the song has words elsewhere.
        {"$V to-karaoke song.mid --track 0 --out-dir w", 1, "",
         "track 0 holds no lyric events|0 written, 0 without words, 1 failed"},
        // A file read in part is not checked, and fails the check; --salvage
        // checks what was read and still says it is damaged.
        {"$V check cut.mid song.kar", 1,
         "1 file checked: 0 will not show, 0 shows wrong, 1 advice; 0 at \"will not show\" or "
         "worse; 1 not checked (damaged or unreadable)\n",
         "=verselane-cli: cut.mid: damaged; not checked (--salvage checks what could be read):\n"
         "verselane-cli:   File is cut short inside track 1.\n"},
        {"$V check cut.mid --salvage", 0, "cut.mid: advice: soft-karaoke|1 file checked: ",
         "cut.mid: warning: damaged; checked as far as it could be read"},
        {"$V check broken.mid", 1, "0 files checked: |1 not checked", "broken.mid: Failed"},
        {"$V check --json cut.mid broken.mid" + fields, 0,
         "=cut.mid partial False True - 0 True 1\nbroken.mid failed False True - 0 True 0\n"},
        {"$V check --json --salvage cut.mid" + fields, 0,
         "=cut.mid partial True False - 1 False 1\n"},
        {"$V check --json song.kar empty bare.kar" + fields, 0,
         "=song.kar complete True False - 1 False 0\nempty failed False True - 0 True 0\n"
         "bare.kar complete True True - 2 False 0\n",
         "empty: no songs"},
        // Names that are not UTF-8: valid JSON, the name with U+FFFD and its bytes.
        {"cp bare.kar 'n\xFF\x01.kar' && $V check --json n*.kar" + fields, 0,
         "=n?\x01.kar complete True True 6eff012e6b6172 2 False 0\n"},
        {"$V check --json n*.kar | LC_ALL=C grep -c '[^ -~]'", 1, "=0\n"},  // ASCII only
        // What could not be written to standard output fails the command.
        {"for c in 'info song.mid' 'lyrics song.mid' 'check song.kar' 'check --json song.kar' "
         "--help '--version' 'to-karaoke song.mid -o w1.kar' 'fix bare.kar -o w2.kar'; "
         "do $V $c >/dev/full; echo $?; done",
         0, "=1\n1\n1\n1\n1\n1\n1\n1\n",
         "verselane-cli: standard output: cannot write: No space left on device\n"},
        // Typed lines: bytes that are not UTF-8 become U+FFFD, control
        // characters go, and the message says so.
        {"$V to-karaoke song.mid -o f.kar --title 'a\x01\xFF"
         "b' --artist 'x\ty' --language "
         "'\x1B[31mDE' >/dev/null && midicsv f.kar | grep -o '@[LT][^\"]*' | head -3",
         0,
         "=@L[31mDE\n@Ta\xEF\xBF\xBD"
         "b\n@Tx\\011y\n",
         "--language: 1 control character left out; written as \"[31mDE\"|--title: 1 byte that "
         "is not UTF-8 replaced by U+FFFD, 1 control character left out; written as "
         "\"a\xEF\xBF\xBD"
         "b\""},
        // Overlong forms, surrogates and stray continuation bytes are not
        // UTF-8; C1 controls and DEL are control characters; valid letters stay.
        {"$V to-karaoke song.mid -o g.kar --artist 'x\xC3\xA9\xC2\x9B\x7F\xED\xA0\x80\xC0\xAF"
         "\xF0\xA1\xA1\xA1' >/dev/null && midicsv g.kar | grep -o '@T[^\"]*' | sed -n 2p",
         0,
         "=@"
         "Tx\xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xF0\xA1\xA1\xA1\n",
         "--artist: 5 bytes that are not UTF-8 replaced by U+FFFD, 2 control characters left out"},
    });
}

TEST(CommandLine, CheckAndFixTakeFoldersAsTheConversionsDo) {
    RunRows({
        {"$V check songs", 0, "songs/one.mid: advice: |2 files checked:", "="},
        {"$V check songs -r | tail -1", 0, "3 files checked:"},
        {"$V check empty", 1, "0 files checked:|; 1 not checked (damaged or unreadable)\n",
         "=verselane-cli: empty: no songs (.mid, .midi, .kar, .rmi) in this folder (-r looks in "
         "its subfolders too)\n"},
        {"mkdir -p t/deep && cp bare.kar t && cp bare.kar t/deep/b.kar && cp song.mid t", 0},
        {"$V fix t -r --out-dir f1", 0,
         "t/bare.kar -> f1/bare.fixed.kar (repaired: move-karaoke-header)\n|"
         "t/deep/b.kar -> f1/deep/b.fixed.kar (repaired: move-karaoke-header)\n|"
         "t/song.mid: nothing to repair; nothing written\n",
         "=verselane-cli: 2 written, 1 with nothing to repair, 0 failed\n",
         "f1/bare.fixed.kar f1/deep/b.fixed.kar", "f1/song.fixed.mid t/bare.fixed.kar"},
        {"$V fix t --out-dir f3", 0, "", "1 written, 1 with nothing to repair", "f3/bare.fixed.kar",
         "f3/deep"},
        {"$V fix empty", 1, "", "empty: no songs|0 written, 0 with nothing to repair, 1 failed"},
        // A damaged song is repaired only with --salvage, and said to be damaged.
        {"$V fix cut.mid --out-dir f2", 1, "", "cut.mid: damaged; not written", "", "f2"},
        {"$V fix cut.mid --out-dir f2 --salvage", 0,
         "=cut.mid -> f2/cut.fixed.mid (no repair of the words, salvaged from a damaged file)\n",
         "cut.mid: warning: damaged|1 written (1 of them from damaged files)", "f2/cut.fixed.mid"},
    });
}

}  // namespace
}  // namespace verselane
