#pragma once

#include "mix/MixMath.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QTimer;

namespace quelmo {

class MeterPeakCapture;

namespace engine {
class AudioBuffer;
class DelayUnit;
class DistortionUnit;
class EQUnit;
class MixerNode;
class PlayerNode;
class ReverbUnit;
} // namespace engine

namespace slap {
class OutputLevelHistory;
} // namespace slap

// The MIX as the views see it (deck.mix): the balance and bus levels, the master, the rack
// (reverb, delay, filter, drive, pitch, tone) and the import level and speed, with the four meters
// and the waveform panel's mix chips. Every level change reaches the nodes through one throttled
// apply that computes all node settings from all levels at once (computeMixNodeSettings); other
// subsystems whose levels or nodes are part of the mix (the voice, the import chain) join it as
// participants.
//
// Main thread only, except the meter taps: they run on the render thread and write only into
// lock-free peak holders that the 42 ms meter timer drains here.
class MixController : public QObject {
    Q_OBJECT
    Q_PROPERTY(double stereoPads READ stereoPads WRITE setStereoPads NOTIFY stereoPadsChanged)
    Q_PROPERTY(double stereoImport READ stereoImport WRITE setStereoImport NOTIFY stereoImportChanged)
    Q_PROPERTY(double masterVolume READ masterVolume WRITE setMasterVolume NOTIFY masterVolumeChanged)
    Q_PROPERTY(double padsBusLevel READ padsBusLevel WRITE setPadsBusLevel NOTIFY padsBusLevelChanged)
    Q_PROPERTY(double postFXGain READ postFXGain WRITE setPostFXGain NOTIFY postFXGainChanged)
    Q_PROPERTY(double reverbMix READ reverbMix WRITE setReverbMix NOTIFY reverbMixChanged)
    Q_PROPERTY(double delayMix READ delayMix WRITE setDelayMix NOTIFY delayMixChanged)
    Q_PROPERTY(double delayTime READ delayTime WRITE setDelayTime NOTIFY delayTimeChanged)
    Q_PROPERTY(double delayFeedback READ delayFeedback WRITE setDelayFeedback NOTIFY delayFeedbackChanged)
    Q_PROPERTY(double filterCutoff READ filterCutoff WRITE setFilterCutoff NOTIFY filterCutoffChanged)
    Q_PROPERTY(double distortionMix READ distortionMix WRITE setDistortionMix NOTIFY distortionMixChanged)
    Q_PROPERTY(double pitchShift READ pitchShift WRITE setPitchShift NOTIFY pitchShiftChanged)
    Q_PROPERTY(double masterToneLiftDB READ masterToneLiftDB WRITE setMasterToneLiftDB NOTIFY masterToneLiftDBChanged)
    Q_PROPERTY(double lowShelfGain READ lowShelfGain WRITE setLowShelfGain NOTIFY lowShelfGainChanged)
    Q_PROPERTY(double midPresenceDB READ midPresenceDB WRITE setMidPresenceDB NOTIFY midPresenceDBChanged)
    Q_PROPERTY(double highShelfGain READ highShelfGain WRITE setHighShelfGain NOTIFY highShelfGainChanged)
    Q_PROPERTY(double importVolume READ importVolume WRITE setImportVolume NOTIFY importVolumeChanged)
    Q_PROPERTY(double importRate READ importRate WRITE setImportRate NOTIFY importRateChanged)
    Q_PROPERTY(double meterPads READ meterPads WRITE setMeterPads NOTIFY meterPadsChanged)
    Q_PROPERTY(double meterImport READ meterImport WRITE setMeterImport NOTIFY meterImportChanged)
    Q_PROPERTY(double meterMaster READ meterMaster WRITE setMeterMaster NOTIFY meterMasterChanged)
    Q_PROPERTY(double meterVoice READ meterVoice WRITE setMeterVoice NOTIFY meterVoiceChanged)
    // The waveform panel's chips for controls away from their resting values.
    Q_PROPERTY(QStringList mixTags READ mixTags NOTIFY mixTagsChanged)

public:
    // The rack and the buses the mix writes to, and the voice bus it meters.
    struct Nodes {
        std::shared_ptr<engine::MixerNode> mainMixer, padsMixer, importMixer, effectsMixer, voiceBusMixer;
        std::shared_ptr<engine::ReverbUnit> reverb;
        std::shared_ptr<engine::DelayUnit> delay;
        std::shared_ptr<engine::EQUnit> filter;
        std::shared_ptr<engine::DistortionUnit> distortion;
        std::shared_ptr<engine::EQUnit> masterToneEQ;
        std::shared_ptr<engine::PlayerNode> testTonePlayer;
    };
    struct Dependencies {
        Nodes nodes;
        std::function<bool()> graphBuilt;      // no node is written before the graph exists
        std::function<bool()> engineSuspended; // the meters stop once they are down and the output sleeps
        std::function<void()> prepareAudio;    // the engine runs before the sound-check tone
        // The main output's recent block levels, kept for the lid tap's echo check.
        std::shared_ptr<slap::OutputLevelHistory> deckOutput;
        // How long a rendered block takes to reach the speakers (the output's latency, seconds).
        // Called on the render thread: it must not block or allocate. Empty means no delay.
        std::function<double()> outputLatency;
    };
    // A subsystem whose levels are part of the mix (the voice) or whose nodes take some of its
    // settings (the import chain and the track rows). Each function may be empty.
    struct Participant {
        std::function<void(MixLevels&)> fillLevels;
        std::function<void(const MixNodeSettings&)> applySettings;
        std::function<void()> resetLevels; // back to rest, without applying
    };

