#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace quelmo {

class QuelmoChassisSlapDetector;
namespace slap {
class OutputLevelHistory;
} // namespace slap

// LID TAP → KICK as the views see it (deck.lidTap): a switch that listens to the microphone for a
// tap on the desk or the lid, and a status line ("Starting…", "Listening", why it cannot).
//
// Main thread only; the detector listens on its own capture stream and reports here.
class LidTapController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool chassisSlapEnabled READ chassisSlapEnabled WRITE setChassisSlapEnabled NOTIFY chassisSlapEnabledChanged)
    Q_PROPERTY(QString chassisSlapStatus READ chassisSlapStatus WRITE setChassisSlapStatus NOTIFY chassisSlapStatusChanged)

public:
    struct Dependencies {
        // A tap was heard: play the kick. `how` says what heard it ("Mic · lid tap / slap").
        std::function<void(const QString& how)> onTap;
        // What the deck itself played lately, so that its own kick is not taken for a tap.
        std::shared_ptr<const slap::OutputLevelHistory> deckOutput;
        // The sound-server source to listen to; empty for the default input.
        std::function<QString()> inputSource;
    };

    explicit LidTapController(Dependencies dependencies, QObject* parent = nullptr);
    ~LidTapController() override;

    bool chassisSlapEnabled() const { return enabled_; }
    void setChassisSlapEnabled(bool on);
    QString chassisSlapStatus() const { return status_; }
    void setChassisSlapStatus(const QString& value);

    // Stops listening for good (the deck's shutdown); the switch keeps its state.
    void stop();
    // The sound server went away: listening pauses and the status says why.
    void soundServerLost(const QString& status);
    // It is back: listening resumes where the switch is on.
    void soundServerBack();

signals:
    void chassisSlapEnabledChanged();
    void chassisSlapStatusChanged();

private:
    Dependencies dependencies_;
    bool enabled_ = false;
    QString status_;
    std::shared_ptr<QuelmoChassisSlapDetector> detector_;
};

} // namespace quelmo
