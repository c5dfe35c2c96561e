#pragma once

#include <atomic>
#include <cstddef>

// Counts what the render thread allocates and locks. RenderThreadCounters.cpp replaces the global
// allocation functions and the mutex entry point, so a test program that compiles it in counts
// every allocation and every lock (std::mutex, and C libraries' own) made on a thread while that
// thread's countingHere is set.
namespace quelmo::test {

extern thread_local bool countingHere;
extern std::atomic<std::size_t> allocationsWhileCounting;
extern std::atomic<std::size_t> locksWhileCounting;

// Counts on this thread while it lives.
struct CountingScope {
    CountingScope() { countingHere = true; }
    ~CountingScope() { countingHere = false; }
    CountingScope(const CountingScope&) = delete;
    CountingScope& operator=(const CountingScope&) = delete;
};

inline void resetCounters() {
    allocationsWhileCounting = 0;
    locksWhileCounting = 0;
}

} // namespace quelmo::test
