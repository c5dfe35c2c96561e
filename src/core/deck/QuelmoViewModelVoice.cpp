#include "deck/QuelmoViewModel.h"

#include "voice/VoiceDrops.h"

#include <QFile>
#include <QPointer>

#include <algorithm>

namespace quelmo {

void QuelmoViewModel::setVoicePhrase(const QString& value) {
    assign(voicePhrase_, value, &QuelmoViewModel::voicePhraseChanged);
}

void QuelmoViewModel::setVoiceRouteThroughDesk(bool value) {
    assign(voiceRouteThroughDesk_, value, &QuelmoViewModel::voiceRouteThroughDeskChanged);
}

void QuelmoViewModel::setVoiceBusLevel(double value) {
    assign(voiceBusLevel_, value, &QuelmoViewModel::voiceBusLevelChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setVoiceWarmDB(double value) {
    assign(voiceWarmDB_, value, &QuelmoViewModel::voiceWarmDBChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setVoiceHornDB(double value) {
    assign(voiceHornDB_, value, &QuelmoViewModel::voiceHornDBChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setVoiceDryAirDB(double value) {
    assign(voiceDryAirDB_, value, &QuelmoViewModel::voiceDryAirDBChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setVoiceBoldDrive(double value) {
    assign(voiceBoldDrive_, value, &QuelmoViewModel::voiceBoldDriveChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setVoiceMorphPitchCents(double value) {
    assign(voiceMorphPitchCents_, value, &QuelmoViewModel::voiceMorphPitchCentsChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setVoiceMorphRate(double value) {
    assign(voiceMorphRate_, value, &QuelmoViewModel::voiceMorphRateChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setVoiceSayVoiceTag(const QString& value) {
    assign(voiceSayVoiceTag_, value, &QuelmoViewModel::voiceSayVoiceTagChanged);
}

void QuelmoViewModel::setVoiceProfile(QuelmoVoiceProfile value) {
    assign(voiceProfile_, value, &QuelmoViewModel::voiceProfileChanged);
}

} // namespace quelmo

namespace quelmo {
namespace {
double raisedTo(double value, double floor) { return std::max(value, floor); }
double loweredTo(double value, double ceiling) { return std::min(value, ceiling); }
double clampedInto(double value, double low, double high) { return std::min(high, std::max(value, low)); }
} // namespace

void QuelmoViewModel::setVoiceDropStatus(const QString& value) {
    assign(voiceDropStatus_, value, &QuelmoViewModel::voiceDropStatusChanged);
}

void QuelmoViewModel::setVoiceDropRendering(bool value) {
    assign(voiceDropRendering_, value, &QuelmoViewModel::voiceDropRenderingChanged);
}

QStringList QuelmoViewModel::voiceProfileTitles() {
    QStringList titles;
    for (const auto& profile : voice::allVoiceProfiles()) {
        titles << QString::fromUtf8(profile.title);
    }
    return titles;
}

void QuelmoViewModel::speakPreset(int index) {
    if (index >= 0 && index < voicePresets_.size()) {
        setVoicePhrase(voicePresets_[index]);
    }
}

void QuelmoViewModel::speakCustomDrop() {
    const QString text = voicePhrase_;
    setVoiceDropRendering(true);
    setVoiceDropStatus(QStringLiteral("Rendering…"));
    voiceDrops_->render(text, voice::traits(voiceProfile_).sayWordsPerMinute, voiceSayVoiceTag_, standardFormat_,
                        [this](voice::VoiceDrops::Rendered rendered) {
                            setVoiceDropRendering(voiceDrops_->isRendering());
                            if (!rendered.buffer) {
                                setVoiceDropStatus(QStringLiteral("❌ ") + rendered.failure);
                                return;
                            }
                            prepareAudioEngineIfNeeded();
                            scheduleVoiceBuffer(rendered.buffer, rendered.tempPath);
                            const double seconds = rendered.buffer->frameLength() / standardFormat_.sampleRate;
                            setVoiceDropStatus(QStringLiteral("🎙 %1 · %2 s").arg(rendered.voice).arg(seconds, 0, 'f', 1));
                        });
}

void QuelmoViewModel::scheduleVoiceBuffer(std::shared_ptr<const engine::AudioBuffer> buffer, const QString& tempPath) {
    voiceDropPlayer_->stop();
    voiceDropPlayer_->reset();
    if (!voiceDropPlayer_->isPlaying()) {
        voiceDropPlayer_->play();
    }
    // Played out or cut off by the next drop, the file goes.
    const QPointer<voice::VoiceDrops> drops = voiceDrops_.get();
    voiceDropPlayer_->scheduleBuffer(std::move(buffer), std::nullopt, [drops, tempPath](engine::PlaybackEnd) {
        if (drops) {
            drops->release(tempPath);
        } else {
            QFile::remove(tempPath);
        }
    });
}

void QuelmoViewModel::applySaharaVoiceTonePreset() {
    setVoiceWarmDB(raisedTo(voiceWarmDB_, 4.0));
    setVoiceHornDB(raisedTo(voiceHornDB_, 3.2));
    setVoiceDryAirDB(loweredTo(voiceDryAirDB_, -2.0));
    setVoiceBoldDrive(clampedInto(voiceBoldDrive_, 0.48, 1.0));
    setVoiceBusLevel(clampedInto(voiceBusLevel_, 1.08, 1.25));
    applyMixLevels();
}

void QuelmoViewModel::applyMilitaryVoiceCharacterPreset() {
    setVoiceMorphPitchCents(-560.0);
    setVoiceMorphRate(0.9);
    setVoiceSayVoiceTag(QStringLiteral("Tom"));
    setVoiceHornDB(raisedTo(voiceHornDB_, 3.0));
    setVoiceWarmDB(raisedTo(voiceWarmDB_, 2.8));
    setVoiceBoldDrive(clampedInto(voiceBoldDrive_, 0.38, 1.0));
    applyMixLevels();
}

void QuelmoViewModel::applyMorphSmurfVoiceCharacterPreset() {
    setVoiceMorphPitchCents(820.0);
    setVoiceMorphRate(1.07);
    setVoiceSayVoiceTag(QStringLiteral("Victoria"));
    setVoiceDryAirDB(raisedTo(voiceDryAirDB_, 0.5));
    setVoiceBoldDrive(clampedInto(voiceBoldDrive_, 0.12, 0.45));
    applyMixLevels();
}

void QuelmoViewModel::resetVoiceCharacterMorph() {
    setVoiceMorphPitchCents(0.0);
    setVoiceMorphRate(1.0);
    setVoiceSayVoiceTag(QStringLiteral("auto"));
    applyMixLevels();
}

} // namespace quelmo
