// Writing: the header, and every kind of event in its exact bytes, both read
// and written (running status, delta times, the end of each track); then
// every kind of target: a file replaced whole, through a link, a link to
// nothing, a named pipe and a character device, and the faults: a missing
// folder, a read-only file system, a folder or a socket in the way, a full
// disk, a writer killed or interrupted before it puts its file in place. A
// failed write says why, leaves the earlier file at the path as it was and
// no temporary file behind. The read-only and full file systems and the
// device node are real, on small tmpfs mounts of the test's own; where the
// test may not mount (EPERM) those cases are skipped with a note.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ranges>
#include <sstream>
#include <thread>

#include "cli/outcome_text.h"
#include "reader/midi_reader.h"
#include "tests/support/lyrics_fixtures.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane::test {
namespace {

namespace fs = std::filesystem;

// Events as "time/kind/channel/data1/data2/body", one after another, the
// body as Hex() reads it; a meta event's type stands where the channel does.
TrackEvents Events(const std::string& listing) {
    TrackEvents out;
    std::istringstream in(listing);
    for (std::string e; in >> e;) {
        int f[5] = {};
        char body[64] = "";
        std::sscanf(e.c_str(), "%d/%d/%d/%d/%d/%63s", &f[0], &f[1], &f[2], &f[3], &f[4], body);
        const auto kind = static_cast<EventKind>(f[1]);
        out.push_back(kind == EventKind::Meta ? Meta(f[0], uint8_t(f[2]), Hex(body))
                                              : Message(f[0], kind, uint8_t(f[2]), uint8_t(f[3]),
                                                        uint8_t(f[4]), Hex(body)));
    }
    return out;
}

// A one-track song holding `events`.
Song SongOf(const std::string& events) {
    return BuildSong({Events(events)});
}

// A file that a failed write must leave as it was.
const std::string kEarlier = Smf(0, 96, {Hex("00 FF 03 07 'Earlier' 00 FF 2F 00")});

// Each track's bytes read to its events, its events write to the same bytes,
// or (where reading and writing differ) one of the two. Two events further
// apart than the largest delta time (0x0FFFFFFF ticks) have a sequencer's
// meta event of no data (FF 7F 01 7D) every 0x0FFFFFFF ticks between them,
// and the status of the next channel message is given again; a file that
// lost an event between two such events (a system-exclusive message holding
// 0x90) reads as such a song.
TEST(EventCoding, EveryKindOfEventReadsAndWritesItsExactBytes) {
    enum Way { kBoth, kRead, kWrite, kDamaged };  // kDamaged: read, saying what was left out
    const std::string kFiller = " FF FF FF 7F FF 7F 01 7D ";
    // The case, which way it goes, the track's bytes and its events.
    const std::tuple<const char*, Way, std::string, const char*> cases[] = {
        {"running status", kBoth, "00 90 3C 64 10 3C 00 00 FF 2F 00",
         "0/1/0/60/100/ 16/1/0/60/0/ 16/255/47/0/0/"},
        {"events at time 0 keep their status", kBoth, "00 90 3C 64 00 90 3E 64 00 FF 2F 00",
         "0/1/0/60/100/ 0/1/0/62/100/ 0/255/47/0/0/"},
        {"one data byte kinds and pitch bend", kBoth, "01 C9 05 01 D9 07 01 EF 00 40 00 FF 2F 00",
         "1/4/9/5/0/ 2/5/9/7/0/ 3/6/15/0/64/ 3/255/47/0/0/"},
        {"running status goes on after a meta event and a real-time byte", kRead,
         "00 90 3C 64 00 FF 01 01 'A' 00 3E 40 00 F8 00 3F 40 00 C5 07 00 09",
         "0/1/0/60/100/ 0/255/1/0/0/'A' 0/1/0/62/64/ 0/7/8/0/0/ 0/1/0/63/64/ 0/4/5/7/0/ "
         "0/4/5/9/0/"},
        {"a sysex or a meta event ends running status in writing", kBoth,
         "0A B2 07 64 00 F0 05 7E 7F 09 01 F7 00 B2 0A 40 05 FF 05 02 'la' 05 B2 0A 41 00 FF 2F 00",
         "10/3/2/7/100/ 10/240/0/0/0/7E7F0901F7 10/3/2/10/64/ 15/255/5/0/0/'la' 20/3/2/10/65/ "
         "20/255/47/0/0/"},
        {"system messages take the data bytes of their status", kBoth,
         "00 F1 05 00 F2 01 02 00 F3 7F 00 F6 05 F8 00 FE 00 FF 2F 00",
         "0/7/1/5/0/ 0/7/2/1/2/ 0/7/3/127/0/ 0/7/6/0/0/ 5/7/8/0/0/ 5/7/14/0/0/ 5/255/47/0/0/"},
        {"a system message ends running status", kBoth, "01 90 3C 01 00 F6 01 90 3D 01 00 FF 2F 00",
         "1/1/0/60/1/ 1/7/6/0/0/ 2/1/0/61/1/ 2/255/47/0/0/"},
        {"sysex, escape and unlisted meta bodies are kept", kBoth,
         "00 F0 03 7E 7F F7 01 F7 02 01 02 00 FF 7F 02 00 01 00 FF 2F 00",
         "0/240/0/0/0/7E7FF7 1/247/0/0/0/0102 1/255/127/0/0/0001 1/255/47/0/0/"},
        {"delta times of every length", kBoth,
         "7F 90 3C 64 81 00 3C 00 FF 7F 3C 64 81 80 00 3C 00 FF FF 7F 3C 64 81 80 80 00 3C 00 "
         "00 FF 2F 00",
         "127/1/0/60/100/ 255/1/0/60/0/ 16638/1/0/60/100/ 33022/1/0/60/0/ 2130173/1/0/60/100/ "
         "4227325/1/0/60/0/ 4227325/255/47/0/0/"},
        {"the longest delta time needs no filler", kBoth, "FF FF FF 7F D0 03 00 FF 2F 00",
         "268435455/5/0/3/0/ 268435455/255/47/0/0/"},
        {"one tick more takes a filler", kWrite,
         "00 90 3C 01" + kFiller + "01 80 3C 00 00 FF 2F 00", "0/1/0/60/1/ 268435456/0/0/60/0/"},
        {"twice the longest takes two", kWrite,
         "00 90 3C 01" + kFiller + kFiller + "02 90 3C 00 00 FF 2F 00",
         "0/1/0/60/1/ 536870912/1/0/60/0/"},
        {"an end of track left out, far after the last event", kWrite,
         "00 90 3C 01 0A 80 3C 00" + kFiller + "8F 86 C5 77 FF 2F 00",
         "0/1/0/60/1/ 300000000/255/47/0/0/ 10/0/0/60/0/"},
        {"an event lost between two far apart", kDamaged,
         "00 90 3C 01 FF FF FF 7F F0 03 01 90 F7 05 80 3C 00 00 FF 2F 00",
         "0/1/0/60/1/ 268435460/0/0/60/0/ 268435460/255/47/0/0/"},
        {"an end of track loses its body, and one closes the track after a later event", kWrite,
         "09 FF 01 00 00 FF 2F 00", "5/255/47/0/0/'xyz' 9/255/1/0/0/"},
        {"an end of track before other events goes after them, at the latest time", kWrite,
         "00 90 3C 01 10 80 3C 00 10 FF 2F 00",
         "0/255/47/0/0/ 0/1/0/60/1/ 16/0/0/60/0/ 32/255/47/0/0/ 20/255/47/0/0/"},
        {"an out-of-order event moves only itself", kWrite,
         "00 90 3C 01 64 3D 01 00 3E 01 32 3F 01 00 FF 2F 00",
         "0/1/0/60/1/ 100/1/0/61/1/ 50/1/0/62/1/ 150/1/0/63/1/"},
    };
    for (const auto& [name, way, readable, events] : cases) {
        SCOPED_TRACE(name);
        const std::string bytes = Hex(readable);
        Song song, back;
        SongFacts facts;
        if (way != kWrite) {
            const std::string said =
                cli::ReadMessage(ReadSongBytes(song, facts, Smf(1, 96, {bytes})));
            EXPECT_EQ(said.empty(), way != kDamaged) << said;
            EXPECT_EQ(EventsOf(song, 0), Events(events));
        }
        if (way == kRead || way == kDamaged) continue;
        const std::string written = EncodeSong(SongOf(events));
        EXPECT_EQ(written, Smf(1, 480, {bytes}));
        // Read back, the written song writes the same bytes again, and each
        // filler reads back as an event of its own, known as one.
        EXPECT_TRUE(WritesAndReadsBack(SongOf(events)));
        ASSERT_TRUE(ReadSongBytes(back, facts, written).SongUsable());
        const Track& track = back.Tracks[0];
        EXPECT_EQ(
            std::ranges::count_if(track, [&](const Event& e) { return IsGapFiller(track, e); }),
            std::ranges::distance(std::views::split(written, Hex(kFiller))) - 1);
    }
}

TEST(Writer, UnwritableEventsAreRefusedWithTheirReason) {
    const std::string kInvalid = "Invalid procedure call or argument: track 0, event 1: ";
    const std::pair<const char*, const char*> cases[] = {
        {"0/8/0/0/0/", "no message has this status (kind 8, channel or type 0)"},
        {"0/1/16/0/0/", "no message has this status (kind 1, channel or type 16)"},
        {"0/7/0/0/0/", "no system message has this status (kind 7, channel or type 0)"},
        {"0/1/0/60/144/", "a data byte of 0x80 or above (kind 1, channel or type 0)"},
        {"0/7/2/128/0/", "a data byte of 0x80 or above (kind 7, channel or type 2)"},
        {"0/7/4/0/0/", "no system message has this status (kind 7, channel or type 4)"},
        {"0/7/13/0/0/", "no system message has this status (kind 7, channel or type 13)"},
        {"0/240/0/0/0/7E90F7",
         "a system-exclusive byte of 0x80 or above before its end (kind 240, channel or type 0)"},
    };
    for (const auto& [event, message] : cases) {
        try {
            EncodeSong(SongOf("0/255/3/0/0/'x' " + std::string(event)));
            ADD_FAILURE() << "written: " << message;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.what(), kInvalid + message);
        }
    }
    // The header: a division that gives no time is refused, a format that
    // the track count does not allow is written as format 1. (An SMPTE
    // division written as its 16 bits: the identical rows of BadInput.)
    Song song = SongOf("0/255/47/0/0/");
    song.Division = 0;
    EXPECT_THROW(EncodeSong(song), RuntimeError);
    const std::optional<WriteFailure> refused = WriteSong(song, "/nonexistent-folder/x.mid");
    EXPECT_TRUE(refused && refused->Kind == WriteFailureKind::UntimedDivision &&
                refused->Value == 0)
        << WriteProblem(refused);
    for (const int16_t format : {0, 7})
        EXPECT_EQ(EncodeSong(BuildSong({Events(""), Events("")}, format)).substr(8, 6),
                  Hex("0001 0002 01E0"))
            << format;
    // A fault in the last track, found after the first went out: a file
    // keeps its old bytes and a stream gets nothing.
    Song late = BuildSong({Events("0/255/47/0/0/"), Events("0/1/0/60/144/")}, 0);
    TempDir dir;
    WriteAll(dir / "kept.mid", kEarlier);
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_NONBLOCK), 0);
    for (const std::string& target :
         {(dir / "kept.mid").string(), "/proc/self/fd/" + std::to_string(ends[1])})
        EXPECT_TRUE(WriteSong(late, target).has_value()) << target;
    EXPECT_EQ(ReadAll(dir / "kept.mid"), kEarlier);
    char byte;
    EXPECT_EQ(::read(ends[0], &byte, 1), -1);
    ::close(ends[0]);
    ::close(ends[1]);
}

