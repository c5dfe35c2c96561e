// The ALSA sequencer client against the machine's real sequencer. Where the system has none
// (no /dev/snd/seq, as in containers), only the refusal is checked and the rest says it skipped.

#include "engine/devices/AlsaSequencerInput.h"

#include <alsa/asoundlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <vector>

using quelmo::engine::AlsaSequencerInput;

namespace {

bool haveSequencer() { return std::filesystem::exists("/dev/snd/seq"); }

// What the client reported, waited on from the test's thread.
struct Reports {
    std::mutex mutex;
    std::condition_variable changed;
    std::set<AlsaSequencerInput::PortId> ports;
    std::vector<std::uint8_t> bytes;

    AlsaSequencerInput::Callbacks callbacks() {
        return {
            .portAdded = [this](AlsaSequencerInput::PortId id, const std::string&) { update([&] { ports.insert(id); }); },
            .portRemoved = [this](AlsaSequencerInput::PortId id) { update([&] { ports.erase(id); }); },
            .bytes = [this](AlsaSequencerInput::PortId, const std::uint8_t* data,
                            std::size_t size) { update([&] { bytes.insert(bytes.end(), data, data + size); }); },
        };
    }
    template <typename F>
    void update(F f) {
        std::lock_guard lock(mutex);
        f();
        changed.notify_all();
    }
    // Waits for a report; an event that never comes fails the test rather than hanging it.
    template <typename F>
    bool waitFor(F done) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5), done);
    }
};

// Another sequencer client with a readable port of the given type, sending notes from it.
struct SendingClient {
    snd_seq_t* seq = nullptr;
    int port = -1;
    AlsaSequencerInput::PortId id = 0;

    ~SendingClient() { close(); }
    bool open(const char* name, unsigned type) {
        if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0) {
            return false;
        }
        snd_seq_set_client_name(seq, name);
        port = snd_seq_create_simple_port(seq, "out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                          SND_SEQ_PORT_TYPE_MIDI_GENERIC | type);
        id = AlsaSequencerInput::portId(snd_seq_client_id(seq), port);
        return port >= 0;
    }
    bool noteOn(int channel, int note, int velocity) {
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        snd_seq_ev_set_source(&event, port);
        snd_seq_ev_set_subs(&event);
        snd_seq_ev_set_direct(&event);
        snd_seq_ev_set_noteon(&event, channel, note, velocity);
        return snd_seq_event_output_direct(seq, &event) >= 0;
    }
    void close() {
        if (seq) {
            snd_seq_close(seq);
            seq = nullptr;
        }
    }
};

} // namespace

TEST(AlsaSequencerInput, SaysWhyWithoutASequencer) {
    if (haveSequencer()) {
        GTEST_SKIP() << "this system has an ALSA sequencer; the refusal is for systems without one";
    }
    Reports reports;
    std::string error;
    EXPECT_EQ(AlsaSequencerInput::open(reports.callbacks(), &error), nullptr);
    EXPECT_NE(error.find("cannot open the ALSA sequencer"), std::string::npos) << error;
}

TEST(AlsaSequencerInput, FollowsHardwarePortsAndPassesTheirEvents) {
    if (!haveSequencer()) {
        GTEST_SKIP() << "SKIPPED: no ALSA sequencer here (/dev/snd/seq is missing), so the client is not run";
    }
    Reports reports;
    std::string error;
    auto input = AlsaSequencerInput::open(reports.callbacks(), &error);
    ASSERT_NE(input, nullptr) << error;

    // A stand-in controller: a client with a readable port that says it is hardware.
    SendingClient device;
    ASSERT_TRUE(device.open("Quelmo test pads", SND_SEQ_PORT_TYPE_HARDWARE));
    ASSERT_TRUE(reports.waitFor([&] { return reports.ports.count(device.id) == 1; })) << "the new port was not subscribed";
    ASSERT_TRUE(device.noteOn(9, 36, 100));
    ASSERT_TRUE(reports.waitFor([&] { return reports.bytes.size() >= 3; }));
    EXPECT_EQ(reports.bytes, (std::vector<std::uint8_t>{0x99, 36, 100}));

    // A software keyboard connected by hand (as aconnect does): its port says it is no hardware.
    SendingClient keyboard;
    ASSERT_TRUE(keyboard.open("Quelmo test keyboard", SND_SEQ_PORT_TYPE_APPLICATION));
    ASSERT_GE(snd_seq_connect_to(keyboard.seq, keyboard.port, input->clientId(), input->portNumber()), 0);
    ASSERT_TRUE(reports.waitFor([&] { return reports.ports.count(keyboard.id) == 1; })) << "the connection went unseen";
    ASSERT_TRUE(keyboard.noteOn(0, 40, 64));
    ASSERT_TRUE(reports.waitFor([&] { return reports.bytes.size() >= 6; }));
    EXPECT_EQ(reports.bytes, (std::vector<std::uint8_t>{0x99, 36, 100, 0x90, 40, 64}));
    ASSERT_GE(snd_seq_disconnect_to(keyboard.seq, keyboard.port, input->clientId(), input->portNumber()), 0);
    EXPECT_TRUE(reports.waitFor([&] { return reports.ports.count(keyboard.id) == 0; })) << "the disconnection went unseen";

    device.close(); // unplugged
    EXPECT_TRUE(reports.waitFor([&] { return reports.ports.count(device.id) == 0; })) << "the port's exit was missed";
    input.reset(); // stops and joins its thread
}
