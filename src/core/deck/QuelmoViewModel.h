#pragma once

#include "deck/PadBank.h"
#include "engine/AudioFormat.h"
#include "util/DelayScheduler.h"
#include "util/MediaClock.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <vector>

class QTimer;

namespace quelmo {

class CaptureController;
class DownloadsController;
class KeyboardController;
class KeyboardVisualizerManager;
class LidTapController;
class MidiController;
class MixController;
class QuelmoOverlayPresenter;
class RecordingController;
class TimingController;
class TracksController;
class VoiceController;

namespace engine {
class AudioDriver;
class AudioEngine;
class DelayUnit;
class DistortionUnit;
class EQUnit;
class MixerNode;
class PlayerNode;
class ReverbUnit;
class TimePitchUnit;
} // namespace engine

namespace slap {
class OutputLevelHistory;
} // namespace slap

// The deck: the audio graph and its lifecycle, the pads, and one controller per subsystem, which
// the views reach as deck.timing, deck.mix, deck.tracks and so on. The deck builds the graph the
// controllers play into, hands each controller what it needs of the others, and keeps what is
// truly shared: starting the engine, the sound server's comings and goings, RESET ALL and the
// shutdown. One instance, created by the deck screen the first time it is built. Main thread.
class QuelmoViewModel : public QObject {
    Q_OBJECT
    // TIME: the transport and metronome, the step sequencer, the hot cues.
    Q_PROPERTY(quelmo::TimingController* timing READ timing CONSTANT)
    Q_MOC_INCLUDE("timing/TimingController.h")
    // MIX: levels, balances, the rack, the import level and speed, the meters and the mix chips.
    Q_PROPERTY(quelmo::MixController* mix READ mix CONSTANT)
    Q_MOC_INCLUDE("mix/MixController.h")
    // VOICE DROPS: the phrase, its presets, profile, tone and character, and the render status.
    Q_PROPERTY(quelmo::VoiceController* voice READ voice CONSTANT)
    Q_MOC_INCLUDE("voice/VoiceController.h")
    // REC: recording what the main output plays to a file in the Music folder.
    Q_PROPERTY(quelmo::RecordingController* recording READ recording CONSTANT)
    Q_MOC_INCLUDE("recording/RecordingController.h")
    // MIDI: pad controllers through the ALSA sequencer.
    Q_PROPERTY(quelmo::MidiController* midi READ midi CONSTANT)
    Q_MOC_INCLUDE("midi/MidiController.h")
    // THE KEYBOARD: the shortcuts switch, the key monitors, the tuning pulses and captions.
    Q_PROPERTY(quelmo::KeyboardController* keyboard READ keyboard CONSTANT)
    Q_MOC_INCLUDE("keys/KeyboardController.h")
    // THE TRACKS: the import list and library, the import player, a player per row.
    Q_PROPERTY(quelmo::TracksController* tracks READ tracks CONSTANT)
    Q_MOC_INCLUDE("tracks/TracksController.h")
    // YOUTUBE: the address, the download's progress and status, yt-dlp's set-up state.
    Q_PROPERTY(quelmo::DownloadsController* downloads READ downloads CONSTANT)
    Q_MOC_INCLUDE("downloads/DownloadsController.h")
    // SYSTEM AUDIO: other applications' sound played live through the import chain and the rack.
    Q_PROPERTY(quelmo::CaptureController* capture READ capture CONSTANT)
    Q_MOC_INCLUDE("capture/CaptureController.h")
    // LID TAP → KICK.
    Q_PROPERTY(quelmo::LidTapController* lidTap READ lidTap CONSTANT)
    Q_MOC_INCLUDE("slap/LidTapController.h")
    // The pads' names, in pad order.
    Q_PROPERTY(QStringList padLabels READ padLabels CONSTANT)
    // "" while the output plays; "Sound server lost — reconnecting…" while the engine keeps its
    // timeline and connects again.
    Q_PROPERTY(QString soundServerStatus READ soundServerStatus NOTIFY soundServerStatusChanged)

public:
    static constexpr int padCount = PadBank::padCount;

