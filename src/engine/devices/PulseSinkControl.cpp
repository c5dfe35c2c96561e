#include "devices/PulseSinkControl.h"

#include "devices/PulseConnection.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace quelmo::engine {
namespace {

static_assert(PulseSinkInfo::noModule == PA_INVALID_INDEX);

// Backslash before every character of text found in special.
std::string escaped(const std::string& text, const char* special) {
    std::string result;
    for (const char c : text) {
        if (std::string_view(special).find(c) != std::string_view::npos) {
            result += '\\';
        }
        result += c;
    }
    return result;
}

} // namespace

// An operation's outcome, filled in by its callback on the loop's thread.
struct PulseSinkControl::Reply {
    explicit Reply(pa_threaded_mainloop* mainLoop) : loop(mainLoop) {}
    pa_threaded_mainloop* loop;
    bool done = false;
    bool success = false;
    std::uint32_t index = PA_INVALID_INDEX;
    std::string text;
    std::vector<PulseSinkInfo> sinks;

    void finish() {
        done = true;
        pa_threaded_mainloop_signal(loop, 0);
    }
};

namespace {
using Reply = PulseSinkControl::Reply;

void onSuccess(pa_context*, int success, void* userdata) {
    auto* reply = static_cast<Reply*>(userdata);
    reply->success = success != 0;
    reply->finish();
}

void onIndex(pa_context*, std::uint32_t index, void* userdata) {
    auto* reply = static_cast<Reply*>(userdata);
    reply->index = index;
    reply->success = index != PA_INVALID_INDEX;
    reply->finish();
}

void onServerInfo(pa_context*, const pa_server_info* info, void* userdata) {
    auto* reply = static_cast<Reply*>(userdata);
    reply->success = info != nullptr;
    if (info && info->default_sink_name) {
        reply->text = info->default_sink_name;
    }
    reply->finish();
}

void onSinkInfo(pa_context*, const pa_sink_info* info, int endOfList, void* userdata) {
    auto* reply = static_cast<Reply*>(userdata);
    if (endOfList != 0) {
        reply->success = endOfList > 0;
        reply->finish();
        return;
    }
    if (info) {
        reply->sinks.push_back({info->name ? info->name : "", info->description ? info->description : "",
                                info->owner_module, info->monitor_source_name ? info->monitor_source_name : ""});
    }
}

} // namespace

PulseSinkControl::PulseSinkControl(double timeoutSeconds) : timeoutSeconds_(timeoutSeconds) {}

PulseSinkControl::~PulseSinkControl() { close(); }

std::string PulseSinkControl::nullSinkArguments(const std::string& name, const std::string& description) {
    // Module arguments are values in '...' in which a backslash escapes the next character. The
    // server unescapes sink_name, but hands sink_properties over as written to the property-list
    // parser, which unescapes "..." itself: so the description is escaped once, for that parser, in
    // a form the outer quotes also pass over.
    const std::string properties = "device.description=\"" + escaped(description, "\"'\\") + "\"";
    return "sink_name='" + escaped(name, "'\\") + "' sink_properties='" + properties + "' rate=44100 channels=2";
}

std::optional<std::string> PulseSinkControl::open() {
    std::lock_guard lock(mutex_);
    connection_.reset();
    auto connection = std::make_unique<PulseConnection>();
    if (auto error = connection->open("production", timeoutSeconds_)) {
        return error;
    }
    connection_ = std::move(connection);
    return std::nullopt;
}

void PulseSinkControl::close() {
    std::lock_guard lock(mutex_);
    connection_.reset();
}

bool PulseSinkControl::isOpen() const {
    std::lock_guard lock(mutex_);
    if (!connection_) {
        return false;
    }
    // A connection whose server went away (restarted, say) is no longer open.
    pa_threaded_mainloop_lock(connection_->loop());
    const bool good = PA_CONTEXT_IS_GOOD(pa_context_get_state(connection_->context()));
    pa_threaded_mainloop_unlock(connection_->loop());
    return good;
}

namespace {
// With the loop locked: waits for operation's reply, cancelling it (so its callback never runs on a
// reply that is gone) when the wait fails.
std::optional<std::string> await(PulseConnection& connection, pa_operation* operation, Reply& reply,
                                 double timeoutSeconds) {
    if (!operation) {
        return connection.lastError();
    }
    auto error = connection.waitUntil([&reply] { return reply.done; }, timeoutSeconds);
    if (error) {
        pa_operation_cancel(operation);
    }
    pa_operation_unref(operation);
    if (!error && !reply.success) {
        error = connection.lastError();
    }
    return error;
}
} // namespace

std::optional<std::string> PulseSinkControl::call(const std::string& what,
                                                  const std::function<pa_operation*(pa_context*, void*)>& start,
                                                  const std::function<void(Reply&)>& take) {
    std::lock_guard lock(mutex_);
    if (!connection_) {
        return what + ": not connected to the sound server";
    }
    pa_threaded_mainloop_lock(connection_->loop());
    Reply reply(connection_->loop());
    auto error = await(*connection_, start(connection_->context(), &reply), reply, timeoutSeconds_);
    pa_threaded_mainloop_unlock(connection_->loop());
    if (error) {
        return what + ": " + *error;
    }
    if (take) {
        take(reply);
    }
    return std::nullopt;
}

std::optional<std::string> PulseSinkControl::sinks(std::vector<PulseSinkInfo>& result) {
    return call(
        "cannot list the sound server's outputs",
        [](pa_context* context, void* reply) { return pa_context_get_sink_info_list(context, onSinkInfo, reply); },
        [&result](Reply& reply) { result = std::move(reply.sinks); });
}

std::optional<std::string> PulseSinkControl::defaultSinkName(std::string& result) {
    return call(
        "cannot read the default output",
        [](pa_context* context, void* reply) { return pa_context_get_server_info(context, onServerInfo, reply); },
        [&result](Reply& reply) { result = reply.text; });
}

std::optional<std::string> PulseSinkControl::setDefaultSink(const std::string& name) {
    return call("cannot make " + name + " the default output", [&name](pa_context* context, void* reply) {
        return pa_context_set_default_sink(context, name.c_str(), onSuccess, reply);
    });
}

std::optional<std::string> PulseSinkControl::loadNullSink(const std::string& name, const std::string& description,
                                                          std::uint32_t& moduleIndex) {
    const std::string arguments = nullSinkArguments(name, description);
    return call(
        "cannot create the output " + name,
        [&arguments](pa_context* context, void* reply) {
            return pa_context_load_module(context, "module-null-sink", arguments.c_str(), onIndex, reply);
        },
        [&moduleIndex](Reply& reply) { moduleIndex = reply.index; });
}

std::optional<std::string> PulseSinkControl::unloadModule(std::uint32_t moduleIndex) {
    if (auto error = call("cannot remove sound server module " + std::to_string(moduleIndex),
                          [moduleIndex](pa_context* context, void* reply) {
                              return pa_context_unload_module(context, moduleIndex, onSuccess, reply);
                          })) {
        return error;
    }
    std::vector<PulseSinkInfo> list;
    for (int i = 0; i < 50 && !sinks(list); ++i) {
        if (std::none_of(list.begin(), list.end(),
                         [moduleIndex](const PulseSinkInfo& sink) { return sink.ownerModule == moduleIndex; })) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

} // namespace quelmo::engine
