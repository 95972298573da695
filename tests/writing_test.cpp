// Writing: the byte layout of the header and of every kind of event, running
// status, delta times and the end of each track, read back; then every kind
// of target: a file replaced whole, through a link, a link to nothing, a named
// pipe, a character device and standard output, and the faults: a missing
// folder, a read-only file system, a folder or a socket in the way, a full
// disk, a writer killed in the middle. A failed write says why, leaves the
// earlier file at the path as it was, no temporary file behind and the song
// untouched. The read-only and full file systems and the device node are
// real, on small tmpfs mounts of the test's own; where the test may not mount
// (EPERM) those cases are skipped with a note.
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "reader/midi_reader.h"
#include "tests/support/song_checks.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane::test {
namespace {

namespace fs = std::filesystem;

MidiEvent Channel(int32_t time, uint8_t kind, uint8_t channel, uint8_t d1, uint8_t d2 = 0) {
    return MidiEvent{time, kind, channel, d1, d2, {}};
}
MidiEvent Other(int32_t time, uint8_t kind, uint8_t type, std::string body = {}, uint8_t d1 = 0,
                uint8_t d2 = 0) {
    return MidiEvent{time, kind, type, d1, d2, body};
}
MidiEvent Meta(int32_t time, uint8_t type, std::string body) {
    return Other(time, kKindMeta, type, body);
}

// A one-track song holding `events`.
MidiFile SongOf(const std::vector<MidiEvent>& events) {
    MidiFile song;
    ResetMidiFile(song);
    song.Header = {6, 1, 1, 96};
    song.EventSlots = static_cast<int32_t>(events.size()) + 10;
    ResizeTracks(song, 3, true);
    for (const MidiEvent& e : events) song.Track(0).Event(song.Count(0)++) = e;
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
        {"a sysex event ends running status, as a meta event does",
         {Channel(10, 3, 2, 7, 100), Other(10, kKindSysEx, 0, Hex("7E 7F 09 01 F7")),
          Channel(10, 3, 2, 10, 64), Meta(15, 5, "la"), Channel(20, 3, 2, 10, 65)},
         "0A B2 07 64 00 F0 05 7E 7F 09 01 F7 00 B2 0A 40 05 FF 05 02 'la' 05 B2 0A 41 00 FF 2F "
         "00"},
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
         {Meta(5, 0x2F, ""), Meta(9, 1, "")},
         "05 FF 2F 00 04 FF 01 00 00 FF 2F 00"},
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
            EXPECT_TRUE(WritesAndReadsBack(SongOf(c.events))) << c.name;
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

std::vector<std::string> TemporaryFilesIn(const fs::path& dir) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        std::string name = entry.path().filename().string();
        if (name.starts_with(".verselane-") && name.ends_with(".tmp")) found.push_back(name);
    }
    return found;
}

// One track of `notes` note-ons and note-offs: 20000 notes make about 120 KB.
std::string BigSong(int notes) {
    std::string track = Hex("00 FF 03 03 'Big' 00 90 3C 64");
    for (int i = 0; i < notes; ++i) track += Hex("01 3C 00 01 3C 64");
    return Smf(0, 96, {track + Hex("00 FF 2F 00")});
}

MidiFile ReadBytes(const std::string& bytes) {
    MidiFile song;
    ResetMidiFile(song);
    EXPECT_EQ(ReadMidiBytes(song, bytes).Message(), "");
    return song;
}

const std::string kEarlier = Smf(0, 96, {Hex("00 FF 03 07 'Earlier' 00 FF 2F 00")});