    // What the deck takes from outside; tests pass their own.
    struct Dependencies {
        std::shared_ptr<MediaClock> clock = systemMediaClock();
        // Runs the transport, metronome and sequencer clocks.
        std::shared_ptr<DelayScheduler> scheduler = mainThreadScheduler();
        // Where the downloads folder lives; empty means the user's Documents folder.
        QString documentsDir;
        // Where the engine's output goes; unset means the sound server's default output.
        std::function<std::unique_ptr<engine::AudioDriver>()> makeAudioDriver;
        // The perform-mode card; unset means the shared one.
        QuelmoOverlayPresenter* overlay = nullptr;
        // The keyboard light show; unset means the shared one.
        KeyboardVisualizerManager* visualizer = nullptr;
        // Where REC saves; empty means the user's Music folder.
        QString musicDir;
        // The date the downloads library gives an entry it lists first; unset means the system's.
        std::function<QDateTime()> wallClock;
        // The track analyses' cache (SQLite); empty means track-analyses.sqlite in the user's cache folder.
        QString analysisCacheFile;
    };

    explicit QuelmoViewModel(QObject* parent = nullptr);
    QuelmoViewModel(Dependencies dependencies, QObject* parent = nullptr);
    ~QuelmoViewModel() override;

    // Builds and starts the graph and applies the mix the first time it is called; later calls do
    // nothing. Every operation that makes sound calls it first.
    Q_INVOKABLE void prepareAudioEngineIfNeeded();
    // SPEED and PITCH take effect once the time-pitch units have warmed up, about half a second
    // after the deck is made; an offline render that must hear them at once waits here first.
    void waitForTimePitchWarmUp();
    // Stops timers, monitors, players and the engine in a fixed order. Quitting does not call it.
    Q_INVOKABLE void shutdown();
    // Stops the import, sequencer and transport, clears the playhead and cues, resets the effects.
    Q_INVOKABLE void resetAll();

    // Plays pad index's one-shot, queued behind that pad's earlier hits, and (when asked) flashes
    // the perform card with the key that fired it. Bad indices do nothing.
    Q_INVOKABLE void triggerPad(int index, bool showPerformOverlay = true, const QString& keyCaption = {});
    // A pad hit at gain (0..1) of a key press's level, through the same queue as triggerPad.
    void triggerPad(int index, float gain, bool showPerformOverlay, const QString& keyCaption);

    TimingController* timing() const { return timing_.get(); }
    MixController* mix() const { return mix_.get(); }
    VoiceController* voice() const { return voice_.get(); }
    RecordingController* recording() const { return recording_.get(); }
    MidiController* midi() const { return midi_.get(); }
    KeyboardController* keyboard() const { return keyboard_.get(); }
    TracksController* tracks() const { return tracks_.get(); }
    DownloadsController* downloads() const { return downloads_.get(); }
    CaptureController* capture() const { return capture_.get(); }
    LidTapController* lidTap() const { return lidTap_.get(); }
    const QStringList& padLabels() const { return padLabels_; }
    QString soundServerStatus() const { return soundServerStatus_; }

    // The graph's one sample format, and whether the graph has been built.
    const engine::AudioFormat& standardFormat() const { return standardFormat_; }
    bool isGraphBuilt() const { return !pads_.players.empty(); }

    // The audio graph, for diagnostics and tests. Parameters are set through the controllers.
    engine::AudioEngine& audioEngine() { return *engine_; }
    const slap::OutputLevelHistory& deckOutputLevels() const { return *deckOutputLevels_; }
    const std::vector<std::shared_ptr<engine::PlayerNode>>& padPlayers() const { return pads_.players; }
    const std::vector<std::shared_ptr<const engine::AudioBuffer>>& padBuffers() const { return pads_.buffers; }
    const std::shared_ptr<const engine::AudioBuffer>& tickBuffer() const { return pads_.tick; }
    const std::shared_ptr<engine::MixerNode>& mainMixerNode() const { return mainMixer_; }
    const std::shared_ptr<engine::MixerNode>& padsMixerNode() const { return padsMixer_; }
    const std::shared_ptr<engine::MixerNode>& importMixerNode() const { return importMixer_; }
    const std::shared_ptr<engine::MixerNode>& importInputMixerNode() const { return importInputMixer_; }
    const std::shared_ptr<engine::MixerNode>& preEffectsMixerNode() const { return preEffectsMixer_; }
    const std::shared_ptr<engine::MixerNode>& effectsMixerNode() const { return effectsMixer_; }
    const std::shared_ptr<engine::MixerNode>& voiceBusMixerNode() const { return voiceBusMixer_; }
    const std::shared_ptr<engine::PlayerNode>& beatPlayerNode() const { return beatPlayer_; }
    const std::shared_ptr<engine::PlayerNode>& importPlayerNode() const { return importPlayer_; }
    const std::shared_ptr<engine::PlayerNode>& testTonePlayerNode() const { return testTonePlayer_; }
    const std::shared_ptr<engine::PlayerNode>& voiceDropPlayerNode() const { return voiceDropPlayer_; }
    const std::shared_ptr<engine::TimePitchUnit>& importTimePitchNode() const { return importTimePitch_; }
    const std::shared_ptr<engine::TimePitchUnit>& voiceTimePitchNode() const { return voiceTimePitch_; }
    const std::shared_ptr<engine::EQUnit>& filterNode() const { return filter_; }
    const std::shared_ptr<engine::DelayUnit>& delayNode() const { return delay_; }
    const std::shared_ptr<engine::ReverbUnit>& reverbNode() const { return reverb_; }
    const std::shared_ptr<engine::DistortionUnit>& distortionNode() const { return distortion_; }
    const std::shared_ptr<engine::EQUnit>& masterToneEQNode() const { return masterToneEQ_; }
    const std::shared_ptr<engine::EQUnit>& voiceToneEQNode() const { return voiceToneEQ_; }
    const std::shared_ptr<engine::DistortionUnit>& voiceDistortionNode() const { return voiceDistortion_; }

signals:
    void soundServerStatusChanged();

private:
    void setupAudio();                   // builds the graph once and starts the engine
    void watchSoundServer();             // before the engine starts
    void soundServerConnectionChanged(); // main thread, after the engine's device says so
    void makeControllers(Dependencies& dependencies);

