// The Linux calls behind platform.h.
#include <fcntl.h>
#include <malloc.h>
#include <stdio.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/platform.h"

namespace verselane::platform {

void PreferHugePages(const void* data, size_t bytes) {
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    const uintptr_t start = reinterpret_cast<uintptr_t>(data);
    const uintptr_t from = (start + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t to = (start + bytes) & ~(kHuge - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
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
