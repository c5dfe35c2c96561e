#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quelmo {

// Writes one plain line to stderr (journald collects it under a desktop session). No levels, no
// prefixes added: callers pass the whole line, for example "Quelmo: engine start failed: ...".
// Any thread except the render thread.
void logLine(std::string_view line);

// While one of these lives, logLine() hands lines to it instead of stderr. For tests.
class ScopedLogCapture {
public:
    ScopedLogCapture();
    ~ScopedLogCapture();
    ScopedLogCapture(const ScopedLogCapture&) = delete;
    ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

    std::vector<std::string> lines() const;

private:
    friend void logLine(std::string_view line);
    void append(std::string_view line);
    ScopedLogCapture* previous_ = nullptr;
    std::vector<std::string> lines_;
};

} // namespace quelmo