// A tmpfs of `size` bytes mounted on a fresh folder, unmounted at the end.
struct SmallFileSystem {
    TempDir dir;
    int error = 0;
    explicit SmallFileSystem(const std::string& size) {
        if (::mount("tmpfs", dir.path().c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0)
            error = errno;
    }
    ~SmallFileSystem() {
        if (!error) ::umount2(dir.path().c_str(), MNT_DETACH);
    }
};

// How many temporary files of the writer are in `dir`.
int TemporaryFilesIn(const fs::path& dir) {
    std::error_code ec;
    return int(std::count_if(fs::directory_iterator(dir, ec), {}, [](const fs::path& p) {
        return p.filename().string().starts_with(".verselane-");
    }));
}

// One track of `notes` notes at one tick apart: 40000 write about 120 KB.
Song BigSong(int notes) {
    TrackEvents events = {Name("Big")};
    for (int i = 0; i < notes; ++i) events.push_back(NoteOn(i, 60));
    return BuildSong({events}, 0);
}

// Writes `song` to `target` in a child process that `sig` stops just before
// it renames its temporary file over the target; returns the child's id.
int g_raised = 0;
pid_t WriteStoppedBy(int sig, const Song& song, const fs::path& target) {
    const pid_t child = ::fork();
    if (child == 0) {
        g_raised = sig;
        BeforeReplaceRename = [] { ::raise(g_raised); };
        (void)WriteSong(song, target.string());
        ::_exit(0);
    }
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig;
    return child;
}

TEST(WriteFaults, EveryKindOfTargetIsWrittenOrRefusedCleanly) {
    TempDir dir;
    const Song song = BigSong(40000);
    const std::string encoded = EncodeSong(song);
    const fs::path named = dir / "Ünïcødé 名前.mid";
    WriteAll(named, std::string(200000, 'x'));
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(named, mode);
    WriteAll(dir / "real.mid", kEarlier);
    fs::create_symlink("real.mid", dir / "link.mid");
    fs::create_symlink("made.mid", dir / "dangling.mid");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    std::string from_pipe;
    std::thread reader([&] { from_pipe = ReadAll(dir / "pipe"); });
    fs::create_directory(dir / "folder.mid");
    WriteAll(dir / "folder.mid" / "inside.txt", "kept");
    ASSERT_EQ(::mknod((dir / "socket").c_str(), S_IFSOCK | 0644, 0), 0);
    // A device node of the null device, a read-only file system, and one of
    // 64 KiB that the song does not fit.
    SmallFileSystem devices("1m"), read_only("1m"), full("64k");
    const bool mounted = !devices.error && !read_only.error && !full.error;
    if (mounted) {
        ASSERT_EQ(::mknod((devices.dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        WriteAll(read_only.dir / "song.mid", kEarlier);
        ASSERT_EQ(::mount(nullptr, read_only.dir.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY,
                          nullptr),
                  0);
        WriteAll(full.dir / "song.mid", kEarlier);
    } else if (devices.error != EPERM) {
        ADD_FAILURE() << "mounting a tmpfs: " << std::strerror(devices.error);
    }
    // A writer stopped by SIGTERM or SIGINT while its temporary file has a
    // name (the test hook raises the signal there) removes that file on its
    // way out and leaves the earlier file as it was. (Named only after it was
    // complete, the file had gone unregistered, and a signal left it behind.)
    // A writer killed there leaves the file; the next write into the folder
    // removes it, but not the file of a writer that runs (process 1) nor
    // another user's file of the same name (made only as root).
    const fs::path killed = dir / "killed";
    fs::create_directory(killed);
    WriteAll(killed / "song.mid", kEarlier);
    pid_t child = 0;
    for (const int sig : {SIGTERM, SIGINT, SIGKILL}) {
        child = WriteStoppedBy(sig, song, killed / "song.mid");
        EXPECT_EQ(ReadAll(killed / "song.mid"), kEarlier) << sig;
        ASSERT_EQ(TemporaryFilesIn(killed), int(sig == SIGKILL)) << sig;
    }
    const fs::path running = killed / ".verselane-1-0.tmp",
                   others = killed / (".verselane-" + std::to_string(child) + "-8.tmp");
    WriteAll(running, "process 1 runs");
    WriteAll(others, "another user's");
    const bool foreign = ::chown(others.c_str(), 12345, 12345) == 0;
    EXPECT_EQ(WriteProblem(WriteSong(song, (killed / "song.mid").string())), "");
    EXPECT_EQ(std::tuple(ReadAll(killed / "song.mid") == encoded, TemporaryFilesIn(killed),
                         fs::exists(running), fs::exists(others)),
              std::tuple(true, 1 + foreign, true, foreign));
    using enum WriteFailureKind;
    const struct {
        const char* name;
        fs::path target;
        fs::path holds = {};                        // the file that holds the song afterwards
        std::optional<WriteFailureKind> kind = {};  // none: written
        std::string reason = {};                    // what the command line's message says
    } targets[] = {
        {"an earlier, longer file with a non-ASCII name", named, named},
        {"a link to a file: the file is replaced, the link stays", dir / "link.mid",
         dir / "real.mid"},
        {"a link to nothing: its target is made", dir / "dangling.mid", dir / "made.mid"},
        {"a named pipe is written in place", dir / "pipe"},
        {"target folder missing", dir / "missing" / "out.mid", "", FolderMissing,
         "No such file or directory"},
        {"target is a folder", dir / "folder.mid", "", IsFolder, "Is a directory"},
        {"target is a socket", dir / "socket", "", NotWritable,
         "neither a regular file, a character device nor a pipe; not written"},
        // On the mounts, outside the test's folder.
        {"a character device is written in place", devices.dir / "null"},
        {"a read-only disk", read_only.dir / "song.mid", "", NoAccess, "Read-only file system"},
        {"a full disk", full.dir / "song.mid", "", NoSpace, "No space left on device"},
    };
    for (const auto& f : targets) {
        SCOPED_TRACE(f.name);
        if (!mounted && !f.target.string().starts_with((dir / "").string())) {
            std::cout << "[ SKIPPED  ] " << f.name << ": cannot mount a tmpfs here\n";
            continue;
        }
        // What is at the path: the file's bytes, or that no file is there.
        auto held = [&] { return fs::is_regular_file(f.target) ? ReadAll(f.target) : "(none)"; };
        const std::string before = held();
        const std::optional<WriteFailure> failure = WriteSong(song, f.target.string());
        const std::string message = WriteProblem(failure);
        EXPECT_EQ(TemporaryFilesIn(f.target.parent_path()), 0);
        EXPECT_EQ(f.holds.empty() ? encoded : ReadAll(f.holds), encoded);
        EXPECT_EQ(failure ? std::optional(failure->Kind) : std::nullopt, f.kind) << message;
        if (!f.kind) continue;
        auto has = [&](const std::string& part) { return message.find(part) != std::string::npos; };
        EXPECT_TRUE(message.starts_with(cli::kErrorPrefix) && has(f.reason) &&
                    has(f.target.string()))
            << message;
        EXPECT_EQ(held(), before) << "the earlier file is intact, and nothing was created";
    }
    reader.join();
    EXPECT_EQ(from_pipe, encoded);
    EXPECT_EQ(fs::status(named).permissions(), mode);
    EXPECT_TRUE(fs::is_symlink(dir / "link.mid") && fs::is_symlink(dir / "dangling.mid") &&
                fs::is_fifo(dir / "pipe"));
    EXPECT_EQ(ReadAll(dir / "folder.mid" / "inside.txt"), "kept");
    if (mounted) {
        EXPECT_TRUE(fs::is_character_file(devices.dir / "null"));
        // The space comes back: a song that fits what is left is written there.
        fs::remove(full.dir / "song.mid");
        EXPECT_EQ(WriteProblem(WriteSong(BigSong(18000), full.dir / "song.mid")), "");
    }
}

}  // namespace
}  // namespace verselane::test
