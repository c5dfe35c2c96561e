#include "mix/MixMath.h"

#include <algorithm>

namespace quelmo {
namespace {
float clamped(double value, double low, double high) { return static_cast<float>(std::clamp(value, low, high)); }
float pan(double balance) { return std::clamp(static_cast<float>((balance - 0.5) * 2.0), -1.0f, 1.0f); }
} // namespace

MixNodeSettings computeMixNodeSettings(const MixLevels& m) {
    MixNodeSettings s;
    s.padsPan = pan(m.stereoPads);
    s.padsVolume = clamped(m.padsBusLevel, 0.0, 1.25);
    s.importPan = pan(m.stereoImport);
    s.importMixerVolume = 1.0f;
    s.importPlayerVolume = static_cast<float>(m.importVolume);
    s.importRate = static_cast<float>(m.importRate);
    s.importPitchCents = static_cast<float>(m.pitchShift * 2400.0);
    s.mainVolume = static_cast<float>(m.masterVolume);
    s.effectsVolume = clamped(m.postFXGain, 0.0, 2.5); // the make-up range its slider and keys cover
    s.reverbWetDryPercent = static_cast<float>(m.reverbMix * 100.0);
    s.delayWetDryPercent = static_cast<float>(m.delayMix * 100.0);
    s.delayTimeSeconds = m.delayTime;
    s.delayFeedbackPercent = static_cast<float>(m.delayFeedback * 100.0);
    s.filterFrequencyHz = static_cast<float>(m.filterCutoff * 20000.0);
    s.distortionWetDryPercent = static_cast<float>(m.distortionMix * 100.0);
    s.toneGlobalGainDB = clamped(m.masterToneLiftDB, -6.0, 6.0);
    s.toneLowDB = clamped(m.lowShelfGain, -12.0, 12.0);
    s.toneMidDB = clamped(m.midPresenceDB, -12.0, 12.0);
    s.toneHighDB = clamped(m.highShelfGain, -12.0, 12.0);
    s.voiceBusVolume = clamped(m.voiceBusLevel, 0.0, 1.35);
    s.voicePitchCents = clamped(m.voiceMorphPitchCents, -2400.0, 2400.0);
    s.voiceRate = clamped(m.voiceMorphRate, 0.5, 1.35);
    s.voiceWarmDB = clamped(m.voiceWarmDB, -10.0, 10.0);
    s.voiceHornDB = clamped(m.voiceHornDB, -10.0, 12.0);
    s.voiceAirDB = clamped(m.voiceDryAirDB, -12.0, 10.0);
    s.voiceDriveWetDryPercent = static_cast<float>(std::clamp(m.voiceBoldDrive, 0.0, 1.0) * 48.0);
    return s;
}

} // namespace quelmo
