#include "writer/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <dirent.h>
#include <sys/types.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/platform.h"
#include "writer/write_failure.h"

namespace verselane {

namespace {

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Named temporary files that a SIGINT or SIGTERM removes before the program
// ends. Plain arrays and atomics: the handler may only do what is safe there.
constexpr int kTempSlots = 64;
char temp_names[kTempSlots][PATH_MAX];
std::atomic<bool> temp_used[kTempSlots];

void RemoveTempFiles(int sig) {
    for (int i = 0; i < kTempSlots; ++i) {
        if (temp_used[i].load()) ::unlink(temp_names[i]);
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

int RegisterTemp(const std::string& name) {
    static std::atomic<bool> installed{false};
    if (!installed.exchange(true)) {
        for (int sig : {SIGINT, SIGTERM}) {
            struct sigaction old {};
            // A program that handles these signals itself keeps its handler.
            if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) {
                struct sigaction act {};
                act.sa_handler = RemoveTempFiles;
                ::sigaction(sig, &act, nullptr);
            }
        }
    }
    if (name.size() >= PATH_MAX) return -1;
    for (int i = 0; i < kTempSlots; ++i) {
        bool expected = false;
        if (temp_used[i].load() || !temp_used[i].compare_exchange_strong(expected, true)) continue;
        temp_used[i].store(false);  // hidden from the handler while the name changes
        std::memcpy(temp_names[i], name.c_str(), name.size() + 1);
        temp_used[i].store(true);
        return i;
    }
    return -1;
}

void UnregisterTemp(const std::string& name) {
    for (int i = 0; i < kTempSlots; ++i) {
        if (temp_used[i].load() && name == temp_names[i]) temp_used[i].store(false);
    }
}

std::string TempName(const std::string& dir) {
    static std::atomic<unsigned> counter{0};
    return dir + "/.verselane-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
           ".tmp";
}

// The process id in a name of the form ".verselane-PID-N.tmp", or 0.
pid_t TemporaryFileOwner(std::string_view name) {
    constexpr std::string_view kHead = ".verselane-", kTail = ".tmp";
    if (!name.starts_with(kHead) || !name.ends_with(kTail)) return 0;
    name = name.substr(kHead.size(), name.size() - kHead.size() - kTail.size());
    const size_t dash = name.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == name.size()) return 0;
    const std::string_view pid = name.substr(0, dash), n = name.substr(dash + 1);
    auto digits = [](std::string_view text) {
        return text.size() <= 10 && text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (!digits(pid) || !digits(n)) return 0;
    const long long value = std::stoll(std::string(pid));
    return value > 0 && value <= INT32_MAX ? static_cast<pid_t>(value) : 0;
}

}  // namespace

void (*BeforeReplaceRename)() = nullptr;

void RemoveStaleTemporaryFiles(const std::string& Folder) {
    static std::mutex mutex;
    static std::set<std::string> looked_at;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!looked_at.insert(Folder).second) return;
    }
    DIR* dir = ::opendir(Folder.c_str());
    if (!dir) return;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t owner = TemporaryFileOwner(entry->d_name);
        if (owner == 0 || owner == self) continue;
        // A process that runs (or that we may not signal) keeps its file.
        if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

OutputFile::OutputFile(const std::string& Path, ExistingFile Existing)
    : path_(Path), target_(Path), existing_(Existing) {
    if (Path.empty()) Refuse(WriteFailureKind::NoFileName);
    if (Path == "-") {
        fd_ = STDOUT_FILENO;
        in_place_ = true;
        return;
    }
    struct stat st;
    if (::stat(Path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) Fail(EISDIR);
        // Devices and pipes (also through links such as /dev/stdout) are
        // written as they are.
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
            fd_ = ::open(Path.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd_ < 0) Fail(errno);
            in_place_ = true;
            return;
        }
        if (!S_ISREG(st.st_mode)) Refuse(WriteFailureKind::NotWritable);
        if (Existing == ExistingFile::Keep) Refuse(WriteFailureKind::Exists);
        // Through a link, the file that it names is replaced.
        if (char* real = ::realpath(Path.c_str(), nullptr)) {
            target_ = real;
            std::free(real);
        }
        replaced_ = st;
    } else if (errno != ENOENT) {
        Fail(errno);
    } else {
        // Nothing there, or a link to nothing: the file that it names is made.
        for (int hops = 0; ::lstat(target_.c_str(), &st) == 0 && S_ISLNK(st.st_mode); ++hops) {
            char link[PATH_MAX];
            const ssize_t n = ::readlink(target_.c_str(), link, sizeof link - 1);
            if (n < 0) Fail(errno);
            if (hops == 40) Fail(ELOOP);
            const std::string next(link, static_cast<size_t>(n));
            target_ = next.starts_with('/') ? next : DirectoryOf(target_) + "/" + next;
        }
    }
    const std::string dir = DirectoryOf(target_);
    RemoveStaleTemporaryFiles(dir);
    fd_ = platform::OpenUnnamedFile(dir);
    unnamed_ = fd_ >= 0;
    for (int attempt = 0; fd_ < 0; ++attempt) {
        temp_ = TempName(dir);
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && (errno != EEXIST || attempt > 100)) {
            temp_.clear();
            Fail(errno);
        }
    }
    if (!temp_.empty()) RegisterTemp(temp_);
    if (replaced_) {
        if (::fchown(fd_, replaced_->st_uid, replaced_->st_gid) != 0) {
            // Only root may give a file away; the new file then stays ours.
        }
        ::fchmod(fd_, replaced_->st_mode & 07777);
    }
}

