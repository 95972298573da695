// Writing to every kind of target: a file replaced whole, through a link, a
// link to nothing, a named pipe, a character device and standard output, and
// under faults: a missing folder, a read-only file system, a folder or a
// socket in the way, a full disk, a writer killed in the middle. Each write
// that fails says why, leaves the earlier file at the path as it was, leaves
// no temporary file behind and does not touch the song.
//
// The read-only and full file systems, and the device node, are real: on
// small tmpfs mounts of the test's own. Mounting needs the privilege to mount;
// where the test runs without it (mount gives EPERM) those cases are skipped
// with a note.
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
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "model/errors.h"
#include "reader/midi_reader.h"
#include "tests/song_checks.h"
#include "tests/support/test_support.h"
#include "writer/midi_writer.h"

namespace verselane::test {
namespace {

namespace fs = std::filesystem;

// A tmpfs of `size` bytes mounted on a fresh folder, unmounted at the end.
class SmallFileSystem {
  public:
    explicit SmallFileSystem(const std::string& size) {
        std::string options = "size=" + size + ",mode=0755";
        if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options.c_str()) == 0) {
            mounted_ = true;
        } else {
            error_ = errno;
        }
    }
    ~SmallFileSystem() {
        if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }
    int Error() const { return error_; }
    const fs::path& path() const { return dir_.path(); }
    bool MakeReadOnly() {
        return ::mount(nullptr, dir_.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

  private:
    TempDir dir_;
    bool mounted_ = false;
    int error_ = 0;
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

MidiFile ReadBytes(const std::string& bytes) {
    MidiFile song;
    ResetMidiFile(song);
    EXPECT_EQ(ReadMidiBytes(song, bytes).Message(), "");
    return song;
}

// One track of `notes` note-ons and note-offs: about 3 bytes an event, so
// 20000 notes make a track of about 120 KB.
std::string BigSong(int notes) {
    std::string track = Hex("00 FF 03 03 'Big' 00 90 3C 64");
    for (int i = 0; i < notes; ++i) track += Hex("01 3C 00 01 3C 64");
    track += Hex("00 FF 2F 00");
    return Smf(0, 96, {track});
}

const std::string kEarlier = Smf(0, 96, {Hex("00 FF 03 07 'Earlier' 00 FF 2F 00")});

struct Target {
    std::string name;
    // Prepares the place and returns the target path, or nothing to skip.
    std::function<std::optional<fs::path>(std::string& skip_reason)> prepare;
    std::string reason;  // empty: written; else what the message must say
    bool earlier_file = true;
    // After a write: checks what the target became.
    std::function<void(const fs::path&, const std::string& written)> check = {};
};

TEST(WriteFaults, EveryKindOfTargetIsWrittenOrRefusedCleanly) {
    const MidiFile song = ReadBytes(BigSong(20000));
    const std::string encoded = EncodeMidiFile(song);
    ASSERT_GT(encoded.size(), 100000u);

    TempDir dir;
    std::vector<std::unique_ptr<SmallFileSystem>> mounts;
    auto mount = [&](const std::string& size, std::string& skip) -> SmallFileSystem* {
        mounts.push_back(std::make_unique<SmallFileSystem>(size));
        SmallFileSystem* fs = mounts.back().get();
        if (fs->Mounted()) return fs;
        if (fs->Error() == EPERM) {
            skip = "cannot mount a tmpfs here (no privilege)";
        } else {
            ADD_FAILURE() << "mounting a tmpfs failed: " << std::strerror(fs->Error());
            skip = "no tmpfs";
        }
        return nullptr;
    };
    auto holds = [](const fs::path& path, const std::string& written) {
        EXPECT_EQ(ReadAll(path), written);
    };
    std::thread reader;  // for the named pipe
    std::string from_pipe;

    std::vector<Target> targets = {
        {"an earlier, longer file with its own mode",
         [&](std::string&) -> std::optional<fs::path> {
             WriteAll(dir / "old.mid", std::string(200000, 'x'));
             fs::permissions(dir / "old.mid", fs::perms::owner_read | fs::perms::owner_write |
                                                  fs::perms::group_read);
             return dir / "old.mid";
         },
         "", true,
         [&](const fs::path& p, const std::string& written) {
             holds(p, written);
             EXPECT_EQ(fs::status(p).permissions(),
                       fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
         }},
        {"a link to a file: the file is replaced, the link stays",
         [&](std::string&) -> std::optional<fs::path> {
             WriteAll(dir / "real.mid", kEarlier);
             fs::create_symlink("real.mid", dir / "link.mid");
             return dir / "link.mid";
         },
         "", true,
         [&](const fs::path& p, const std::string& written) {
             EXPECT_TRUE(fs::is_symlink(p));
             holds(dir / "real.mid", written);
         }},
        {"a link to nothing: its target is made",
         [&](std::string&) -> std::optional<fs::path> {
             fs::create_symlink("made.mid", dir / "dangling.mid");
             return dir / "dangling.mid";
         },
         "", false,
         [&](const fs::path& p, const std::string& written) {
             EXPECT_TRUE(fs::is_symlink(p));
             holds(dir / "made.mid", written);
         }},
        {"a named pipe is written in place",
         [&](std::string&) -> std::optional<fs::path> {
             EXPECT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
             reader = std::thread([&] { from_pipe = ReadAll(dir / "pipe"); });
             return dir / "pipe";
         },
         "", false,
         [&](const fs::path& p, const std::string& written) {
             reader.join();
             EXPECT_EQ(from_pipe, written);
             EXPECT_TRUE(fs::is_fifo(p));
         }},
        {"a character device is written in place",
         [&](std::string& skip) -> std::optional<fs::path> {
             SmallFileSystem* fs = mount("1m", skip);
             if (!fs) return std::nullopt;
             // A node of the null device, on the test's own file system.
             if (::mknod((fs->path() / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
                 skip = std::string("cannot make a device node: ") + std::strerror(errno);
                 return std::nullopt;
             }
             return fs->path() / "null";
         },
         "", false,
         [&](const fs::path& p, const std::string&) {
             EXPECT_TRUE(fs::is_character_file(p));
             EXPECT_EQ(TemporaryFilesIn(p.parent_path()), std::vector<std::string>{});
         }},
        {"the file that was read is replaced by what was read",
         [&](std::string&) -> std::optional<fs::path> {
             WriteAll(dir / "source.mid", BigSong(20000));
             return dir / "source.mid";
         },
         "", true, holds},
        {"target folder missing",
         [&](std::string&) -> std::optional<fs::path> { return dir / "missing" / "out.mid"; },
         "No such file or directory", false},
        {"target is a folder",
         [&](std::string&) -> std::optional<fs::path> {
             fs::create_directory(dir / "folder.mid");
             WriteAll(dir / "folder.mid" / "inside.txt", "kept");
             return dir / "folder.mid";
         },
         "Is a directory", false},
        {"target is a socket",
         [&](std::string&) -> std::optional<fs::path> {
             int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             std::strcpy(address.sun_path, (dir / "socket").c_str());
             EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
             ::close(fd);
             return dir / "socket";
         },
         "neither a regular file, a character device nor a pipe; not written", false},
        {"read-only file system",
         [&](std::string& skip) -> std::optional<fs::path> {
             SmallFileSystem* fs = mount("1m", skip);
             if (!fs) return std::nullopt;
             WriteAll(fs->path() / "song.mid", kEarlier);
             if (!fs->MakeReadOnly()) {
                 ADD_FAILURE() << "remounting read-only failed: " << std::strerror(errno);
                 return std::nullopt;
             }
             return fs->path() / "song.mid";
         },
         "Read-only file system"},
        {"disk full in the middle of the track: the space comes back",
         [&](std::string& skip) -> std::optional<fs::path> {
             SmallFileSystem* fs = mount("64k", skip);
             if (!fs) return std::nullopt;
             WriteAll(fs->path() / "song.mid", kEarlier);
             return fs->path() / "song.mid";
         },
         "No space left on device", true,
         [&](const fs::path& p, const std::string&) {
             // A song that fits the space left is written there afterwards.
             fs::remove(p);
             const MidiFile small_song = ReadBytes(BigSong(9000));
             EXPECT_EQ(WriteMidiFile(small_song, p.string()), "");
         }},
    };

    for (const Target& f : targets) {
        SCOPED_TRACE(f.name);
        std::string skip;
        std::optional<fs::path> target = f.prepare(skip);
        if (!target) {
            std::cout << "[ SKIPPED  ] " << f.name << ": " << skip << "\n";
            continue;
        }
        const fs::path folder = target->parent_path();
        const bool existed = fs::is_regular_file(*target);
        const std::string before = existed ? ReadAll(*target) : "";
        ASSERT_EQ(existed, f.earlier_file);
        const MidiFile copy = song;

        std::string message = WriteMidiFile(song, target->string());

        EXPECT_TRUE(SameSong(copy, song)) << "the song in memory is unchanged";
        EXPECT_EQ(TemporaryFilesIn(folder), std::vector<std::string>{});
        if (f.reason.empty()) {
            EXPECT_EQ(message, "");
        } else {
            EXPECT_TRUE(message.starts_with(kErrorPrefix)) << message;
            EXPECT_NE(message.find(f.reason), std::string::npos) << message;
            EXPECT_NE(message.find(target->string()), std::string::npos)
                << "names the file: " << message;
            if (f.earlier_file) {
                EXPECT_EQ(ReadAll(*target), before) << "the earlier file is intact";
            } else {
                EXPECT_FALSE(fs::is_regular_file(*target)) << "nothing was created at the path";
            }
        }
        if (f.check) f.check(*target, encoded);
    }
    EXPECT_EQ(ReadAll(dir / "folder.mid" / "inside.txt"), "kept");
    if (reader.joinable()) reader.join();
}

// Standard output, named "-" or through /dev/stdout, streams the song; a
// writer killed at any moment leaves no file of its own in the folder.
TEST(WriteFaults, CommandLineStreamsAndLeavesNothingWhenKilled) {
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
        EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
        EXPECT_FALSE(fs::exists(dir / "out.mid"));
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dir.path(), ec)) {
            EXPECT_EQ(entry.path().filename(), "in.mid");
        }
    }
}

// The command line refuses to copy a file onto itself, by whatever path it is
// named: the copy would drop what the song model does not keep (a RIFF
// wrapper, bytes after the last track, a longer header).
TEST(WriteFaults, CommandLineRefusesToCopyAFileOntoItself) {
    TempDir dir;
    fs::path path = dir / "song.mid";
    const std::string original = kEarlier + "trailing bytes the model does not keep";
    WriteAll(path, original);
    fs::create_hard_link(path, dir / "hard.mid");
    fs::create_symlink(path, dir / "soft.mid");

    const std::string cli = VERSELANE_CLI;
    for (const fs::path& out : {path, dir / "hard.mid", dir / "soft.mid", dir / "." / "song.mid"}) {
        SCOPED_TRACE(out.string());
        std::string output;
        int status = RunCommand(
            "'" + cli + "' copy '" + path.string() + "' '" + out.string() + "' 2>&1", &output);
        EXPECT_EQ(status, 1);
        EXPECT_NE(output.find(std::string(kErrorPrefix)), std::string::npos) << output;
        EXPECT_NE(output.find("is the file being read"), std::string::npos) << output;
        EXPECT_EQ(ReadAll(path), original);
        EXPECT_TRUE(fs::is_symlink(dir / "soft.mid"));
        EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace verselane::test
