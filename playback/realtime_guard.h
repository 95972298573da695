// What an audio callback must not do, counted: wait for a lock or allocate
// memory. An audio thread that waits or allocates can miss its deadline,
// and the listener hears a click.
//
// A thread marks the span of one callback with AudioCallbackScope; within it,
// every allocation through operator new (this file's translation unit
// replaces the global one, which only counts and then calls malloc) and
// every lock of a RealTimeCheckedMutex is noted. FluidSynth's own C code is
// not seen: the count is of our code.
#pragma once

#include <cstdint>
#include <mutex>

namespace verselane {

class AudioCallbackScope {
  public:
    AudioCallbackScope();
    ~AudioCallbackScope();
    AudioCallbackScope(const AudioCallbackScope&) = delete;
    AudioCallbackScope& operator=(const AudioCallbackScope&) = delete;

    // Whether this callback has so far allocated or taken a lock.
    bool Violated() const;

  private:
    int64_t allocations_at_start_;
    int64_t locks_at_start_;
};

// Whether the calling thread is inside an audio callback.
bool InAudioCallback();

// A mutex that notes being locked from inside an audio callback.
class RealTimeCheckedMutex {
  public:
    void lock();
    void unlock() { mutex_.unlock(); }
    bool try_lock();

  private:
    std::mutex mutex_;
};

}  // namespace verselane
