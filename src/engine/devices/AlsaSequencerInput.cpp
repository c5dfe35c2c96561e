#include "devices/AlsaSequencerInput.h"

#include <alsa/asoundlib.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace quelmo::engine {
namespace {

constexpr unsigned readableCaps = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;

std::string failure(const char* what, int code) { return std::string(what) + ": " + snd_strerror(code); }

} // namespace

std::unique_ptr<AlsaSequencerInput> AlsaSequencerInput::open(Callbacks callbacks, std::string* error) {
    std::unique_ptr<AlsaSequencerInput> input(new AlsaSequencerInput(std::move(callbacks)));
    std::string reason;
    if (!input->start(&reason)) {
        if (error) {
            *error = reason;
        }
        return nullptr;
    }
    return input;
}

AlsaSequencerInput::AlsaSequencerInput(Callbacks callbacks) : callbacks_(std::move(callbacks)) {}

AlsaSequencerInput::~AlsaSequencerInput() {
    if (thread_.joinable()) {
        stopping_.store(true, std::memory_order_release);
        const char wake = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakePipe_[1], &wake, 1);
        thread_.join();
    }
    for (int fd : wakePipe_) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    if (decoder_) {
        snd_midi_event_free(decoder_);
    }
    if (seq_) {
        snd_seq_close(seq_);
    }
}

bool AlsaSequencerInput::start(std::string* error) {
    // ALSA keeps a global configuration cache; a missing /dev/snd/seq shows up right here.
    int rc = snd_seq_open(&seq_, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
    if (rc < 0) {
        seq_ = nullptr;
        *error = rc == -ENOENT ? "cannot open the ALSA sequencer: /dev/snd/seq is missing (the snd-seq kernel module "
                                 "provides it)"
                               : failure("cannot open the ALSA sequencer", rc);
        return false;
    }
    snd_seq_set_client_name(seq_, "Quelmo");
    client_ = snd_seq_client_id(seq_);
    port_ = snd_seq_create_simple_port(seq_, "Quelmo", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                       SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port_ < 0) {
        *error = failure("cannot create the Quelmo sequencer port", port_);
        return false;
    }
    // Port starts and exits of every client arrive from the system announce port.
    rc = snd_seq_connect_from(seq_, port_, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    if (rc < 0) {
        *error = failure("cannot follow the sequencer's port announcements", rc);
        return false;
    }
    rc = snd_midi_event_new(256, &decoder_);
    if (rc < 0) {
        decoder_ = nullptr;
        *error = failure("cannot make a MIDI event decoder", rc);
        return false;
    }
    snd_midi_event_no_status(decoder_, 1); // every message with its status byte
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = std::string("cannot make the MIDI thread's wake pipe: ") + std::strerror(errno);
        return false;
    }
    subscribeExistingPorts();
    thread_ = std::thread([this] { run(); });
    return true;
}

void AlsaSequencerInput::subscribeExistingPorts() {
    snd_seq_client_info_t* client;
    snd_seq_port_info_t* port;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq_, client) >= 0) {
        const int id = snd_seq_client_info_get_client(client);
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(seq_, port) >= 0) {
            considerPort(id, snd_seq_port_info_get_port(port));
        }
    }
}

void AlsaSequencerInput::considerPort(int client, int port) {
    if (client == client_ || client == SND_SEQ_CLIENT_SYSTEM || ports_.count(portId(client, port))) {
        return;
    }
    snd_seq_port_info_t* info;
    snd_seq_port_info_alloca(&info);
    if (snd_seq_get_any_port_info(seq_, client, port, info) < 0) {
        return;
    }
    const unsigned caps = snd_seq_port_info_get_capability(info);
    const unsigned type = snd_seq_port_info_get_type(info);
    // Devices' ports say they are hardware; software ports (Midi Through, other programs) are left
    // for the user to connect by hand.
    if ((caps & readableCaps) != readableCaps || (caps & SND_SEQ_PORT_CAP_NO_EXPORT) ||
        !(type & SND_SEQ_PORT_TYPE_HARDWARE)) {
        return;
    }
    if (snd_seq_connect_from(seq_, port_, client, port) < 0) {
        return;
    }
    std::string name = snd_seq_port_info_get_name(info);
    name += " (" + std::to_string(client) + ":" + std::to_string(port) + ")";
    const PortId id = portId(client, port);
    ports_.emplace(id, name);
    if (callbacks_.portAdded) {
        callbacks_.portAdded(id, name);
    }
}