    explicit MixController(Dependencies dependencies, QObject* parent = nullptr);
    ~MixController() override;

    // Participants' settings are applied in the order they joined, after the buses' and the rack's.
    void addParticipant(Participant participant);

    // "BOLD PA": lifts the mix to a loud, present sound without lowering anything already louder.
    Q_INVOKABLE void applyBoldCommandMixPreset();
    // "RESET FX": every effect and tone control back to its start (the master and balances stay).
    Q_INVOKABLE void resetEffects();
    // A short 440 Hz tone on the master, at half the master level.
    Q_INVOKABLE void playSoundCheckTone();

    // Debounced path from every level control to the nodes: applies the mix 48 ms after the last
    // call. Returns at once.
    void requestThrottledApplyMixLevels();
    // Writes every level, pan and effect parameter onto the nodes; nothing before the graph exists.
    void applyMixLevels();
    // Every level as the controls hold it, the participants' included.
    MixLevels currentMixLevels() const;

    // The graph was built: the meter taps go on and the meters start.
    void graphBuilt();
    // The output woke from its sleep: the meters run again.
    void engineWoke();
    // Runs on every meter tick: drains the bus peaks into the four meters.
    void updateMeters();
    // How many track rows play, for the "DECKS×n" chip.
    void setPlayingTrackCount(int count);
    // The deck's shutdown: no pending apply, no meter timer, no taps.
    void shutdown();

    double stereoPads() const { return levels_.stereoPads; }
    void setStereoPads(double value);
    double stereoImport() const { return levels_.stereoImport; }
    void setStereoImport(double value);
    double masterVolume() const { return levels_.masterVolume; }
    void setMasterVolume(double value);
    double padsBusLevel() const { return levels_.padsBusLevel; }
    void setPadsBusLevel(double value);
    double postFXGain() const { return levels_.postFXGain; }
    void setPostFXGain(double value);
    double reverbMix() const { return levels_.reverbMix; }
    void setReverbMix(double value);
    double delayMix() const { return levels_.delayMix; }
    void setDelayMix(double value);
    double delayTime() const { return levels_.delayTime; }
    void setDelayTime(double value);
    double delayFeedback() const { return levels_.delayFeedback; }
    void setDelayFeedback(double value);
    double filterCutoff() const { return levels_.filterCutoff; }
    void setFilterCutoff(double value);
    double distortionMix() const { return levels_.distortionMix; }
    void setDistortionMix(double value);
    double pitchShift() const { return levels_.pitchShift; }
    void setPitchShift(double value);
    double masterToneLiftDB() const { return levels_.masterToneLiftDB; }
    void setMasterToneLiftDB(double value);
    double lowShelfGain() const { return levels_.lowShelfGain; }
    void setLowShelfGain(double value);
    double midPresenceDB() const { return levels_.midPresenceDB; }
    void setMidPresenceDB(double value);
    double highShelfGain() const { return levels_.highShelfGain; }
    void setHighShelfGain(double value);
    double importVolume() const { return levels_.importVolume; }
    void setImportVolume(double value);
    double importRate() const { return levels_.importRate; }
    void setImportRate(double value);
    double meterPads() const { return meterPads_; }
    void setMeterPads(double value);
    double meterImport() const { return meterImport_; }
    void setMeterImport(double value);
    double meterMaster() const { return meterMaster_; }
    void setMeterMaster(double value);
    double meterVoice() const { return meterVoice_; }
    void setMeterVoice(double value);
    const QStringList& mixTags() const { return mixTags_; }

signals:
    void stereoPadsChanged();
    void stereoImportChanged();
    void masterVolumeChanged();
    void padsBusLevelChanged();
    void postFXGainChanged();
    void reverbMixChanged();
    void delayMixChanged();
    void delayTimeChanged();
    void delayFeedbackChanged();
    void filterCutoffChanged();
    void distortionMixChanged();
    void pitchShiftChanged();
    void masterToneLiftDBChanged();
    void lowShelfGainChanged();
    void midPresenceDBChanged();
    void highShelfGainChanged();
    void importVolumeChanged();
    void importRateChanged();
    void meterPadsChanged();
    void meterImportChanged();
    void meterMasterChanged();
    void meterVoiceChanged();
    void mixTagsChanged();
    // After every applyMixLevels that reached the nodes.
    void mixLevelsApplied();

private:
    void setLevel(double MixLevels::*field, double value, void (MixController::*signal)());
    void setUpRack();
    void installMeterTaps();
    void followMeterTick();
    void removeMeterTaps();
    void updateMixTags();

    Dependencies dependencies_;
    MixLevels levels_;
    std::vector<Participant> participants_;
    double meterPads_ = 0.0;
    double meterImport_ = 0.0;
    double meterMaster_ = 0.0;
    double meterVoice_ = 0.0;
    QStringList mixTags_;
    int playingTrackCount_ = 0;
    std::unique_ptr<QTimer> throttle_;
    std::shared_ptr<const engine::AudioBuffer> testToneBuffer_;
    bool meterTapsInstalled_ = false;
    bool metersRunning_ = false;       // from the graph's start to shutdown
    QMetaObject::Connection meterTick_; // following the frame clock
    std::shared_ptr<MeterPeakCapture> meterPeaks_;
};

} // namespace quelmo
