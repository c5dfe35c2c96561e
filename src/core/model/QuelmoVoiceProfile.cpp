#include "model/QuelmoVoiceProfile.h"

namespace quelmo::voice {

const std::array<VoiceProfileTraits, 4>& allVoiceProfiles() {
    static const std::array<VoiceProfileTraits, 4> profiles{{
        {QuelmoVoiceProfile::studio, "Studio", 0.48f, 1.06f, 0.92f, 178},
        {QuelmoVoiceProfile::commandPost, "Command / PA", 0.36f, 0.84f, 1.0f, 158},
        {QuelmoVoiceProfile::drill, "Drill", 0.55f, 0.88f, 1.0f, 208},
        {QuelmoVoiceProfile::broadcast, "Broadcast", 0.43f, 0.98f, 1.0f, 170},
    }};
    return profiles;
}

const VoiceProfileTraits& traits(QuelmoVoiceProfile profile) {
    return allVoiceProfiles()[static_cast<std::size_t>(profile)];
}

} // namespace quelmo::voice
