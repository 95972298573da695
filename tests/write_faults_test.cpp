// Writing under faults: a missing folder, a read-only file system, a folder
// in the way, a full disk, the file that was read as the target. Each write
// that fails says why, leaves the earlier file at the path as it was, leaves
// no temporary file behind and does not touch the song.
//
// The read-only and full file systems are real: small tmpfs mounts of the
// test's own. Mounting needs the privilege to mount; where the test runs
// without it (mount gives EPERM) those cases are skipped with a note.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
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
    std::string message = ReadMidiBytes(song, bytes);
    EXPECT_EQ(message, "");
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

struct Fault {
    std::string name;
    // Prepares the place and returns the target path, or nothing to skip.
    std::function<std::optional<fs::path>(std::string& skip_reason)> prepare;
    std::string reason;  // what the message must say after the prefix
    bool earlier_file = true;
};

TEST(WriteFaults, EachFailsCleanlyAndKeepsTheEarlierFile) {
    const MidiFile song = ReadBytes(BigSong(20000));
    ASSERT_GT(EncodeMidiFile(song).size(), 100000u);

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

    std::vector<Fault> faults = {
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
        {"disk full in the middle of the track",
         [&](std::string& skip) -> std::optional<fs::path> {
             SmallFileSystem* fs = mount("64k", skip);
             if (!fs) return std::nullopt;
             WriteAll(fs->path() / "song.mid", kEarlier);
             return fs->path() / "song.mid";
         },
         "No space left on device"},
    };

    for (const Fault& f : faults) {
        SCOPED_TRACE(f.name);
        std::string skip;
        std::optional<fs::path> target = f.prepare(skip);
        if (!target) {
            std::cout << "[ SKIPPED  ] " << f.name << ": " << skip << "\n";
            continue;
        }
        const fs::path folder = target->parent_path();
        std::error_code ec;
        const bool existed = fs::exists(*target, ec);
        const std::string before = existed && fs::is_regular_file(*target) ? ReadAll(*target) : "";
        ASSERT_EQ(existed && fs::is_regular_file(*target), f.earlier_file);
        const MidiFile copy = song;

        std::string message = WriteMidiFile(song, target->string());

        EXPECT_TRUE(message.starts_with(kErrorPrefix)) << message;
        EXPECT_NE(message.find(f.reason), std::string::npos) << message;
        EXPECT_NE(message.find(target->string()), std::string::npos)
            << "names the file: " << message;
        if (f.earlier_file) {
            EXPECT_EQ(ReadAll(*target), before) << "the earlier file is intact";
        } else {
            EXPECT_FALSE(fs::is_regular_file(*target)) << "nothing was created at the path";
        }
        EXPECT_EQ(TemporaryFilesIn(folder), std::vector<std::string>{});
        EXPECT_TRUE(SameSong(copy, song)) << "the song in memory is unchanged";
    }
    EXPECT_EQ(ReadAll(dir / "folder.mid" / "inside.txt"), "kept");
}

// The disk fills up after the header and part of the track have gone out:
// the space that the partial write took is given back.
TEST(WriteFaults, FullDiskGivesItsSpaceBack) {
    SmallFileSystem small("64k");
    if (!small.Mounted()) {
        if (small.Error() == EPERM) GTEST_SKIP() << "cannot mount a tmpfs here (no privilege)";
        FAIL() << "mounting a tmpfs failed: " << std::strerror(small.Error());
    }
    const MidiFile song = ReadBytes(BigSong(20000));
    fs::path target = small.path() / "song.mid";
    ASSERT_NE(WriteMidiFile(song, target.string()), "");
    EXPECT_TRUE(fs::is_empty(small.path())) << "nothing is left in the full folder";

    // A song that fits is written there afterwards.
    const MidiFile small_song = ReadBytes(BigSong(1000));
    ASSERT_EQ(WriteMidiFile(small_song, target.string()), "");
    MidiFile back;
    ResetMidiFile(back);
    ASSERT_EQ(ReadMidiFile(back, target.string()), "");
    EXPECT_TRUE(SameEvents(small_song, back, true));
}

// The file that was read, written over: the writer replaces it whole in one
// rename, so the song that was in memory is what the file holds afterwards.
TEST(WriteFaults, WritingOverTheFileThatWasReadIsSafe) {
    TempDir dir;
    fs::path path = dir / "song.mid";
    WriteAll(path, BigSong(500));
    MidiFile song;
    ResetMidiFile(song);
    ASSERT_EQ(ReadMidiFile(song, path.string()), "");
    const MidiFile copy = song;

    ASSERT_EQ(WriteMidiFile(song, path.string()), "");
    EXPECT_TRUE(SameSong(copy, song));
    MidiFile back;
    ResetMidiFile(back);
    ASSERT_EQ(ReadMidiFile(back, path.string()), "");
    EXPECT_TRUE(SameEvents(song, back, true));
    EXPECT_EQ(TemporaryFilesIn(dir.path()), std::vector<std::string>{});
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

    // A copy to another file is made, as a plain MIDI file.
    std::string output;
    EXPECT_EQ(RunCommand("'" + cli + "' copy '" + path.string() + "' '" +
                             (dir / "other.mid").string() + "' 2>&1",
                         &output),
              0)
        << output;
    EXPECT_EQ(ReadAll(dir / "other.mid"), kEarlier);
}

}  // namespace
}  // namespace verselane::test
