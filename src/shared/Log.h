#pragma once

#include <QString>

#include <string_view>
#include <vector>

namespace quelmo::shared {

// Writes one plain line to stderr (journald collects it under a desktop session). No levels, no
// prefixes added: callers pass the whole line, for example "Quelmo: engine start failed: ...".
// The services of this library report failures through these lines and their return values
// only. Any thread except the render thread (it takes a lock and writes to a file).
void logLine(const QString& line);
void logLine(std::string_view utf8Line);
void logLine(const char* utf8Line);

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

namespace quelmo {
// The deck, the engine's users and the application write the same lines as the shared services.
using shared::logLine;
using shared::ScopedLogCapture;
} // namespace quelmo
