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
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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

struct Target {
    std::string name;
    std::function<fs::path()> prepare;  // the target path; empty to skip the case
    std::string reason;                 // empty: written; else what the message must say
    std::function<void(const fs::path&)> check = {};  // what the target became
};

TEST(WriteFaults, EveryKindOfTargetIsWrittenOrRefusedCleanly) {
    const MidiFile song = ReadBytes(BigSong(20000));
    const std::string encoded = EncodeMidiFile(song);
    ASSERT_GT(encoded.size(), 100000u);
    TempDir dir;
    std::vector<std::unique_ptr<SmallFileSystem>> mounts;
    auto mount = [&](const char* size) -> fs::path {
        auto& fs = mounts.emplace_back(std::make_unique<SmallFileSystem>(size));
        if (fs->error && fs->error != EPERM) ADD_FAILURE() << "mount: " << strerror(fs->error);
        return fs->error ? fs::path() : fs->dir.path();
    };
    auto holds = [&](const fs::path& p) { EXPECT_EQ(ReadAll(p), encoded); };
    auto keep = [&](const fs::path& p, const std::string& bytes) { return WriteAll(p, bytes), p; };
    std::thread reader;  // for the named pipe
    std::string from_pipe;
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;

    const std::vector<Target> targets = {
        {"an earlier, longer file with its own mode and a non-ASCII name",
         [&] {
             keep(dir / "Ünïcødé 名前.mid", std::string(200000, 'x'));
             fs::permissions(dir / "Ünïcødé 名前.mid", mode);
             return dir / "Ünïcødé 名前.mid";
         },
         "",
         [&](const fs::path& p) {
             holds(p);
             EXPECT_EQ(fs::status(p).permissions(), mode);
         }},
        {"a link to a file: the file is replaced, the link stays",
         [&] {
             keep(dir / "real.mid", kEarlier);
             fs::create_symlink("real.mid", dir / "link.mid");
             return dir / "link.mid";
         },
         "",
         [&](const fs::path& p) {
             EXPECT_TRUE(fs::is_symlink(p));
             holds(dir / "real.mid");
         }},
        {"a link to nothing: its target is made",
         [&] {
             fs::create_symlink("made.mid", dir / "dangling.mid");
             return dir / "dangling.mid";
         },
         "",
         [&](const fs::path& p) {
             EXPECT_TRUE(fs::is_symlink(p));
             holds(dir / "made.mid");
         }},
        {"a named pipe is written in place",
         [&] {
             EXPECT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
             reader = std::thread([&] { from_pipe = ReadAll(dir / "pipe"); });
             return dir / "pipe";
         },
         "",
         [&](const fs::path& p) {
             reader.join();
             EXPECT_EQ(from_pipe, encoded);
             EXPECT_TRUE(fs::is_fifo(p));
         }},
        {"a character device (null) is written in place",
         [&] {
             fs::path at = mount("1m");
             if (!at.empty() && ::mknod((at / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)))
                 ADD_FAILURE() << "mknod: " << strerror(errno);
             return at.empty() ? at : at / "null";
         },
         "", [](const fs::path& p) { EXPECT_TRUE(fs::is_character_file(p)); }},
        {"the file that was read is replaced by what was read",
         [&] { return keep(dir / "source.mid", BigSong(20000)); }, "", holds},
        {"target folder missing", [&] { return dir / "missing" / "out.mid"; },
         "No such file or directory"},
        {"target is a folder",
         [&] {
             fs::create_directory(dir / "folder.mid");
             return keep(dir / "folder.mid" / "inside.txt", "kept").parent_path();
         },
         "Is a directory",
         [&](const fs::path& p) { EXPECT_EQ(ReadAll(p / "inside.txt"), "kept"); }},
        {"target is a socket",
         [&] {
             int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             std::strcpy(address.sun_path, (dir / "socket").c_str());
             EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
             ::close(fd);
             return dir / "socket";
         },
         "neither a regular file, a character device nor a pipe; not written"},
        {"read-only file system",
         [&] {
             fs::path at = mount("1m");
             if (at.empty()) return at;
             keep(at / "song.mid", kEarlier);
             EXPECT_EQ(::mount(nullptr, at.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
             return at / "song.mid";
         },
         "Read-only file system"},
        {"disk full in the middle of the track: the space comes back",
         [&] {
             fs::path at = mount("64k");
             return at.empty() ? at : keep(at / "song.mid", kEarlier);
         },
         "No space left on device",
         [&](const fs::path& p) {
             fs::remove(p);  // a song that fits the space left is written there afterwards
             EXPECT_EQ(WriteMidiFile(ReadBytes(BigSong(9000)), p.string()), "");
         }},
    };
    for (const Target& f : targets) {
        SCOPED_TRACE(f.name);
        const fs::path target = f.prepare();
        if (target.empty()) {
            std::cout << "[ SKIPPED  ] " << f.name << ": cannot mount a tmpfs here\n";
            continue;
        }
        const bool existed = fs::is_regular_file(target);
        const std::string before = existed ? ReadAll(target) : "";
        const MidiFile copy = song;
        const std::string message = WriteMidiFile(song, target.string());
        EXPECT_TRUE(SameSong(copy, song)) << "the song in memory is unchanged";
        EXPECT_EQ(TemporaryFilesIn(target.parent_path()), std::vector<std::string>{});
        if (f.reason.empty()) {
            EXPECT_EQ(message, "");
        } else {
            EXPECT_TRUE(message.starts_with(kErrorPrefix)) << message;
            EXPECT_NE(message.find(f.reason), std::string::npos) << message;
            EXPECT_NE(message.find(target.string()), std::string::npos) << message;
            EXPECT_EQ(fs::is_regular_file(target), existed) << "nothing was created at the path";
            if (existed) {
                EXPECT_EQ(ReadAll(target), before) << "the earlier file is intact";
            }
        }
        if (f.check) f.check(target);
    }
    if (reader.joinable()) reader.join();
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
