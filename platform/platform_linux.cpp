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

// Asks for huge pages behind the whole 2 MB pages in [from, to); whether the
// system took the advice.
bool AdviseHugePages(uintptr_t from, uintptr_t to) {
    return to > from && ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE) == 0;
}

// Backs the pages in [from, to) with memory, in one call. Kernels before 5.14
// refuse the advice (EINVAL): the pages then fault in as they are written.
void Populate(uintptr_t from, uintptr_t to) {
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
}

}  // namespace

void PreferHugePages(const void* data, size_t bytes) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(data);
    AdviseHugePages((start + kHuge - 1) & ~(kHuge - 1), (start + bytes) & ~(kHuge - 1));
}

void PrepareForFilling(void* data, size_t bytes) {
    const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    const uintptr_t start = reinterpret_cast<uintptr_t>(data);
    const uintptr_t from = (start + page - 1) & ~(page - 1);
    const uintptr_t to = (start + bytes) & ~(page - 1);
    const uintptr_t huge_from = (start + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t huge_to = (start + bytes) & ~(kHuge - 1);
    // The small pages are backed at once. A huge page costs one fault
    // anyway, and the system clears it when it is first written, so that it
    // is still in the cache when the caller fills it: backing it now would
    // clear it long before.
    if (AdviseHugePages(huge_from, huge_to)) {
        Populate(from, huge_from);
        Populate(huge_to, to);
    } else {
        Populate(from, to);
    }
}

void ReleaseUnfilled(void* data, size_t bytes) {
    const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    const uintptr_t start = reinterpret_cast<uintptr_t>(data);
    const uintptr_t from = (start + page - 1) & ~(page - 1);
    const uintptr_t to = (start + bytes) & ~(page - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
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