// Another program connected a port to Quelmo's (aconnect, a software keyboard): heard from now on,
// whatever kind of port it is.
void AlsaSequencerInput::connectedByHand(int client, int port) {
    const PortId id = portId(client, port);
    if (ports_.count(id)) {
        return; // one Quelmo subscribed itself
    }
    std::string name = "port";
    snd_seq_port_info_t* info;
    snd_seq_port_info_alloca(&info);
    if (snd_seq_get_any_port_info(seq_, client, port, info) >= 0) {
        name = snd_seq_port_info_get_name(info);
    }
    name += " (" + std::to_string(client) + ":" + std::to_string(port) + ")";
    ports_.emplace(id, name);
    if (callbacks_.portAdded) {
        callbacks_.portAdded(id, name);
    }
}

void AlsaSequencerInput::forget(PortId id) {
    if (ports_.erase(id) && callbacks_.portRemoved) {
        callbacks_.portRemoved(id);
    }
}

void AlsaSequencerInput::run() {
    const int count = snd_seq_poll_descriptors_count(seq_, POLLIN);
    std::vector<pollfd> fds(static_cast<std::size_t>(count) + 1);
    fds[0] = {wakePipe_[0], POLLIN, 0};
    snd_seq_poll_descriptors(seq_, fds.data() + 1, static_cast<unsigned>(count), POLLIN);
    while (!stopping_.load(std::memory_order_acquire)) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[0].revents) {
            continue; // the loop's condition says why
        }
        drainEvents();
    }
}

void AlsaSequencerInput::drainEvents() {
    for (;;) {
        snd_seq_event_t* event = nullptr;
        const int rc = snd_seq_event_input(seq_, &event);
        if (rc == -ENOSPC) {
            continue; // the kernel's queue overran: what was lost is lost, the rest still comes
        }
        if (rc < 0 || !event) {
            return; // -EAGAIN: drained
        }
        const PortId source = portId(event->source.client, event->source.port);
        switch (event->type) {
        case SND_SEQ_EVENT_PORT_START:
            considerPort(event->data.addr.client, event->data.addr.port);
            break;
        case SND_SEQ_EVENT_PORT_EXIT:
            forget(portId(event->data.addr.client, event->data.addr.port));
            break;
        // Every subscription in the system is announced; those to Quelmo's port say what it hears.
        case SND_SEQ_EVENT_PORT_SUBSCRIBED:
            if (event->data.connect.dest.client == client_ && event->data.connect.dest.port == port_) {
                connectedByHand(event->data.connect.sender.client, event->data.connect.sender.port);
            }
            break;
        case SND_SEQ_EVENT_PORT_UNSUBSCRIBED:
            if (event->data.connect.dest.client == client_ && event->data.connect.dest.port == port_) {
                forget(portId(event->data.connect.sender.client, event->data.connect.sender.port));
            }
            break;
        case SND_SEQ_EVENT_CLIENT_EXIT:
            for (auto it = ports_.begin(); it != ports_.end();) {
                const PortId id = it->first;
                ++it;
                if (static_cast<int>(id >> 8) == event->data.addr.client) {
                    forget(id);
                }
            }
            break;
        case SND_SEQ_EVENT_SYSEX:
            // Long messages come in pieces; they pass as they are.
            if (ports_.count(source) && callbacks_.bytes) {
                callbacks_.bytes(source, static_cast<const std::uint8_t*>(event->data.ext.ptr), event->data.ext.len);
            }
            break;
        default:
            if (ports_.count(source) && callbacks_.bytes) {
                std::uint8_t bytes[16];
                snd_midi_event_reset_decode(decoder_);
                const long n = snd_midi_event_decode(decoder_, bytes, sizeof bytes, event);
                if (n > 0) {
                    callbacks_.bytes(source, bytes, static_cast<std::size_t>(n));
                }
            }
            break;
        }
    }
}

} // namespace quelmo::engine
