// A hint for big buffers that are about to be filled: back them with huge
// pages where the system offers them, so that filling a buffer of a hundred
// megabytes costs dozens of page faults instead of tens of thousands.
#pragma once

#include <cstddef>

namespace verselane {

// Applies to the whole 2 MB pages inside [data, data + bytes); smaller
// buffers, and systems without the hint, are left as they are.
void PreferHugePages(const void* data, size_t bytes);

}  // namespace verselane
