#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>

struct _snd_seq;
struct snd_midi_event;

namespace quelmo::engine {

// An ALSA sequencer client with one input port, "Quelmo", subscribed to every readable hardware
// port: the ports there at start, and those that appear later (the sequencer's announce port tells).
// Ports other programs connect to Quelmo's port (aconnect DEVICE Quelmo, a software keyboard) are
// heard too, from their subscription until it ends.
// A thread of its own blocks in poll() and hands each event from a subscribed port on as the MIDI
// bytes it stands for (always with its status byte); what the bytes mean is for the consumer.
// The callbacks run on that thread, one at a time, and should return quickly.
class AlsaSequencerInput {
public:
    // A port's number: its client in the high byte pair, its port in the low byte.
    using PortId = std::uint32_t;
    static constexpr PortId portId(int client, int port) {
        return static_cast<PortId>(client) << 8 | static_cast<PortId>(port & 0xff);
    }

    struct Callbacks {
        // A hardware port was subscribed; name reads like "nanoPAD2 MIDI 1 (24:0)".
        std::function<void(PortId, const std::string& name)> portAdded;
        // A subscribed port went away (its device unplugged, its client gone).
        std::function<void(PortId)> portRemoved;
        // The bytes of one event from a subscribed port.
        std::function<void(PortId, const std::uint8_t* bytes, std::size_t size)> bytes;
    };

    // Opens the sequencer, subscribes and starts the thread. Null, with *error, when the system has
    // no sequencer or it refuses the client.
    static std::unique_ptr<AlsaSequencerInput> open(Callbacks callbacks, std::string* error = nullptr);
    // Stops the thread (no callback runs after it returns) and closes the client.
    ~AlsaSequencerInput();

    AlsaSequencerInput(const AlsaSequencerInput&) = delete;
    AlsaSequencerInput& operator=(const AlsaSequencerInput&) = delete;

    // The client and port other programs connect to (aconnect's "client:port").
    int clientId() const { return client_; }
    int portNumber() const { return port_; }

private:
    explicit AlsaSequencerInput(Callbacks callbacks);
    bool start(std::string* error);
    void subscribeExistingPorts();
    void considerPort(int client, int port);
    void connectedByHand(int client, int port);
    void run();
    void drainEvents();
    void forget(PortId id);

    Callbacks callbacks_;
    _snd_seq* seq_ = nullptr;
    snd_midi_event* decoder_ = nullptr;
    int client_ = -1;
    int port_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    // Touched on the thread only, once it runs.
    std::unordered_map<PortId, std::string> ports_;
};

} // namespace quelmo::engine