OutputFile::~OutputFile() {
    Discard();
}

void OutputFile::Fail(int err) {
    Discard();
    throw WriteError(SystemWriteFailure(path_, err));
}

void OutputFile::Refuse(WriteFailureKind kind) {
    Discard();
    WriteFailure failure;
    failure.Kind = kind;
    failure.Path = path_;
    throw WriteError(std::move(failure));
}

void OutputFile::Discard() {
    if (fd_ >= 0 && fd_ != STDOUT_FILENO) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        UnregisterTemp(temp_);
        temp_.clear();
    }
}

void OutputFile::Write(std::string_view Bytes) {
    size_t done = 0;
    while (done < Bytes.size()) {
        ssize_t n = ::write(fd_, Bytes.data() + done, Bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
        }
        done += static_cast<size_t>(n);
    }
}

// Gives the unnamed file the name `name`; EEXIST when something is there.
void OutputFile::LinkAs(const std::string& name) {
    const int err = platform::NameUnnamedFile(fd_, name);
    if (err != 0 && err != EEXIST) Fail(err);
    errno = err;
}

void OutputFile::Commit() {
    if (in_place_) {
        if (fd_ != STDOUT_FILENO && ::close(fd_) != 0) Fail(errno);
        fd_ = -1;
        return;
    }
    if (::fsync(fd_) != 0) Fail(errno);
    if (unnamed_) {
        if (existing_ == ExistingFile::Keep) {
            errno = 0;
            LinkAs(target_);
            if (errno == EEXIST) Refuse(WriteFailureKind::Exists);
        } else {
            const std::string dir = DirectoryOf(target_);
            for (int attempt = 0; temp_.empty(); ++attempt) {
                temp_ = TempName(dir);
                errno = 0;
                LinkAs(temp_);
                if (errno == EEXIST) {
                    temp_.clear();
                    if (attempt > 100) Fail(EEXIST);
                }
            }
            // Named now, so a SIGINT or SIGTERM before the rename removes it.
            RegisterTemp(temp_);
        }
    }
    if (::close(fd_) != 0) {
        fd_ = -1;
        Fail(errno);
    }
    fd_ = -1;
    if (!temp_.empty()) {
        int moved;
        if (existing_ == ExistingFile::Keep) {
            // Put in place only if nothing is there: atomic, so a file that
            // appears meanwhile is not replaced either.
            const int err = platform::RenameWithoutReplacing(temp_, target_);
            moved = err == 0 ? 0 : -1;
            errno = err;
            if (err == ENOSYS) moved = ::link(temp_.c_str(), target_.c_str());
        } else {
            if (BeforeReplaceRename) BeforeReplaceRename();
            moved = ::rename(temp_.c_str(), target_.c_str());
        }
        if (moved != 0) {
            const int err = errno;
            if (err == EEXIST) Refuse(WriteFailureKind::Exists);
            Fail(err);
        }
        if (existing_ == ExistingFile::Keep) ::unlink(temp_.c_str());  // after a link
        UnregisterTemp(temp_);
        temp_.clear();
    }
    // The new name reaches the disk with the folder's entry.
    int dir = ::open(DirectoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace verselane
