#include "deck/QuelmoViewModel.h"

#include "capture/CaptureController.h"
#include "downloads/DownloadsController.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "engine/devices/AudioDriver.h"
#include "keys/KeyboardController.h"
#include "midi/MidiController.h"
#include "mix/MixController.h"
#include "overlay/QuelmoOverlayPresenter.h"
#include "recording/RecordingController.h"
#include "shared/storage/StorageManager.h"
#include "slap/LidTapController.h"
#include "slap/OutputLevelHistory.h"
#include "timing/TimingController.h"
#include "tracks/TracksController.h"
#include "util/OrderlyExit.h"
#include "visualizer/KeyboardVisualizerManager.h"
#include "voice/VoiceController.h"

#include <QDir>
#include <QStandardPaths>
#include <QTimer>
#include <QtGlobal>

#include <array>

#include <sys/resource.h>
#include <unistd.h>

namespace quelmo {
namespace {

QStringList makePadLabels() {
    return {QStringLiteral("Kick"), QStringLiteral("Snare"), QStringLiteral("Hat"), QStringLiteral("Clap"),
            QStringLiteral("Bass"), QStringLiteral("Riser"), QStringLiteral("Chop"), QStringLiteral("Horn")};
}

QString documentsFolder(const QString& injected) {
    if (!injected.isEmpty()) {
        return injected;
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? QDir::homePath() + QStringLiteral("/Documents") : documents;
}

} // namespace

QuelmoViewModel::QuelmoViewModel(QObject* parent) : QuelmoViewModel(Dependencies{}, parent) {}

QuelmoViewModel::QuelmoViewModel(Dependencies dependencies, QObject* parent)
    : QObject(parent), clock_(dependencies.clock), scheduler_(dependencies.scheduler),
      overlay_(dependencies.overlay ? dependencies.overlay : &QuelmoOverlayPresenter::shared()),
      visualizer_(dependencies.visualizer ? dependencies.visualizer : &KeyboardVisualizerManager::shared()),
      padLabels_(makePadLabels()), beatPlayer_(std::make_shared<engine::PlayerNode>()),
      voiceDropPlayer_(std::make_shared<engine::PlayerNode>()),
      voiceTimePitch_(std::make_shared<engine::TimePitchUnit>(engine::TimePitchUnit::WarmUp::later)),
      voiceToneEQ_(std::make_shared<engine::EQUnit>(3)), voiceDistortion_(std::make_shared<engine::DistortionUnit>()),
      voiceBusMixer_(std::make_shared<engine::MixerNode>()), importPlayer_(std::make_shared<engine::PlayerNode>()),
      importTimePitch_(std::make_shared<engine::TimePitchUnit>(engine::TimePitchUnit::WarmUp::later)),
      deckOutputLevels_(std::make_shared<slap::OutputLevelHistory>()),
      engine_(std::make_unique<engine::AudioEngine>(dependencies.makeAudioDriver ? dependencies.makeAudioDriver()
                                                                                  : nullptr)),
      mainMixer_(engine_->mainMixer()), padsMixer_(std::make_shared<engine::MixerNode>()),
      importMixer_(std::make_shared<engine::MixerNode>()), importInputMixer_(std::make_shared<engine::MixerNode>()),
      effectsMixer_(std::make_shared<engine::MixerNode>()), reverb_(std::make_shared<engine::ReverbUnit>()),
      delay_(std::make_shared<engine::DelayUnit>()), filter_(std::make_shared<engine::EQUnit>(1)),
      distortion_(std::make_shared<engine::DistortionUnit>()), masterToneEQ_(std::make_shared<engine::EQUnit>(3)),
      testTonePlayer_(std::make_shared<engine::PlayerNode>()) {
    // The two time-pitch units warm up one after the other on a worker, about a third of a second
    // each, below the main thread's priority so that the views load first; the graph starts
    // meanwhile, with the units passing their input through until they are ready.
    timePitchWarmUp_ = std::async(std::launch::async, [units = std::array{importTimePitch_, voiceTimePitch_}] {
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
        for (const auto& unit : units) {
            unit->warmUp();
        }
    });
    const auto format = engine::AudioFormat::standard(44100.0, 2);
    if (!format) {
        qFatal("Quelmo: the 44100 Hz stereo float format is unavailable");
    }
    standardFormat_ = *format;
    makeControllers(dependencies);
    // However the process ends, the sound, the listeners and the devices stop in order first.
    OrderlyExit::add(this, [this] { shutdown(); });
}

// Each controller gets the nodes it plays into and what it needs of the others, as functions
// that reach them through the deck: construction order does not matter to them, only to what a
// constructor itself calls.
void QuelmoViewModel::makeControllers(Dependencies& dependencies) {
    const auto prepare = [this] { prepareAudioEngineIfNeeded(); };

    MixController::Dependencies mix;
    mix.nodes = {mainMixer_, padsMixer_, importMixer_, effectsMixer_, voiceBusMixer_, reverb_, delay_,
                 filter_,    distortion_, masterToneEQ_, testTonePlayer_};
    mix.graphBuilt = [this] { return isGraphBuilt(); };
    mix.engineSuspended = [this] { return engine_->isSuspended(); };
    mix.prepareAudio = prepare;
    mix.deckOutput = deckOutputLevels_;
    mix.outputLatency = [engine = engine_.get()] { return engine->driver().latencySeconds(); };
    mix_ = std::make_unique<MixController>(std::move(mix), this);

    VoiceController::Dependencies voice;
    voice.nodes = {voiceDropPlayer_, voiceTimePitch_, voiceToneEQ_, voiceDistortion_, voiceBusMixer_};
    voice.format = standardFormat_;
    voice.levelsChanged = [this] { mix_->requestThrottledApplyMixLevels(); };
    voice.applyLevels = [this] { mix_->applyMixLevels(); };
    voice.prepareAudio = prepare;
    voice_ = std::make_unique<VoiceController>(std::move(voice), this);

    const QString downloadsFolder = documentsFolder(dependencies.documentsDir) + QStringLiteral("/Quelmo Downloads");
    TracksController::Dependencies tracks;
    tracks.engine = engine_.get();
    tracks.importPlayer = importPlayer_;
    tracks.importTimePitch = importTimePitch_;
    tracks.importInputMixer = importInputMixer_;
    tracks.clock = clock_;
    tracks.prepareAudio = prepare;
    tracks.graphBuilt = [this] { return isGraphBuilt(); };
    tracks.importLevel = [this] { return mix_->importVolume(); };
    tracks.applyMix = [this] { mix_->applyMixLevels(); };
    tracks.downloadsFolder = downloadsFolder;
    tracks.wallClock = dependencies.wallClock;
    tracks.playingCountChanged = [this](int count) { mix_->setPlayingTrackCount(count); };
    tracks.analysisCacheFile = !dependencies.analysisCacheFile.isEmpty()
                                   ? dependencies.analysisCacheFile
                                   : QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                                         QStringLiteral("/track-analyses.sqlite");
    tracks.deckBpm = [this] { return timing_ ? timing_->bpm() : transport::minBpm; };
    tracks.deckBeats = [this] { return timing_ ? timing_->beatGrid() : std::nullopt; };
    tracks_ = std::make_unique<TracksController>(std::move(tracks), this);

    // The import chain and the track rows take the import level and speed; the voice adds its own
    // levels and takes its chain's settings. Applied in this order, after the buses and the rack.
    mix_->addParticipant({{}, [this](const MixNodeSettings& s) { tracks_->applyMixSettings(s); }, {}});
    mix_->addParticipant({[this](MixLevels& levels) { voice_->fillMixLevels(levels); },
                          [this](const MixNodeSettings& s) { voice_->applyMixSettings(s); },
                          [this] { voice_->resetMixDefaults(); }});

    TimingController::Dependencies timing;
    timing.engine = engine_.get();
    timing.scheduler = scheduler_;
    timing.clock = clock_;
    timing.beatPlayer = beatPlayer_;
    timing.pads = &pads_;
    timing.prepareAudio = prepare;
    timing.transportTicked = [this](double tickSeconds) { tracks_->transportTicked(tickSeconds); };
    timing.cueJumped = [this](double cue) { tracks_->cueJumped(cue); };
    timing.keepBeatPhase = [this] { return tracks_->sync()->holdsPlayers(); };
    timing_ = std::make_unique<TimingController>(std::move(timing), this);
    // Synced rows follow the tempo at once, and start again on the first bar of restarted beats.
    connect(timing_.get(), &TimingController::bpmChanged, tracks_->sync(), &TrackSync::followTempo);
    connect(timing_.get(), &TimingController::beatGridChanged, tracks_.get(), &TracksController::relockTracks);
    // The sequencer keeps to the metronome's bar while synced rows play over it.
    connect(tracks_->sync(), &TrackSync::beganHoldingPlayers, timing_.get(), &TimingController::keepSequencerOnTheBar);

    KeyboardController::Dependencies keyboard;
    keyboard.mix = mix_.get();
    keyboard.timing = timing_.get();
    keyboard.overlay = overlay_;
    keyboard.visualizer = visualizer_;
    keyboard.clock = clock_;
    keyboard.scheduler = scheduler_;
    keyboard.pickImportFiles = [this] { tracks_->pickImportFiles(); };
    keyboard.playPad = [this](int pad, const QString& caption) { triggerPad(pad, true, caption); };
    keyboard.stopAllLayers = [this] {
        tracks_->stopAllTracks();
        tracks_->stopImport();
        timing_->stopSequencer();
        timing_->stopTransport();
    };
    keyboard_ = std::make_unique<KeyboardController>(std::move(keyboard), this);

    DownloadsController::Dependencies downloads;
    downloads.folder = downloadsFolder;
    downloads.addDownloadedTrack = [this](const QString& path, const QString& name) {
        tracks_->addDownloadedTrack(path, name);
    };
    downloads.outsideWindow = [this](const QString& window, bool open) { keyboard_->setOutsideWindowOpen(window, open); };
    downloads_ = std::make_unique<DownloadsController>(std::move(downloads), this);

    CaptureController::Dependencies capture;
    capture.engine = engine_.get();
    capture.importPlayer = importPlayer_;
    capture.importInputMixer = importInputMixer_;
    capture.clock = clock_;
    capture.prepareAudio = prepare;
    capture_ = std::make_unique<CaptureController>(std::move(capture), this);

    recording_ = std::make_unique<RecordingController>(*engine_, prepare, dependencies.musicDir, this);

    LidTapController::Dependencies lidTap;
    lidTap.deckOutput = deckOutputLevels_;
    lidTap.inputSource = [] { return shared::StorageManager::shared().object(QStringLiteral("LidTap/inputSource")).toString(); };
    lidTap.onTap = [this](const QString& how) {
        triggerPad(0, false, QString());
        overlay_->flash(QStringLiteral("CHASSIS SLAP"), QStringLiteral("Kick drum"), 0.92, how);
    };
    lidTap_ = std::make_unique<LidTapController>(std::move(lidTap), this);

    midi_ = std::make_unique<MidiController>(
        [this](int pad, float gain, const QString& caption) { triggerPad(pad, gain, true, caption); }, this);
}

QuelmoViewModel::~QuelmoViewModel() { OrderlyExit::remove(this); }

void QuelmoViewModel::prepareAudioEngineIfNeeded() {
    if (isGraphBuilt()) {
        return;
    }
    setupAudio();
    mix_->applyMixLevels();
}

void QuelmoViewModel::waitForTimePitchWarmUp() {
    if (timePitchWarmUp_.valid()) {
        timePitchWarmUp_.get();
    }
}

void QuelmoViewModel::shutdown() {
    lidTap_->stop();
    midi_->stopInput();
    recording_->stopIfRecording();
    capture_->shutdown();
    downloads_->shutdown();
    overlay_->dismissAll();
    mix_->shutdown();
    keyboard_->removeKeyboardMonitor();
    timing_->shutdown();
    tracks_->shutdown();
    engine_->stop();
    // Deliver what stopping dropped, then stop listening to the engine.
    engine_->dispatchEvents();
    engineEventTimer_.reset();
}

void QuelmoViewModel::resetAll() {
    tracks_->stopImport();
    tracks_->stopAllTracks();
    timing_->stopSequencer();
    timing_->stopTransport();
    timing_->setPlayhead(0.0);
    tracks_->setCurrentTrackPosition(0.0);
    timing_->setHotCues({});
    mix_->resetEffects();
}

} // namespace quelmo
