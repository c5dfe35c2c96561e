#pragma once

#include <QObject>
#include <QString>

#include <array>

namespace quelmo::voice {
Q_NAMESPACE

// Voice profiles of the drop channel, in declaration order.
enum class QuelmoVoiceProfile { studio, commandPost, drill, broadcast };
Q_ENUM_NS(QuelmoVoiceProfile)

struct VoiceProfileTraits {
    QuelmoVoiceProfile profile;
    const char* title;
    float speechRate;
    float speechPitch;
    float speechVolume;
    int sayWordsPerMinute;
};

const std::array<VoiceProfileTraits, 4>& allVoiceProfiles();
const VoiceProfileTraits& traits(QuelmoVoiceProfile profile);

} // namespace quelmo::voice

namespace quelmo {
using voice::QuelmoVoiceProfile;
}
