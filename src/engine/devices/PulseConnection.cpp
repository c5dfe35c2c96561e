#include "devices/PulseConnection.h"

#include <pulse/pulseaudio.h>

namespace quelmo::engine {
namespace {

void signalLoop(pa_context*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); }

void signalLoopFromStream(pa_stream*, void* loop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

struct TimerTarget {
    pa_threaded_mainloop* loop;
    bool* timedOut;
};

} // namespace

PulseConnection::~PulseConnection() {
    pa_stream* none = nullptr;
    close(none);
}

std::string PulseConnection::lastError() const {
    return context_ ? pa_strerror(pa_context_errno(context_)) : "no sound server connection";
}

void PulseConnection::armTimer(double seconds) {
    timedOut_ = false;
    auto* target = new TimerTarget{loop_, &timedOut_};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
    timeval when{};
    pa_gettimeofday(&when);
    pa_timeval_add(&when, static_cast<pa_usec_t>(seconds * 1e6));
    timer_ = api->time_new(
        api, &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* userdata) {
            auto* t = static_cast<TimerTarget*>(userdata);
            *t->timedOut = true;
            pa_threaded_mainloop_signal(t->loop, 0);
        },
        target);
    api->time_set_destroy(static_cast<pa_time_event*>(timer_),
                          [](pa_mainloop_api*, pa_time_event*, void* userdata) {
                              delete static_cast<TimerTarget*>(userdata);
                          });
}

void PulseConnection::disarmTimer() {
    if (timer_) {
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
        api->time_free(static_cast<pa_time_event*>(timer_));
        timer_ = nullptr;
    }
}

std::optional<std::string> PulseConnection::open(const std::string& streamRole, double timeoutSeconds) {
    loop_ = pa_threaded_mainloop_new();
    if (!loop_) {
        return "cannot create the sound server main loop";
    }
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Quelmo");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "quelmo");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, "quelmo");
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, streamRole.c_str());
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "Quelmo", properties);
    pa_proplist_free(properties);
    if (!context_) {
        pa_stream* none = nullptr;
        close(none);
        return "cannot create a sound server context";
    }
    pa_context_set_state_callback(context_, signalLoop, loop_);

    std::optional<std::string> error;
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        error = lastError();
    } else if (pa_threaded_mainloop_start(loop_) < 0) {
        error = "cannot start the sound server main loop";
    } else {
        pa_threaded_mainloop_lock(loop_);
        armTimer(timeoutSeconds);
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context_);
            if (state == PA_CONTEXT_READY) {
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(state)) {
                error = lastError();
                break;
            }
            if (timedOut_) {
                error = "timed out connecting to the sound server";
                break;
            }
            pa_threaded_mainloop_wait(loop_);
        }
        disarmTimer();
        pa_threaded_mainloop_unlock(loop_);
    }
    if (error) {
        pa_stream* none = nullptr;
        close(none);
    }
    return error;
}

std::optional<std::string> PulseConnection::waitForStream(pa_stream* stream, double timeoutSeconds) {
    std::optional<std::string> error;
    pa_stream_set_state_callback(stream, signalLoopFromStream, loop_);
    armTimer(timeoutSeconds);
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_READY) {
            break;
        }
        if (!PA_STREAM_IS_GOOD(state)) {
            error = lastError();
            break;
        }
        if (timedOut_) {
            error = "timed out opening a sound server stream";
            break;
        }
        pa_threaded_mainloop_wait(loop_);
    }
    disarmTimer();
    return error;
}

std::optional<std::string> PulseConnection::waitUntil(const std::function<bool()>& done, double timeoutSeconds) {
    if (!context_) {
        return "no sound server connection";
    }
    std::optional<std::string> error;
    armTimer(timeoutSeconds);
    while (!done()) {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
            error = "lost the sound server connection: " + lastError();
            break;
        }
        if (timedOut_) {
            error = "the sound server did not answer in time";
            break;
        }
        pa_threaded_mainloop_wait(loop_);
    }
    disarmTimer();
    return error;
}

const pa_sample_spec& PulseConnection::streamFormat() {
    static constexpr pa_sample_spec format{PA_SAMPLE_FLOAT32LE, 44100, 2};
    return format;
}

std::optional<std::string> PulseConnection::openStream(const std::string& streamRole, const char* name,
                                                       const std::function<int(pa_stream*)>& connect,
                                                       pa_stream*& stream, double timeoutSeconds) {
    if (auto error = open(streamRole, timeoutSeconds)) {
        return error;
    }
    pa_threaded_mainloop_lock(loop_);
    stream = pa_stream_new(context_, name, &streamFormat(), nullptr);
    std::optional<std::string> error;
    if (!stream) {
        error = lastError();
    } else if (connect(stream) < 0) {
        error = lastError();
    } else {
        error = waitForStream(stream, timeoutSeconds);
    }
    pa_threaded_mainloop_unlock(loop_);
    if (error) {
        close(stream);
    }
    return error;
}

void PulseConnection::close(pa_stream*& stream) {
    if (loop_) {
        pa_threaded_mainloop_stop(loop_);
    }
    if (stream) {
        pa_stream_set_write_callback(stream, nullptr, nullptr);
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_set_state_callback(stream, nullptr, nullptr); // disconnecting is no loss to report
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        stream = nullptr;
    }
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    if (loop_) {
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
    }
}

} // namespace quelmo::engine
