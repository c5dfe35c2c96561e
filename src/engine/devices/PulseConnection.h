#pragma once

#include <optional>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace quelmo::engine {

// A threaded PulseAudio main loop and a context connected to the sound server (PipeWire serves the
// same protocol). The loop's thread runs the stream callbacks. Main thread for everything here.
class PulseConnection {
public:
    PulseConnection() = default;
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Connects without spawning a server. Gives up after timeoutSeconds. Returns the reason on
    // failure (for example "Connection refused"), leaving nothing open.
    std::optional<std::string> open(const std::string& streamRole, double timeoutSeconds = 5.0);

    // Waits, with the loop locked, until stream is ready or has failed. Returns the reason on
    // failure or time-out.
    std::optional<std::string> waitForStream(pa_stream* stream, double timeoutSeconds = 5.0);

    // Stops the loop's thread (no callback runs after this returns), then frees stream (if any),
    // the context and the loop.
    void close(pa_stream*& stream);

    pa_threaded_mainloop* loop() const { return loop_; }
    pa_context* context() const { return context_; }
    std::string lastError() const;

private:
    void armTimer(double seconds);
    void disarmTimer();

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    void* timer_ = nullptr;
    bool timedOut_ = false;
};

} // namespace quelmo::engine
