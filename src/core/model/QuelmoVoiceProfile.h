#pragma once

#include <QObject>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace quelmo::voice {
Q_NAMESPACE

// Voice profiles of the drop channel, in declaration order. Raw values are the case names.
enum class QuelmoVoiceProfile { studio, commandPost, drill, broadcast };
Q_ENUM_NS(QuelmoVoiceProfile)

struct VoiceProfileTraits {
    QuelmoVoiceProfile profile;
    const char* rawValue;
    const char* title;
    float speechRate;
    float speechPitch;
    float speechVolume;
    int sayWordsPerMinute;
};

const std::array<VoiceProfileTraits, 4>& allVoiceProfiles();
const VoiceProfileTraits& traits(QuelmoVoiceProfile profile);
QString rawValue(QuelmoVoiceProfile profile);
// Nothing for a string that names no profile.
std::optional<QuelmoVoiceProfile> voiceProfileFromRaw(QStringView raw);

} // namespace quelmo::voice

namespace quelmo {
using voice::QuelmoVoiceProfile;
}
