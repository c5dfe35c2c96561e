#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct pa_context;
struct pa_operation;

namespace quelmo::engine {

class PulseConnection;

// One sink of the sound server, as PulseSinkControl lists it.
struct PulseSinkInfo {
    std::string name;
    std::string description;
    std::uint32_t ownerModule = noModule; // the module that made it (a null sink's), or noModule
    std::string monitorSourceName;

    static constexpr std::uint32_t noModule = UINT32_MAX; // PA_INVALID_INDEX
};

// Administers the sound server through the client API on a connection of its own: lists sinks,
// reads and sets the default sink, loads and unloads null sinks (the virtual device whose monitor
// Quelmo records for system audio).
//
// Threads: every call is synchronous, gives up after the timeout, and may be made from any thread
// except the render thread (calls from several threads take turns). Each returns nothing on
// success or the reason it failed; a lost connection fails every call until open() again, and
// isOpen() is false from the moment the server is gone.
class PulseSinkControl {
public:
    explicit PulseSinkControl(double timeoutSeconds = 3.0);
    ~PulseSinkControl();
    PulseSinkControl(const PulseSinkControl&) = delete;
    PulseSinkControl& operator=(const PulseSinkControl&) = delete;

    std::optional<std::string> open();
    void close();
    bool isOpen() const;

    std::optional<std::string> sinks(std::vector<PulseSinkInfo>& result);
    std::optional<std::string> defaultSinkName(std::string& result);
    std::optional<std::string> setDefaultSink(const std::string& name);
    // Loads module-null-sink with sink_name=name and the description shown to users (any text).
    // Loading a name that exists already makes a second sink ("name.2"): find the existing one
    // with sinks() first to reuse it.
    std::optional<std::string> loadNullSink(const std::string& name, const std::string& description,
                                            std::uint32_t& moduleIndex);
    // Returns once the module's sinks are gone (at most half a second after the server's answer):
    // the server answers an unload before it carries it out, and a request right after could
    // otherwise still see them.
    std::optional<std::string> unloadModule(std::uint32_t moduleIndex);

    // The module arguments loadNullSink() passes, quoted so that any name and description come out
    // as given.
    static std::string nullSinkArguments(const std::string& name, const std::string& description);

    struct Reply; // an operation's outcome, for the callbacks in the source file

private:
    // Runs one operation started by start (given the context and the reply to pass as userdata),
    // waits for it, and hands the reply to take on success. what prefixes the failure reason.
    std::optional<std::string> call(const std::string& what,
                                    const std::function<pa_operation*(pa_context*, void*)>& start,
                                    const std::function<void(Reply&)>& take = {});

    double timeoutSeconds_;
    mutable std::mutex mutex_;
    std::unique_ptr<PulseConnection> connection_;
};

} // namespace quelmo::engine
