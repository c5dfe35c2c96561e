#include "voice/VoiceController.h"

#include "mix/MixMath.h"
#include "engine/AudioBuffer.h"
#include "engine/AudioNodes.h"
#include "util/AssignProperty.h"
#include "voice/VoiceDrops.h"

#include <QFile>
#include <QPointer>

#include <algorithm>

namespace quelmo {
namespace {

QStringList makePresets() {
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

double raisedTo(double value, double floor) { return std::max(value, floor); }
double loweredTo(double value, double ceiling) { return std::min(value, ceiling); }
double clampedInto(double value, double low, double high) { return std::min(high, std::max(value, low)); }

} // namespace

VoiceController::VoiceController(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , dependencies_(std::move(dependencies))
    , presets_(makePresets())
    , phrase_(presets_.front())
    , drops_(std::make_unique<voice::VoiceDrops>()) {
    const MixLevels rest;
    busLevel_ = rest.voiceBusLevel;
    warmDB_ = rest.voiceWarmDB;
    hornDB_ = rest.voiceHornDB;
    dryAirDB_ = rest.voiceDryAirDB;
    boldDrive_ = rest.voiceBoldDrive;
    morphPitchCents_ = rest.voiceMorphPitchCents;
    morphRate_ = rest.voiceMorphRate;

    // Fixed parameters of the chain; the levels above move only the gains, drive, pitch and rate.
    const Nodes& n = dependencies_.nodes;
    using engine::FilterType;
    n.toneEQ->setGlobalGain(0.0f);
    n.toneEQ->band(0).configure(FilterType::lowShelf, 220.0f, 0.88f, 0.0f);
    n.toneEQ->band(1).configure(FilterType::parametric, 1350.0f, 1.15f, 0.0f);
    n.toneEQ->band(2).configure(FilterType::highShelf, 7200.0f, 0.82f, 0.0f);
    n.distortion->loadFactoryPreset(engine::DistortionUnit::multiBrokenSpeaker);
    n.distortion->setPreGain(-14.0f);
    n.distortion->setWetDryMix(0.0f);
    n.timePitch->setPitch(0.0f);
    n.timePitch->setRate(1.0f);
}

VoiceController::~VoiceController() = default;

void VoiceController::fillMixLevels(MixLevels& levels) const {
    levels.voiceBusLevel = busLevel_;
    levels.voiceWarmDB = warmDB_;
    levels.voiceHornDB = hornDB_;
    levels.voiceDryAirDB = dryAirDB_;
    levels.voiceBoldDrive = boldDrive_;
    levels.voiceMorphPitchCents = morphPitchCents_;
    levels.voiceMorphRate = morphRate_;
}

void VoiceController::applyMixSettings(const MixNodeSettings& s) {
    const Nodes& n = dependencies_.nodes;
    n.bus->setVolume(s.voiceBusVolume);
    n.timePitch->setPitch(s.voicePitchCents);
    n.timePitch->setRate(s.voiceRate);
    n.toneEQ->band(0).setGain(s.voiceWarmDB);
    n.toneEQ->band(1).setGain(s.voiceHornDB);
    n.toneEQ->band(2).setGain(s.voiceAirDB);
    n.distortion->setWetDryMix(s.voiceDriveWetDryPercent);
}

void VoiceController::resetMixDefaults() {
    const MixLevels rest;
    setVoiceWarmDB(rest.voiceWarmDB);
    setVoiceHornDB(rest.voiceHornDB);
    setVoiceDryAirDB(rest.voiceDryAirDB);
    setVoiceBoldDrive(rest.voiceBoldDrive);
    setVoiceBusLevel(rest.voiceBusLevel);
    setVoiceMorphPitchCents(rest.voiceMorphPitchCents);
    setVoiceMorphRate(rest.voiceMorphRate);
    setVoiceSayVoiceTag(QString::fromLatin1(restingVoiceTag));
}

void VoiceController::setLevel(double& field, double value, void (VoiceController::*signal)()) {
    assignProperty(this, field, value, signal);
    dependencies_.levelsChanged();
}

void VoiceController::setVoicePhrase(const QString& value) {
    assignProperty(this, phrase_, value, &VoiceController::voicePhraseChanged);
}

void VoiceController::setVoiceRouteThroughDesk(bool value) {
    assignProperty(this, routeThroughDesk_, value, &VoiceController::voiceRouteThroughDeskChanged);
}

void VoiceController::setVoiceBusLevel(double value) { setLevel(busLevel_, value, &VoiceController::voiceBusLevelChanged); }
void VoiceController::setVoiceWarmDB(double value) { setLevel(warmDB_, value, &VoiceController::voiceWarmDBChanged); }
void VoiceController::setVoiceHornDB(double value) { setLevel(hornDB_, value, &VoiceController::voiceHornDBChanged); }
void VoiceController::setVoiceDryAirDB(double value) { setLevel(dryAirDB_, value, &VoiceController::voiceDryAirDBChanged); }
void VoiceController::setVoiceBoldDrive(double value) { setLevel(boldDrive_, value, &VoiceController::voiceBoldDriveChanged); }

void VoiceController::setVoiceMorphPitchCents(double value) {
    setLevel(morphPitchCents_, value, &VoiceController::voiceMorphPitchCentsChanged);
}

void VoiceController::setVoiceMorphRate(double value) {
    setLevel(morphRate_, value, &VoiceController::voiceMorphRateChanged);
}

void VoiceController::setVoiceSayVoiceTag(const QString& value) {
    assignProperty(this, sayVoiceTag_, value, &VoiceController::voiceSayVoiceTagChanged);
}

void VoiceController::setVoiceProfile(QuelmoVoiceProfile value) {
    assignProperty(this, profile_, value, &VoiceController::voiceProfileChanged);
}

void VoiceController::setVoiceDropStatus(const QString& value) {
    assignProperty(this, dropStatus_, value, &VoiceController::voiceDropStatusChanged);
}

void VoiceController::setVoiceDropRendering(bool value) {
    assignProperty(this, dropRendering_, value, &VoiceController::voiceDropRenderingChanged);
}

QStringList VoiceController::voiceProfileTitles() {
    QStringList titles;
    for (const auto& profile : voice::allVoiceProfiles()) {
        titles << QString::fromUtf8(profile.title);
    }
    return titles;
}

void VoiceController::speakPreset(int index) {
    if (index >= 0 && index < presets_.size()) {
        setVoicePhrase(presets_[index]);
    }
}

void VoiceController::speakCustomDrop() {
    setVoiceDropRendering(true);
    setVoiceDropStatus(QStringLiteral("Rendering…"));
    drops_->render(phrase_, voice::traits(profile_).sayWordsPerMinute, sayVoiceTag_, dependencies_.format,
                   [this](voice::VoiceDrops::Rendered rendered) {
                       setVoiceDropRendering(drops_->isRendering());
                       if (!rendered.buffer) {
                           setVoiceDropStatus(QStringLiteral("❌ ") + rendered.failure);
                           return;
                       }
                       dependencies_.prepareAudio();
                       const double seconds = rendered.buffer->frameLength() / dependencies_.format.sampleRate;
                       scheduleVoiceBuffer(std::move(rendered.buffer), rendered.tempPath);
                       setVoiceDropStatus(QStringLiteral("🎙 %1 · %2 s").arg(rendered.voice).arg(seconds, 0, 'f', 1));
                   });
}

void VoiceController::scheduleVoiceBuffer(std::shared_ptr<const engine::AudioBuffer> buffer, const QString& tempPath) {
    const auto& player = dependencies_.nodes.player;
    player->stop();
    player->reset();
    if (!player->isPlaying()) {
        player->play();
    }
    // Played out or cut off by the next drop, the file goes.
    const QPointer<voice::VoiceDrops> drops = drops_.get();
    player->scheduleBuffer(std::move(buffer), std::nullopt, [drops, tempPath](engine::PlaybackEnd) {
        if (drops) {
            drops->release(tempPath);
        } else {
            QFile::remove(tempPath);
        }
    });
}

void VoiceController::applySaharaVoiceTonePreset() {
    setVoiceWarmDB(raisedTo(warmDB_, 4.0));
    setVoiceHornDB(raisedTo(hornDB_, 3.2));
    setVoiceDryAirDB(loweredTo(dryAirDB_, -2.0));
    setVoiceBoldDrive(clampedInto(boldDrive_, 0.48, 1.0));
    setVoiceBusLevel(clampedInto(busLevel_, 1.08, 1.25));
    dependencies_.applyLevels();
}

void VoiceController::applyMilitaryVoiceCharacterPreset() {
    setVoiceMorphPitchCents(-560.0);
    setVoiceMorphRate(0.9);
    setVoiceSayVoiceTag(QStringLiteral("Tom"));
    setVoiceHornDB(raisedTo(hornDB_, 3.0));
    setVoiceWarmDB(raisedTo(warmDB_, 2.8));
    setVoiceBoldDrive(clampedInto(boldDrive_, 0.38, 1.0));
    dependencies_.applyLevels();
}

void VoiceController::applyMorphSmurfVoiceCharacterPreset() {
    setVoiceMorphPitchCents(820.0);
    setVoiceMorphRate(1.07);
    setVoiceSayVoiceTag(QStringLiteral("Victoria"));
    setVoiceDryAirDB(raisedTo(dryAirDB_, 0.5));
    setVoiceBoldDrive(clampedInto(boldDrive_, 0.12, 0.45));
    dependencies_.applyLevels();
}

void VoiceController::resetVoiceCharacterMorph() {
    const MixLevels rest;
    setVoiceMorphPitchCents(rest.voiceMorphPitchCents);
    setVoiceMorphRate(rest.voiceMorphRate);
    setVoiceSayVoiceTag(QString::fromLatin1(restingVoiceTag));
    dependencies_.applyLevels();
}

} // namespace quelmo