    std::shared_ptr<MediaClock> clock_;
    std::shared_ptr<DelayScheduler> scheduler_;
    QuelmoOverlayPresenter* overlay_;
    KeyboardVisualizerManager* visualizer_;
    const QStringList padLabels_;
    QString soundServerStatus_;

    // The nodes, made before the graph is: the controllers are given theirs at construction.
    std::shared_ptr<engine::PlayerNode> beatPlayer_; // the metronome
    PadBank pads_;                                   // filled when the graph is built
    std::shared_ptr<engine::PlayerNode> voiceDropPlayer_;
    std::shared_ptr<engine::TimePitchUnit> voiceTimePitch_;
    std::shared_ptr<engine::EQUnit> voiceToneEQ_;
    std::shared_ptr<engine::DistortionUnit> voiceDistortion_;
    std::shared_ptr<engine::MixerNode> voiceBusMixer_;
    std::shared_ptr<engine::PlayerNode> importPlayer_;
    std::shared_ptr<engine::TimePitchUnit> importTimePitch_;
    std::shared_ptr<engine::MixerNode> preEffectsMixer_; // made by setupAudio
    // The main output's recent block levels, recorded by its tap, so the lid-tap detector can tell
    // the deck's own sound in the microphone from a tap.
    std::shared_ptr<slap::OutputLevelHistory> deckOutputLevels_;

    // Audio graph
    std::unique_ptr<engine::AudioEngine> engine_;
    std::future<void> timePitchWarmUp_; // the units pass sound through until done
    std::shared_ptr<engine::MixerNode> mainMixer_;
    std::shared_ptr<engine::MixerNode> padsMixer_;
    std::shared_ptr<engine::MixerNode> importMixer_;
    // The head of the import chain: the import player (or captured system audio in its place) and
    // every track row's player, into rate and pitch, the import bus and the rack.
    std::shared_ptr<engine::MixerNode> importInputMixer_;
    std::shared_ptr<engine::MixerNode> effectsMixer_;
    std::shared_ptr<engine::ReverbUnit> reverb_;
    std::shared_ptr<engine::DelayUnit> delay_;
    std::shared_ptr<engine::EQUnit> filter_;
    std::shared_ptr<engine::DistortionUnit> distortion_;
    std::shared_ptr<engine::EQUnit> masterToneEQ_;
    std::shared_ptr<engine::PlayerNode> testTonePlayer_;
    engine::AudioFormat standardFormat_;
    std::unique_ptr<QTimer> engineEventTimer_; // delivers player completions on the main thread
    std::uint64_t reportedUnderflows_ = 0;
    double reportedLatency_ = 0.0; // the output latency as of the last check

    // The controllers, after the engine and the nodes: each goes before what it plays into (REC
    // completes its file through the engine when it goes). MIDI's sequencer thread ends first.
    std::unique_ptr<MixController> mix_;
    std::unique_ptr<VoiceController> voice_;
    std::unique_ptr<TracksController> tracks_;
    std::unique_ptr<TimingController> timing_;
    std::unique_ptr<KeyboardController> keyboard_;
    std::unique_ptr<DownloadsController> downloads_;
    std::unique_ptr<CaptureController> capture_;
    std::unique_ptr<RecordingController> recording_;
    std::unique_ptr<LidTapController> lidTap_;
    std::unique_ptr<MidiController> midi_;
};

} // namespace quelmo
