#pragma once

#include <functional>
#include <optional>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_sample_spec;

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

    // The format of every stream Quelmo opens: 44.1 kHz stereo float, interleaved.
    static const pa_sample_spec& streamFormat();

    // Connects (as open() does), makes a stream named name in streamFormat(), hands it to connect
    // (which sets its callbacks and connects it for playback or recording, returning libpulse's
    // result), and waits until it is ready. On failure closes everything and returns the reason.
    std::optional<std::string> openStream(const std::string& streamRole, const char* name,
                                          const std::function<int(pa_stream*)>& connect, pa_stream*& stream,
                                          double timeoutSeconds = 5.0);

    // Stops the loop's thread (no callback runs after this returns), then frees stream (if any),
    // the context and the loop.
    void close(pa_stream*& stream);

    // With the loop locked (any thread but the loop's own): waits until done() holds, the context
    // fails or timeoutSeconds pass. Whatever makes done() true must signal the loop
    // (pa_threaded_mainloop_signal). Returns the reason when done() does not hold.
    std::optional<std::string> waitUntil(const std::function<bool()>& done, double timeoutSeconds);

    pa_threaded_mainloop* loop() const { return loop_; }
    pa_context* context() const { return context_; }
    std::string lastError() const;

private:
    std::optional<std::string> waitForStream(pa_stream* stream, double timeoutSeconds = 5.0);
    void armTimer(double seconds);
    void disarmTimer();

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    void* timer_ = nullptr;
    bool timedOut_ = false;
};

} // namespace quelmo::engine
