#include "shared/Log.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace quelmo::shared {
namespace {
std::mutex& logMutex() {
    static std::mutex m;
    return m;
}
ScopedLogCapture* activeCapture = nullptr; // guarded by logMutex()
} // namespace

void logLine(const QString& line) {
    std::lock_guard lock(logMutex());
    if (activeCapture) {
        activeCapture->lines_.push_back(line);
        return;
    }
    const QByteArray bytes = line.toUtf8();
    std::fprintf(stderr, "%s\n", bytes.constData());
    std::fflush(stderr);
}

void logLine(std::string_view utf8Line) {
    logLine(QString::fromUtf8(utf8Line.data(), static_cast<qsizetype>(utf8Line.size())));
}

void logLine(const char* utf8Line) { logLine(QString::fromUtf8(utf8Line)); }

ScopedLogCapture::ScopedLogCapture() {
    std::lock_guard lock(logMutex());
    previous_ = activeCapture;
    activeCapture = this;
}

ScopedLogCapture::~ScopedLogCapture() {
    std::lock_guard lock(logMutex());
    activeCapture = previous_;
}

std::vector<QString> ScopedLogCapture::lines() const {
    std::lock_guard lock(logMutex());
    return lines_;
}

bool ScopedLogCapture::contains(const QString& text) const {
    const auto all = lines();
    return std::any_of(all.begin(), all.end(), [&](const QString& line) { return line.contains(text); });
}

} // namespace quelmo::shared
