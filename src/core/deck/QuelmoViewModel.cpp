#include "deck/QuelmoViewModel.h"

#include "capture/CaptureSink.h"
#include "recording/RecordingController.h"
#include "downloads/YoutubeDownload.h"
#include "keys/KeyMonitor.h"
#include "midi/MidiController.h"
#include "visualizer/KeyboardVisualizerManager.h"
#include "setup/YtdlpInstaller.h"
#include "slap/OutputLevelHistory.h"
#include "slap/LidTapController.h"
#include "util/OrderlyExit.h"
#include "voice/VoiceDrops.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QtGlobal>

namespace quelmo {
namespace {

QStringList makePadLabels() {
    return {QStringLiteral("Kick"), QStringLiteral("Snare"), QStringLiteral("Hat"), QStringLiteral("Clap"),
            QStringLiteral("Bass"), QStringLiteral("Riser"), QStringLiteral("Chop"), QStringLiteral("Horn")};
}

QStringList makeVoicePresets() {
    return {
        QStringLiteral(u"Back to work — let's go."),
        QStringLiteral(u"Coffee break is over, legend."),
        QStringLiteral(u"Focus mode: engaged."),
        QStringLiteral(u"That email can wait — vibe first."),
        QStringLiteral(u"One more track, then we ship."),
        QStringLiteral(u"Desk DJ takeover."),
        QStringLiteral(u"Listen up — this channel is for the mission only."),
        QStringLiteral(u"Sound check: you are loud, you are clear, you are go."),
        QStringLiteral(u"No whispering on this net. Push the message."),
        QStringLiteral(u"Maximum volume. Minimum excuses."),
        QStringLiteral(u"If you’re not on comms, you’re off the air."),
    };
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
    : QObject(parent), clock_(std::move(dependencies.clock)), scheduler_(std::move(dependencies.scheduler)),
      overlay_(dependencies.overlay ? dependencies.overlay : &QuelmoOverlayPresenter::shared()),
      visualizer_(dependencies.visualizer ? dependencies.visualizer : &KeyboardVisualizerManager::shared()), padLabels_(makePadLabels()),
      voicePresets_(makeVoicePresets()), beatPlayer_(std::make_shared<engine::PlayerNode>()),
      voiceDropPlayer_(std::make_shared<engine::PlayerNode>()),
      voiceTimePitch_(std::make_shared<engine::TimePitchUnit>(engine::TimePitchUnit::WarmUp::later)),
      voiceToneEQ_(std::make_shared<engine::EQUnit>(3)),
      voiceDistortion_(std::make_shared<engine::DistortionUnit>()),
      voiceBusMixer_(std::make_shared<engine::MixerNode>()), importPlayer_(std::make_shared<engine::PlayerNode>()),
      importTimePitch_(std::make_shared<engine::TimePitchUnit>(engine::TimePitchUnit::WarmUp::later)),
      engine_(std::make_unique<engine::AudioEngine>(dependencies.makeAudioDriver ? dependencies.makeAudioDriver()
                                                                                  : nullptr)),
      padsMixer_(std::make_shared<engine::MixerNode>()), importMixer_(std::make_shared<engine::MixerNode>()),
      effectsMixer_(std::make_shared<engine::MixerNode>()), reverb_(std::make_shared<engine::ReverbUnit>()),
      delay_(std::make_shared<engine::DelayUnit>()), filter_(std::make_shared<engine::EQUnit>(1)),
      distortion_(std::make_shared<engine::DistortionUnit>()), masterToneEQ_(std::make_shared<engine::EQUnit>(3)),
      testTonePlayer_(std::make_shared<engine::PlayerNode>()) {
    transportStart_ = clock_->now();
    // The two time-pitch units warm up side by side on workers while the deck's views load; the
    // graph waits for them before it is built.
    for (const auto& unit : {importTimePitch_, voiceTimePitch_}) {
        timePitchWarmUps_.push_back(std::async(std::launch::async, [unit] { unit->warmUp(); }));
    }

    const auto format = engine::AudioFormat::standard(44100.0, 2);
    if (!format) {
        qFatal("Quelmo: the 44100 Hz stereo float format is unavailable");
    }
    standardFormat_ = *format;

    mainMixer_ = engine_->mainMixer();
    voiceDrops_ = std::make_unique<voice::VoiceDrops>();
    deckOutputLevels_ = std::make_shared<slap::OutputLevelHistory>();
    LidTapController::Dependencies lidTap;
    lidTap.deckOutput = deckOutputLevels_;
    lidTap.inputSource = [] { return QSettings().value(QStringLiteral("LidTap/inputSource")).toString(); };
    lidTap.onTap = [this](const QString& how) {
        triggerPad(0, false, QString());
        overlay_->flash(QStringLiteral("CHASSIS SLAP"), QStringLiteral("Kick drum"), 0.92, how);
    };
    lidTap_ = std::make_unique<LidTapController>(std::move(lidTap), this);
    captureSink_ = std::make_unique<capture::CaptureSink>();
    captureSink_->restoreDefaultLeftByEarlierRun();
    recording_ = std::make_unique<RecordingController>(
        *engine_, [this] { prepareAudioEngineIfNeeded(); }, dependencies.musicDir, this);
    beatTimer_ = std::make_unique<PulseClock>(scheduler_, clock_, engine_.get());
    transportTimer_ = std::make_unique<PulseClock>(scheduler_, clock_);
    seqTimer_ = std::make_unique<PulseClock>(scheduler_, clock_, engine_.get());

    const QString downloads = documentsFolder(dependencies.documentsDir) + QStringLiteral("/Quelmo Downloads/");
    downloadsDir_ = QUrl::fromLocalFile(downloads);
    downloadsManifestURL_ = downloadsDir_.resolved(QUrl(QStringLiteral("downloads.json")));
    wallClock_ = dependencies.wallClock ? std::move(dependencies.wallClock) : [] { return QDateTime::currentDateTimeUtc(); };

    setupEffects();
    midi_ = std::make_unique<MidiController>(
        [this](int pad, float gain, const QString& caption) { triggerPad(pad, gain, true, caption); }, this);
    watchMixTags();
    connect(this, &QuelmoViewModel::importedTracksChanged, this, [this] { trackListModel_.sync(importedTracks_); });
    for (auto signal : {&QuelmoViewModel::importedTracksChanged, &QuelmoViewModel::playingTrackIdsChanged,
                        &QuelmoViewModel::selectedImportIdChanged}) {
        connect(this, signal, this, &QuelmoViewModel::updateOverviewTracks);
    }

    // The library restore runs on the next turn of the event loop; construction does not wait.
    QMetaObject::invokeMethod(this, &QuelmoViewModel::loadSavedDownloads, Qt::QueuedConnection);
    // However the process ends, the sound, the listeners and the devices stop in order first.
    OrderlyExit::add(this, [this] { shutdown(); });
}

QuelmoViewModel::~QuelmoViewModel() {
    OrderlyExit::remove(this);
    // Quitting while capturing: the capture stops here and the sink goes with captureSink_.
    if (inputNode_) {
        inputNode_->stopCapture();
    }
    // Overviews of restored entries nobody will see again are not computed.
    tracks::libraryWorkers().clear();
}

void QuelmoViewModel::prepareAudioEngineIfNeeded() {
    if (isGraphBuilt()) {
        return;
    }
    setupAudio();
    applyMixLevels();
}

void QuelmoViewModel::shutdown() {
    lidTap_->stop();
    midi_->stopInput();
    recording_->stopIfRecording();
    if (isCapturingSystemAudio_) {
        stopSystemAudioCapture();
    }
    // Give the capture sink back and restore the default output now, not on a worker: after a
    // shutdown the process may end without another turn of the event loop.
    captureSink_->releaseNow();
    download_.reset(); // ends yt-dlp and removes what it left
    installer_.reset();
    overlay_->dismissAll();
    mixThrottleTask_.reset();
    meterDecayTimer_.reset();
    removeMeterTaps();
    removeKeyboardMonitor();
    stopSequencer();
    stopBeatClock();
    stopTransportLink();
    stopAllTracks();
    stopDisplayLink();
    stopImport();
    engine_->stop();
    // Deliver what stopping dropped, then stop listening to the engine.
    engine_->dispatchEvents();
    engineEventTimer_.reset();
}

} // namespace quelmo
