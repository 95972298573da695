// Writing to every kind of target: a file replaced whole, through a link, a
// link to nothing, a named pipe, a character device and standard output, and
// under faults: a missing folder, a read-only file system, a folder or a
// socket in the way, a full disk, a writer killed in the middle. Each write
// that fails says why, leaves the earlier file at the path as it was, leaves
// no temporary file behind and does not touch the song.
//
// The read-only and full file systems, and the device node, are real: on
// small tmpfs mounts of the test's own. Where the test may not mount (EPERM)
// those cases are skipped with a note.
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "model/errors.h"
#include "reader/midi_reader.h"
#include "tests/support/song_checks.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane::test {
namespace {

namespace fs = std::filesystem;

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
    const std::string note = Hex("01 3C 00 01 3C 64");
    for (int i = 0; i < notes; ++i) track += note;
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
    ASSERT_GT(encoded.size(), 100000u);
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
    // Real small file systems: a device node of the null device on one, a
    // read-only one, and one of 64 KiB that the song does not fit.
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
// writer killed at any moment leaves no file of its own in the folder; a
// file is never copied onto itself, by whatever path it is named (the copy
// would drop what the song model does not keep, here bytes after the last track).
TEST(WriteFaults, CommandLineStreamsRefusesSelfCopiesAndLeavesNothingWhenKilled) {
    TempDir dir;
    const std::string cli = VERSELANE_CLI;
    const fs::path in = dir / "in.mid";
    WriteAll(in, BigSong(20000));
    const std::string encoded = EncodeMidiFile(ReadBytes(BigSong(20000)));
    for (const char* out : {"-", "/dev/stdout"}) {
        std::string piped;
        EXPECT_EQ(RunCommand("'" + cli + "' copy '" + in.string() + "' " + out + " | cat", &piped),
                  0);
        EXPECT_TRUE(piped == encoded) << out << ": " << piped.size() << " bytes";
    }

    const fs::path path = dir / "song.mid";
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
        std::vector<fs::path> left;
        for (const auto& entry : fs::directory_iterator(dir.path())) left.push_back(entry.path());
        EXPECT_EQ(left, std::vector<fs::path>{in}) << "signal " << sig;
    }
}

}  // namespace
}  // namespace verselane::test
