#pragma once

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace quelmo::engine {
class PulseSinkControl;
}

namespace quelmo::capture {

// The virtual output "Quelmo Capture" whose monitor the deck records for system audio: a null sink
// on the sound server (PulseAudio, or PipeWire's PulseAudio service), made on request with no
// download and no restart. Quelmo owns the sink it made, and one left behind by an earlier run that
// crashed (found by name and reused, never duplicated): release() unloads it and, if Quelmo made it
// the default output, puts the previous default back. The previous default is also kept in the
// settings until it is restored, so a run after a crash can still restore it.
//
// Every call to the server runs on a worker of its own, one at a time, and answers on the main
// thread. Main thread for everything here.
class CaptureSink : public QObject {
    Q_OBJECT
public:
    static const QString sinkName;    // "quelmo_capture"
    static const QString description; // "Quelmo Capture"

    struct Result {
        bool found = false;   // the sink exists (now)
        QString monitorSource; // the source to record
        bool isDefault = false; // it is the default output
        QString error;         // what the server said when a call failed; empty otherwise
    };
    using Done = std::function<void(Result)>;

    explicit CaptureSink(QObject* parent = nullptr);
    // Waits for the call under way, then releases the sink synchronously.
    ~CaptureSink() override;

    // Lists the server's sinks and looks for the capture sink.
    void probe(Done done);
    // Finds or makes the sink; with makeDefault it also becomes the default output.
    void create(bool makeDefault, Done done);
    // Restores the previous default output if Quelmo changed it, and unloads the sink if it is
    // Quelmo's. done (optional) runs afterwards.
    void release(std::function<void()> done = {});
    // The same, synchronously, after any call under way: for the last moments of the process.
    void releaseNow();
    // At start-up: should the default output still be the capture sink and an earlier run have
    // kept the default it replaced (a run that ended without giving it back), gives it back, so the
    // deck does not play into its own capture sink. Says so in the log.
    void restoreDefaultLeftByEarlierRun();

private:
    struct State;
    void run(std::function<void()> job);
    // Worker thread.
    static Result probeOn(State& state);
    static Result createOn(State& state, bool makeDefault);
    static void releaseOn(State& state);

    std::shared_ptr<State> state_;
    QThreadPool worker_;
};

} // namespace quelmo::capture
