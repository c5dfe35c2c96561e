#include "mix/MixMath.h"

#include <gtest/gtest.h>

#include <functional>

using namespace quelmo;

TEST(MixMath, ControlsMapToNodeUnitsWithinTheirLimits) {
    struct Case {
        const char* what;
        std::function<void(MixLevels&)> set;
        std::function<float(const MixNodeSettings&)> read;
        float expected;
    };
    const Case cases[] = {
        {"balance 0 is hard left", [](MixLevels& m) { m.stereoPads = 0.0; }, [](auto& s) { return s.padsPan; }, -1.0f},
        {"balance 0.5 is the centre", [](MixLevels& m) { m.stereoImport = 0.5; }, [](auto& s) { return s.importPan; }, 0.0f},
        {"balance past 1 stays hard right", [](MixLevels& m) { m.stereoImport = 1.7; }, [](auto& s) { return s.importPan; }, 1.0f},
        {"pads level is limited to 1.25", [](MixLevels& m) { m.padsBusLevel = 2.0; }, [](auto& s) { return s.padsVolume; }, 1.25f},
        {"post-FX gain is limited to its make-up range, 2.5", [](MixLevels& m) { m.postFXGain = 3.0; }, [](auto& s) { return s.effectsVolume; }, 2.5f},
        {"voice bus is limited to 1.35", [](MixLevels& m) { m.voiceBusLevel = 2.0; }, [](auto& s) { return s.voiceBusVolume; }, 1.35f},
        {"lift is limited to +6 dB", [](MixLevels& m) { m.masterToneLiftDB = 9.0; }, [](auto& s) { return s.toneGlobalGainDB; }, 6.0f},
        {"bass is limited to -12 dB", [](MixLevels& m) { m.lowShelfGain = -20.0; }, [](auto& s) { return s.toneLowDB; }, -12.0f},
        {"voice rate is at least 0.5", [](MixLevels& m) { m.voiceMorphRate = 0.2; }, [](auto& s) { return s.voiceRate; }, 0.5f},
        {"voice pitch is at most 2400 cents", [](MixLevels& m) { m.voiceMorphPitchCents = 5000; }, [](auto& s) { return s.voicePitchCents; }, 2400.0f},
        {"cutoff 0.5 is 10 kHz", [](MixLevels& m) { m.filterCutoff = 0.5; }, [](auto& s) { return s.filterFrequencyHz; }, 10000.0f},
        {"pitch 0.5 is an octave", [](MixLevels& m) { m.pitchShift = 0.5; }, [](auto& s) { return s.importPitchCents; }, 1200.0f},
        {"master passes unlimited", [](MixLevels& m) { m.masterVolume = 1.7; }, [](auto& s) { return s.mainVolume; }, 1.7f},
        {"voice air is limited to +10 dB", [](MixLevels& m) { m.voiceDryAirDB = 15.0; }, [](auto& s) { return s.voiceAirDB; }, 10.0f},
        {"delay feedback is in percent", [](MixLevels&) {}, [](auto& s) { return s.delayFeedbackPercent; }, 40.0f},
    };
    for (const Case& c : cases) {
        MixLevels levels;
        c.set(levels);
        EXPECT_FLOAT_EQ(c.read(computeMixNodeSettings(levels)), c.expected) << c.what;
    }
}
