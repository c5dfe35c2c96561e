#include "support/RenderThreadCounters.h"

#include <dlfcn.h>
#include <pthread.h>

#include <cstdlib>
#include <new>

namespace quelmo::test {

thread_local bool countingHere = false;
std::atomic<std::size_t> allocationsWhileCounting{0};
std::atomic<std::size_t> locksWhileCounting{0};

namespace {
void* allocate(std::size_t size) {
    if (countingHere) {
        allocationsWhileCounting.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(size ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
} // namespace

} // namespace quelmo::test

// Every mutex the render thread could take (std::mutex, and C libraries' own) goes through here.
extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
    using Lock = int (*)(pthread_mutex_t*);
    static const auto real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (quelmo::test::countingHere) {
        quelmo::test::locksWhileCounting.fetch_add(1, std::memory_order_relaxed);
    }
    return real(mutex);
}

void* operator new(std::size_t size) { return quelmo::test::allocate(size); }
void* operator new[](std::size_t size) { return quelmo::test::allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return quelmo::test::allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
