#include "deck/QuelmoViewModel.h"

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
