#pragma once

namespace quelmo {

// The deck's level and effect controls in user units (0..1 mixes and levels, dB, cents, seconds),
// as the views set them. Nothing here is clamped.
struct MixLevels {
    double stereoPads = 0.5;
    double stereoImport = 0.5;
    double masterVolume = 0.9;
    double padsBusLevel = 1.0;
    double postFXGain = 1.0;
    double importVolume = 0.85;
    double importRate = 1.0;
    double pitchShift = 0.0;
    double reverbMix = 0.0;
    double delayMix = 0.0;
    double delayTime = 0.3;
    double delayFeedback = 0.4;
    double filterCutoff = 1.0;
    double distortionMix = 0.0;
    double masterToneLiftDB = 0.0;
    double lowShelfGain = 0.0;
    double midPresenceDB = 0.0;
    double highShelfGain = 0.0;
    double voiceBusLevel = 1.05;
    double voiceWarmDB = 2.5;
    double voiceHornDB = 2.0;
    double voiceDryAirDB = -1.0;
    double voiceBoldDrive = 0.28;
    double voiceMorphPitchCents = 0.0;
    double voiceMorphRate = 1.0;
};

// What the graph's nodes receive: scaled to the nodes' units and limited to safe ranges.
struct MixNodeSettings {
    float padsPan = 0, padsVolume = 1;
    float importPan = 0, importMixerVolume = 1;
    float importPlayerVolume = 1, importRate = 1, importPitchCents = 0;
    float mainVolume = 1, effectsVolume = 1;
    float reverbWetDryPercent = 0, delayWetDryPercent = 0;
    double delayTimeSeconds = 0.3;
    float delayFeedbackPercent = 40, filterFrequencyHz = 20000, distortionWetDryPercent = 0;
    float toneGlobalGainDB = 0, toneLowDB = 0, toneMidDB = 0, toneHighDB = 0;
    float voiceBusVolume = 1, voicePitchCents = 0, voiceRate = 1;
    float voiceWarmDB = 0, voiceHornDB = 0, voiceAirDB = 0, voiceDriveWetDryPercent = 0;
};

// The one mapping from controls to node parameters. A balance control 0..1 becomes a pan of
// -1..1 (0.5 is the centre); levels, tone gains and the voice's shaping are limited to their
// ranges; the master, import level and rate pass as they are, their controls keep them in range.
MixNodeSettings computeMixNodeSettings(const MixLevels& levels);

} // namespace quelmo
