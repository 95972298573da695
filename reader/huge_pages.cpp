#include "reader/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace verselane {

void PreferHugePages(const void* data, size_t bytes) {
#if defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    const uintptr_t start = reinterpret_cast<uintptr_t>(data);
    const uintptr_t from = (start + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t to = (start + bytes) & ~(kHuge - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace verselane