TEST(WriteFaults, EveryKindOfTargetIsWrittenOrRefusedCleanly) {
    const MidiFile song = ReadBytes(BigSong(20000));
    const std::string encoded = EncodeMidiFile(song);
    TempDir dir;
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
    WriteAll(dir / "source.mid", BigSong(20000));
    fs::create_directory(dir / "folder.mid");
    WriteAll(dir / "folder.mid" / "inside.txt", "kept");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, (dir / "socket").c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(sock);
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
    const struct {
        const char* name;
        fs::path target;
        std::string reason;   // empty: written; else what the message must say
        fs::path holds = {};  // the file that holds the song afterwards
        bool on_mount = false;
    } targets[] = {
        {"an earlier, longer file with a non-ASCII name", named, "", named},
        {"a link to a file: the file is replaced, the link stays", dir / "link.mid", "",
         dir / "real.mid"},
        {"a link to nothing: its target is made", dir / "dangling.mid", "", dir / "made.mid"},
        {"a named pipe is written in place", dir / "pipe", ""},
        {"the file that was read is replaced by what was read", dir / "source.mid", "",
         dir / "source.mid"},
        {"target folder missing", dir / "missing" / "out.mid", "No such file or directory"},
        {"target is a folder", dir / "folder.mid", "Is a directory"},
        {"target is a socket", dir / "socket",
         "neither a regular file, a character device nor a pipe; not written"},
        {"a character device is written in place", devices.dir / "null", "", {}, true},
        {"read-only file system", read_only.dir / "song.mid", "Read-only file system", {}, true},
        {"disk full in the middle of the track",
         full.dir / "song.mid",
         "No space left on device",
         {},
         true},
    };
    for (const auto& f : targets) {
        SCOPED_TRACE(f.name);
        if (f.on_mount && !mounted) {
            std::cout << "[ SKIPPED  ] " << f.name << ": cannot mount a tmpfs here\n";
            continue;
        }
        const bool existed = fs::is_regular_file(f.target);
        const std::string before = existed ? ReadAll(f.target) : "";
        const MidiFile copy = song;
        const std::string message = WriteMidiFile(song, f.target.string());
        EXPECT_TRUE(SameSong(copy, song)) << "the song in memory is unchanged";
        EXPECT_EQ(TemporaryFilesIn(f.target.parent_path()), std::vector<std::string>{});
        EXPECT_EQ(f.holds.empty() ? encoded : ReadAll(f.holds), encoded);
        if (f.reason.empty()) {
            EXPECT_EQ(message, "");
            continue;
        }
        EXPECT_TRUE(message.starts_with(kErrorPrefix)) << message;
        EXPECT_NE(message.find(f.reason), std::string::npos) << message;
        EXPECT_NE(message.find(f.target.string()), std::string::npos) << message;
        EXPECT_EQ(fs::is_regular_file(f.target), existed) << "nothing was created at the path";
        EXPECT_EQ(existed ? ReadAll(f.target) : "", before) << "the earlier file is intact";
    }
    reader.join();
    EXPECT_EQ(from_pipe, encoded);
    EXPECT_EQ(fs::status(named).permissions(), mode);
    EXPECT_TRUE(fs::is_symlink(dir / "link.mid") && fs::is_symlink(dir / "dangling.mid"));
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
    EXPECT_EQ(ReadAll(dir / "folder.mid" / "inside.txt"), "kept");
    if (mounted) {
        EXPECT_TRUE(fs::is_character_file(devices.dir / "null"));
        // The space comes back: a song that fits what is left is written there.
        fs::remove(full.dir / "song.mid");
        EXPECT_EQ(WriteMidiFile(ReadBytes(BigSong(9000)), (full.dir / "song.mid").string()), "");
    }
}

// Standard output, named "-" or through /dev/stdout, streams the song; a
// file is never copied onto itself, by whatever path it is named (the copy
// would drop what the song model does not keep, here bytes after the last
// track); a writer killed at any moment leaves no file of its own behind.
TEST(WriteFaults, CommandLineStreamsRefusesSelfCopiesAndLeavesNothingWhenKilled) {
    TempDir dir;
    const std::string cli = VERSELANE_CLI;
    const fs::path in = dir / "in.mid", path = dir / "song.mid";
    WriteAll(in, BigSong(20000));
    const std::string encoded = EncodeMidiFile(ReadBytes(BigSong(20000)));
    for (const char* out : {"-", "/dev/stdout"}) {
        std::string piped;
        EXPECT_EQ(RunCommand("'" + cli + "' copy '" + in.string() + "' " + out + " | cat", &piped),
                  0);
        EXPECT_TRUE(piped == encoded) << out << ": " << piped.size() << " bytes";
    }
    const std::string original = kEarlier + "trailing bytes the model does not keep";
    WriteAll(path, original);
    fs::create_hard_link(path, dir / "hard.mid");
    fs::create_symlink(path, dir / "soft.mid");
    for (const fs::path& out : {path, dir / "hard.mid", dir / "soft.mid", dir / "." / "song.mid"}) {
        std::string output;
        EXPECT_EQ(
            RunCommand("'" + cli + "' copy '" + path.string() + "' '" + out.string() + "' 2>&1",
                       &output),
            1);
        EXPECT_NE(output.find(kErrorPrefix), std::string::npos) << output;
        EXPECT_NE(output.find("is the file being read"), std::string::npos) << output;
        EXPECT_EQ(ReadAll(path), original);
        EXPECT_TRUE(fs::is_symlink(dir / "soft.mid"));
    }
    fs::remove(path), fs::remove(dir / "hard.mid"), fs::remove(dir / "soft.mid");
    // A song of some 60 MB takes long enough to write that the signals land
    // in the middle of it.
    WriteAll(in, BigSong(10000000));
    for (int sig : {SIGKILL, SIGTERM, SIGINT}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(cli.c_str(), cli.c_str(), "copy", in.c_str(), (dir / "out.mid").c_str(),
                    nullptr);
            ::_exit(127);
        }
        ::usleep(300000);
        ::kill(pid, sig);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << "signal " << sig << " came too late";
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1) << "signal " << sig;
    }
}

}  // namespace
}  // namespace verselane::test
