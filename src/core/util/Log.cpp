#include "util/Log.h"

#include <cstdio>
#include <mutex>

namespace quelmo {
namespace {
std::mutex& logMutex() {
    static std::mutex m;
    return m;
}
ScopedLogCapture* activeCapture = nullptr; // guarded by logMutex()
} // namespace

void logLine(std::string_view line) {
    std::lock_guard lock(logMutex());
    if (activeCapture) {
        activeCapture->append(line);
        return;
    }
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(stderr);
}

ScopedLogCapture::ScopedLogCapture() {
    std::lock_guard lock(logMutex());
    previous_ = activeCapture;
    activeCapture = this;
}

ScopedLogCapture::~ScopedLogCapture() {
    std::lock_guard lock(logMutex());
    activeCapture = previous_;
}

void ScopedLogCapture::append(std::string_view line) { lines_.emplace_back(line); }

std::vector<std::string> ScopedLogCapture::lines() const {
    std::lock_guard lock(logMutex());
    return lines_;
}

} // namespace quelmo
