#pragma once

#include "slap/OutputLevelHistory.h"
#include "slap/SlapAnalysis.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <string>

namespace quelmo::engine {
class PulseInputSource;
}

namespace quelmo {

// What the lid-tap detector tells its owner: a state message, or a tap.
struct QuelmoChassisSlapEvent {
    enum class Kind { status, fired };
    Kind kind = Kind::status;
    QString text; // the status message, or the label of what fired ("Mic · lid tap / slap")

    static QuelmoChassisSlapEvent status(const QString& text) { return {Kind::status, text}; }
    static QuelmoChassisSlapEvent fired(const QString& label) { return {Kind::fired, label}; }
};

// Listens to the default sound-server source in 512-frame blocks of its first channel on a capture
// stream of its own (not the deck's engine) and reports a tap on the lid near the microphone. Every
// event reaches onEvent on the main thread. Linux asks no permission for the microphone: opening the
// capture stream is the answer, "denied" when the server refuses access.
class QuelmoChassisSlapDetector : public QObject {
    Q_OBJECT
public:
    using OnEvent = std::function<void(const QuelmoChassisSlapEvent&)>;
    static constexpr std::size_t blockFrames = 512;

    struct Options {
        // Empty: the default source.
        std::string sourceName;
        // Monotonic seconds, shared with whoever records deckOutput.
        std::function<double()> now;
        // The deck's recent output, so its own sound through the microphone is not a tap. Optional.
        std::shared_ptr<const slap::OutputLevelHistory> deckOutput;
        // Whether an output's monitor may serve as the microphone: only when the user chose it.
        bool monitorsAllowed = false;
    };

    explicit QuelmoChassisSlapDetector(OnEvent onEvent);
    QuelmoChassisSlapDetector(OnEvent onEvent, Options options);
    ~QuelmoChassisSlapDetector() override;

    // Begins listening; safe to call again (it stops first). Posts "Starting…", then one of the
    // listening, denied, no-input or engine-error statuses once the stream has opened or failed.
    void start();
    // Closes the stream; a start still opening is abandoned and its late answer does nothing.
    void stop();

    // Analyses one block of the first channel (capture thread; tests call it directly). Posts a
    // tap when it is one.
    void handleMicBuffer(const float* samples, std::size_t frames);

    // The status text a failed stream opening reads as.
    static QString statusForOpenFailure(const std::string& reason);

private:
    // One start's listening state, shared with its capture stream's callback, which may outlive
    // the start (a stream still opening when it is switched off) or the detector itself.
    struct Listener;
    void deliver(const QuelmoChassisSlapEvent& event);
    static void post(const QPointer<QuelmoChassisSlapDetector>& owner, QuelmoChassisSlapEvent event);
    void opened(std::uint64_t attempt, std::shared_ptr<engine::PulseInputSource> source, std::string error);

    OnEvent onEvent_;
    Options options_;
    std::shared_ptr<engine::PulseInputSource> micEngine_;
    std::shared_ptr<Listener> listener_;
    std::uint64_t attempt_ = 0; // start() and stop() each begin a new one
};

} // namespace quelmo
