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
    snd_seq_t* device = nullptr;
    ASSERT_GE(snd_seq_open(&device, "default", SND_SEQ_OPEN_OUTPUT, 0), 0);
    snd_seq_set_client_name(device, "Quelmo test pads");
    const int port = snd_seq_create_simple_port(device, "pads", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                                SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE);
    ASSERT_GE(port, 0);
    const auto id = AlsaSequencerInput::portId(snd_seq_client_id(device), port);
    ASSERT_TRUE(reports.waitFor([&] { return reports.ports.count(id) == 1; })) << "the new port was not subscribed";

    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_seq_ev_set_source(&event, port);
    snd_seq_ev_set_subs(&event);
    snd_seq_ev_set_direct(&event);
    snd_seq_ev_set_noteon(&event, 9, 36, 100);
    ASSERT_GE(snd_seq_event_output_direct(device, &event), 0);
    ASSERT_TRUE(reports.waitFor([&] { return reports.bytes.size() >= 3; }));
    EXPECT_EQ(reports.bytes, (std::vector<std::uint8_t>{0x99, 36, 100}));

    // A software keyboard connected by hand (as aconnect does): its port says it is no hardware.
    snd_seq_t* keyboard = nullptr;
    ASSERT_GE(snd_seq_open(&keyboard, "default", SND_SEQ_OPEN_OUTPUT, 0), 0);
    snd_seq_set_client_name(keyboard, "Quelmo test keyboard");
    const int keys = snd_seq_create_simple_port(keyboard, "keys", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                                SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    ASSERT_GE(keys, 0);
    const auto keysId = AlsaSequencerInput::portId(snd_seq_client_id(keyboard), keys);
    ASSERT_GE(snd_seq_connect_to(keyboard, keys, input->clientId(), input->portNumber()), 0);
    ASSERT_TRUE(reports.waitFor([&] { return reports.ports.count(keysId) == 1; })) << "the connection went unseen";
    snd_seq_ev_clear(&event);
    snd_seq_ev_set_source(&event, keys);
    snd_seq_ev_set_subs(&event);
    snd_seq_ev_set_direct(&event);
    snd_seq_ev_set_noteon(&event, 0, 40, 64);
    ASSERT_GE(snd_seq_event_output_direct(keyboard, &event), 0);
    ASSERT_TRUE(reports.waitFor([&] { return reports.bytes.size() >= 6; }));
    EXPECT_EQ(reports.bytes, (std::vector<std::uint8_t>{0x99, 36, 100, 0x90, 40, 64}));
    ASSERT_GE(snd_seq_disconnect_to(keyboard, keys, input->clientId(), input->portNumber()), 0);
    EXPECT_TRUE(reports.waitFor([&] { return reports.ports.count(keysId) == 0; })) << "the disconnection went unseen";
    snd_seq_close(keyboard);

    snd_seq_close(device); // unplugged
    EXPECT_TRUE(reports.waitFor([&] { return reports.ports.count(id) == 0; })) << "the port's exit was missed";
    input.reset(); // stops and joins its thread
}
