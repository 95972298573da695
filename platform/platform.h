// The few calls that only Linux offers, each with a portable fallback.
//
// The Linux build (the default) uses the system's calls; a build configured
// with VERSELANE_PORTABLE=ON compiles platform_portable.cpp instead, whose
// fallbacks use only POSIX and the C++ library, so the core and the
// command-line program need nothing that only Linux has. Callers treat every
// call here as an optional improvement and keep a path that works without it.
#pragma once

#include <cstddef>
#include <string>

namespace verselane::platform {

// A hint for big buffers that are about to be filled: back the whole 2 MB
// pages inside [data, data + bytes) with huge pages, so that filling a buffer
// of a hundred megabytes costs dozens of page faults instead of tens of
// thousands. Smaller buffers, and systems without the hint, are left alone.
void PreferHugePages(const void* data, size_t bytes);

// For a buffer whose every byte is about to be written: PreferHugePages,
// and the pages that are not huge backed with memory in one call, instead
// of one page fault per 4 KB page as the bytes come (a fault costs far more
// than the clearing of its page). Only for memory that will be filled: what
// is backed counts as used. Systems without the calls leave the pages to
// fault in as they are written.
void PrepareForFilling(void* data, size_t bytes);

// Gives back the memory behind the whole pages inside [data, data + bytes)
// that PrepareForFilling made ready and that was not filled after all (the
// bytes read as zeros afterwards). Systems without the call keep it.
void ReleaseUnfilled(void* data, size_t bytes);

// Whether address space that is reserved but never touched still counts
// against a limit: a limit on the process's address space or data
// (ulimit -v, ulimit -d), or a system that commits memory strictly. Then
// buffers are taken at the size they need, not at an upper bound. The
// portable fallback says yes: some systems commit what is reserved.
bool AddressSpaceIsScarce();

// Keeps memory that a batch of songs takes and frees again and again in the
// process instead of handing it back to the system after each song.
void KeepFreedMemoryForReuse();

// Opens an unnamed temporary file for writing in `Folder` (mode 0666 before
// the umask): it has no name until NameUnnamedFile gives it one. Returns the
// descriptor, or -1 when the system or the file system has no such files
// (the caller then writes a named temporary file).
int OpenUnnamedFile(const std::string& Folder);

// Gives the unnamed file open as `Descriptor` the name `Name`. Returns 0, or
// the errno value (EEXIST when something has that name already).
int NameUnnamedFile(int Descriptor, const std::string& Name);

// Renames `From` to `To` only if nothing is at `To`, atomically. Returns 0,
// EEXIST when something is there, ENOSYS when the system cannot do it (the
// caller then links `From` as `To`, which never replaces either, and removes
// `From`), or another errno value.
int RenameWithoutReplacing(const std::string& From, const std::string& To);

}  // namespace verselane::platform
