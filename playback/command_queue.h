// A fixed-size queue between exactly one producing and one consuming
// thread, without locks and without allocating after construction: how the
// controlling thread hands commands to the audio callback.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <type_traits>

namespace verselane {

template <typename T, size_t Capacity>
class SpscQueue {
    static_assert(std::is_trivially_copyable_v<T>, "items are copied into preallocated slots");

  public:
    // Producer only. False when the queue is full (nothing is added).
    bool Push(const T& item) {
        const size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) == Capacity) return false;
        slots_[tail % Capacity] = item;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Consumer only. False when the queue is empty.
    bool Pop(T& item) {
        const size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire)) return false;
        item = slots_[head % Capacity];
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

  private:
    std::array<T, Capacity> slots_{};
    alignas(64) std::atomic<size_t> head_{0};  // next to pop
    alignas(64) std::atomic<size_t> tail_{0};  // next to push
};

}  // namespace verselane
