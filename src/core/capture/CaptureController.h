#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QTimer;

namespace quelmo {

class MediaClock;

namespace engine {
class AudioEngine;
class InputNode;
class MixerNode;
class PlayerNode;
} // namespace engine

namespace capture {
class CaptureSink;
} // namespace capture

// SYSTEM AUDIO as the views see it (deck.capture): other applications' sound, sent to the virtual
// output "Quelmo Capture", plays live through the import chain and the rack. Starting looks for
// that output (raising the set-up alert when it is missing); installBlackHole makes it (no
// download, no restart), with makeDefaultOutput also as the default output while Quelmo's own
// sound stays on its device, and starts capture. Stopping removes the output Quelmo made and
// restores the default.
//
// Main thread only. CaptureSink talks to the sound server on its own worker and answers here;
// the input node captures on the sound server's thread and hands frames to the render thread.
class CaptureController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isCapturingSystemAudio READ isCapturingSystemAudio WRITE setIsCapturingSystemAudio NOTIFY isCapturingSystemAudioChanged)
    Q_PROPERTY(double systemAudioVolume READ systemAudioVolume WRITE setSystemAudioVolume NOTIFY systemAudioVolumeChanged)
    Q_PROPERTY(bool showBlackHoleInstallAlert READ showBlackHoleInstallAlert WRITE setShowBlackHoleInstallAlert NOTIFY showBlackHoleInstallAlertChanged)
    Q_PROPERTY(QString blackHoleInstallStatus READ blackHoleInstallStatus WRITE setBlackHoleInstallStatus NOTIFY blackHoleInstallStatusChanged)

public:
    struct Dependencies {
        // The engine whose input node captures and whose output is pinned while routing.
        engine::AudioEngine* engine = nullptr;
        // The head of the import chain: captured sound takes the import player's place at the
        // import input mixer, and gives it back when capture ends.
        std::shared_ptr<engine::PlayerNode> importPlayer;
        std::shared_ptr<engine::MixerNode> importInputMixer;
        std::shared_ptr<MediaClock> clock;  // times the wait for the first captured sound
        std::function<void()> prepareAudio; // the engine runs before capture starts
    };

    explicit CaptureController(Dependencies dependencies, QObject* parent = nullptr);
    // Quitting while capturing: the capture stops here and the sink goes with the controller.
    ~CaptureController() override;

    Q_INVOKABLE void toggleSystemAudioCapture();
    Q_INVOKABLE void stopSystemAudioCapture();
    // Looks for "Quelmo Capture" and raises the set-up alert when it is missing.
    Q_INVOKABLE void scanForInputDevices();
    Q_INVOKABLE void checkForBlackHole();
    Q_INVOKABLE void installBlackHole(bool makeDefaultOutput = true);

    // The deck's shutdown: capture stops, the sink is given back and the default output restored
    // now, not on a worker: after a shutdown the process may end without another event-loop turn.
    void shutdown();
    // The sound server came back (the engine has already tried to reopen the capture): a capture
    // that did not reopen ends, and the import player takes its place again.
    void soundServerBack(const std::string& reopenError);

    bool isCapturingSystemAudio() const { return capturing_; }
    void setIsCapturingSystemAudio(bool value);
    double systemAudioVolume() const { return volume_; }
    void setSystemAudioVolume(double value);
    bool showBlackHoleInstallAlert() const { return showInstallAlert_; }
    void setShowBlackHoleInstallAlert(bool value);
    QString blackHoleInstallStatus() const { return installStatus_; }
    void setBlackHoleInstallStatus(const QString& value);

signals:
    void isCapturingSystemAudioChanged();
    void systemAudioVolumeChanged();
    void showBlackHoleInstallAlertChanged();
    void blackHoleInstallStatusChanged();

private:
    void checkAndStartCapture();
    void startCapture(const QString& monitorSource, bool isDefaultOutput);
    void abandonRouting();
    void giveTheImportChainBack();

    Dependencies dependencies_;
    bool capturing_ = false;
    double volume_ = 0.8;
    bool showInstallAlert_ = false;
    QString installStatus_;
    std::shared_ptr<engine::InputNode> inputNode_; // set while capturing
    std::unique_ptr<capture::CaptureSink> sink_;
    bool outputPinned_ = false;
    std::unique_ptr<QTimer> flowWatch_; // the first sound, then the capture's gaps
};

} // namespace quelmo
