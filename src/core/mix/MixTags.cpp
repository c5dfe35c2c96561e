#include "mix/MixTags.h"

#include <cmath>

namespace quelmo {

namespace {
QString tag(const char* prefix, double value) {
    return QString::fromUtf8(prefix) + QString::number(static_cast<long long>(std::trunc(value)));
}
} // namespace

QStringList mixTags(const MixLevels& m, int playingTrackCount) {
    QStringList out;
    if (std::abs(m.importRate - 1.0) > 0.02) {
        out << QStringLiteral(u"SPD×") + QString::asprintf("%.2f", m.importRate);
    }
    if (std::abs(m.pitchShift) > 0.02) {
        out << tag("PT", std::round(m.pitchShift * 24.0)) + QStringLiteral("st");
    }
    if (m.reverbMix > 0.03) {
        out << tag("REV", m.reverbMix * 100.0);
    }
    if (m.delayMix > 0.03) {
        out << tag("DLY", m.delayMix * 100.0);
    }
    if (m.delayFeedback > 0.06 || std::abs(m.delayTime - 0.3) > 0.02) {
        out << QStringLiteral("DLY+");
    }
    if (m.filterCutoff < 0.99) {
        out << tag("FLT", m.filterCutoff * 100.0);
    }
    if (m.distortionMix > 0.03) {
        out << tag("DST", m.distortionMix * 100.0);
    }
    if (std::abs(m.masterToneLiftDB) > 0.25) {
        out << tag("LIFT", m.masterToneLiftDB) + QStringLiteral("dB");
    }
    if (std::abs(m.lowShelfGain) > 0.35) {
        out << tag("LO", m.lowShelfGain);
    }
    if (std::abs(m.midPresenceDB) > 0.35) {
        out << tag("MID", m.midPresenceDB);
    }
    if (std::abs(m.highShelfGain) > 0.35) {
        out << tag("HI", m.highShelfGain);
    }
    if (std::abs(m.postFXGain - 1.0) > 0.04) {
        out << tag("BUS", m.postFXGain * 100.0);
    }
    if (std::abs(m.stereoImport - 0.5) > 0.04) {
        out << tag("IPAN", m.stereoImport * 100.0);
    }
    if (std::abs(m.stereoPads - 0.5) > 0.04) {
        out << tag("PPAN", m.stereoPads * 100.0);
    }
    if (playingTrackCount > 1) {
        out << QStringLiteral(u"DECKS×") + QString::number(playingTrackCount);
    }
    return out;
}

} // namespace quelmo
