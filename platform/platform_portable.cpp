// The portable fallbacks behind platform.h: hints are left out, unnamed
// temporary files and renames that never replace are reported as missing, so
// that callers take their POSIX paths.
#include <cerrno>

#include "platform/platform.h"

namespace verselane::platform {

void PreferHugePages(const void*, size_t) {}

void PrepareForFilling(void*, size_t) {}

void ReleaseUnfilled(void*, size_t) {}

bool AddressSpaceIsScarce() {
    return true;
}

void KeepFreedMemoryForReuse() {}

int OpenUnnamedFile(const std::string&) {
    errno = EOPNOTSUPP;
    return -1;
}

int NameUnnamedFile(int, const std::string&) {
    return ENOSYS;
}

int RenameWithoutReplacing(const std::string&, const std::string&) {
    return ENOSYS;
}

}  // namespace verselane::platform
