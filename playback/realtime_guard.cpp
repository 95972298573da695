#include "playback/realtime_guard.h"

#include <cstdlib>
#include <new>

namespace verselane {

namespace {

// Per thread, so that counting costs no synchronisation: whether the thread
// is in a callback, and what it did there.
thread_local bool t_in_callback = false;
thread_local int64_t t_allocations = 0;
thread_local int64_t t_locks = 0;

void NoteAllocation() noexcept {
    if (t_in_callback) ++t_allocations;
}

void* Allocate(std::size_t size) {
    NoteAllocation();
    if (size == 0) size = 1;
    while (true) {
        if (void* p = std::malloc(size)) return p;
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
}

void* AllocateAligned(std::size_t size, std::align_val_t align) {
    NoteAllocation();
    const auto alignment = static_cast<std::size_t>(align);
    if (size == 0) size = 1;
    while (true) {
        void* p = nullptr;
        if (::posix_memalign(&p, alignment < sizeof(void*) ? sizeof(void*) : alignment, size) == 0)
            return p;
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
}

}  // namespace

AudioCallbackScope::AudioCallbackScope()
    : allocations_at_start_(t_allocations), locks_at_start_(t_locks) {
    t_in_callback = true;
}

AudioCallbackScope::~AudioCallbackScope() {
    t_in_callback = false;
}

bool AudioCallbackScope::Violated() const {
    return t_allocations != allocations_at_start_ || t_locks != locks_at_start_;
}

bool InAudioCallback() {
    return t_in_callback;
}

void RealTimeCheckedMutex::lock() {
    if (t_in_callback) ++t_locks;
    mutex_.lock();
}

bool RealTimeCheckedMutex::try_lock() {
    if (t_in_callback) ++t_locks;
    return mutex_.try_lock();
}

}  // namespace verselane

// The replaceable global allocation functions: the same as the standard
// library's, but counted inside audio callbacks.
void* operator new(std::size_t size) {
    return verselane::Allocate(size);
}
void* operator new[](std::size_t size) {
    return verselane::Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return verselane::Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return verselane::Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t align) {
    return verselane::AllocateAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return verselane::AllocateAligned(size, align);
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    try {
        return verselane::AllocateAligned(size, align);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    try {
        return verselane::AllocateAligned(size, align);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}
