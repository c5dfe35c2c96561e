#pragma once

#include <QString>

#include <vector>

namespace quelmo::shared {

// Writes one plain line to stderr (journald collects it under a desktop session). The services of
// this library report failures through these lines and their return values only. Any thread.
void logLine(const QString& line);

// While one of these lives, logLine() hands lines to it instead of stderr. For tests.
class ScopedLogCapture {
public:
    ScopedLogCapture();
    ~ScopedLogCapture();
    ScopedLogCapture(const ScopedLogCapture&) = delete;
    ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

    std::vector<QString> lines() const;
    // Whether some line contains text.
    bool contains(const QString& text) const;

private:
    friend void logLine(const QString& line);
    ScopedLogCapture* previous_ = nullptr;
    std::vector<QString> lines_;
};

} // namespace quelmo::shared
