#pragma once

#include <atomic>
#include <cstddef>
#include <new>
#include <vector>

namespace quelmo::engine {

// Bounded single-producer single-consumer queue. Storage is allocated once, at construction;
// push and pop never allocate, lock or block, so one side may be the render thread.
//
// Memory ordering: the producer writes the slot, then publishes it with a release store of tail_;
// the consumer's acquire load of tail_ makes the slot's contents visible before it reads them.
// Symmetrically the consumer releases a slot with a release store of head_, which the producer
// acquires before overwriting it.
template <typename T>
class SpscQueue {
public:
    explicit SpscQueue(std::size_t minimumCapacity) {
        std::size_t capacity = 2;
        while (capacity < minimumCapacity + 1) {
            capacity *= 2;
        }
        slots_.resize(capacity);
        mask_ = capacity - 1;
    }

    SpscQueue(const SpscQueue&) = delete;
    SpscQueue& operator=(const SpscQueue&) = delete;

    // Producer thread. False when full.
    bool push(const T& value) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        const std::size_t next = (tail + 1) & mask_;
        if (next == head_.load(std::memory_order_acquire)) {
            return false;
        }
        slots_[tail] = value;
        tail_.store(next, std::memory_order_release);
        return true;
    }

    // Consumer thread. False when empty.
    bool pop(T& value) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire)) {
            return false;
        }
        value = slots_[head];
        head_.store((head + 1) & mask_, std::memory_order_release);
        return true;
    }

    std::size_t capacity() const { return mask_; }

private:
    std::vector<T> slots_;
    std::size_t mask_ = 0;
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};

} // namespace quelmo::engine
