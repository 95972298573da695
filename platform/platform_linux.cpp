// The Linux calls behind platform.h.
#include <fcntl.h>
#include <malloc.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

namespace verselane::platform {

namespace {

constexpr uintptr_t kHuge = uintptr_t{2} << 20;

// The whole pages of `unit` bytes inside [data, data + bytes).
struct Pages {
    uintptr_t from, to;
    bool Empty() const { return to <= from; }
};
Pages PagesWithin(const void* data, size_t bytes, uintptr_t unit) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(data);
    return {(start + unit - 1) & ~(unit - 1), (start + bytes) & ~(unit - 1)};
}

uintptr_t SmallPage() {
    static const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    return page;
}

void Advise(uintptr_t from, uintptr_t to, int advice) {
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, advice);
}

}  // namespace

void PreferHugePages(const void* data, size_t bytes) {
    const Pages huge = PagesWithin(data, bytes, kHuge);
    Advise(huge.from, huge.to, MADV_HUGEPAGE);
}

void PrepareForFilling(void* data, size_t bytes) {
    const Pages small = PagesWithin(data, bytes, SmallPage());
    const Pages huge = PagesWithin(data, bytes, kHuge);
    // The small pages are backed at once (kernels before 5.14 refuse
    // MADV_POPULATE_WRITE: they then fault in as they are written). A huge
    // page costs one fault anyway, and the system clears it when it is first
    // written, so that it is still in the cache when the caller fills it:
    // backing it now would clear it long before.
    if (!huge.Empty() &&
        ::madvise(reinterpret_cast<void*>(huge.from), huge.to - huge.from, MADV_HUGEPAGE) == 0) {
        Advise(small.from, huge.from, MADV_POPULATE_WRITE);
        Advise(huge.to, small.to, MADV_POPULATE_WRITE);
    } else {
        Advise(small.from, small.to, MADV_POPULATE_WRITE);
    }
}

void ReleaseUnfilled(void* data, size_t bytes) {
    const Pages small = PagesWithin(data, bytes, SmallPage());
    Advise(small.from, small.to, MADV_DONTNEED);
}

bool AddressSpaceIsScarce() {
    static const bool scarce = [] {
        for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
            struct rlimit limit;
            if (::getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) return true;
        }
        // Mode 2 of the kernel's overcommit: every reservation is committed.
        std::FILE* mode = std::fopen("/proc/sys/vm/overcommit_memory", "r");
        if (mode == nullptr) return false;
        const int c = std::fgetc(mode);
        std::fclose(mode);
        return c == '2';
    }();
    return scarce;
}

void KeepFreedMemoryForReuse() {
    ::mallopt(M_MMAP_THRESHOLD, 64 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

int OpenUnnamedFile(const std::string& Folder) {
    return ::open(Folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}

int NameUnnamedFile(int Descriptor, const std::string& Name) {
    if (::linkat(Descriptor, "", AT_FDCWD, Name.c_str(), AT_EMPTY_PATH) == 0) return 0;
    if (errno == EEXIST) return EEXIST;
    // Without the capability that AT_EMPTY_PATH asks for, the file is
    // reached through its entry in /proc.
    const std::string self = "/proc/self/fd/" + std::to_string(Descriptor);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, Name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    return errno;
}

int RenameWithoutReplacing(const std::string& From, const std::string& To) {
    if (::renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0) return 0;
    return errno == EINVAL ? ENOSYS : errno;
}

}  // namespace verselane::platform
