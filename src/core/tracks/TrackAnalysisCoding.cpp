#include "tracks/TrackAnalysisCoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace quelmo {

namespace {

constexpr int version = 1;

QByteArray levelBytes(const std::vector<float>& levels) {
    QByteArray bytes(static_cast<qsizetype>(levels.size() * 4), Qt::Uninitialized);
    for (std::size_t i = 0; i < levels.size(); ++i) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &levels[i], 4);
        qToLittleEndian(bits, bytes.data() + i * 4);
    }
    return bytes;
}

std::optional<std::vector<float>> levelsFrom(const QByteArray& bytes) {
    if (bytes.size() % 4 != 0) {
        return std::nullopt;
    }
    std::vector<float> levels(static_cast<std::size_t>(bytes.size() / 4));
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const auto bits = qFromLittleEndian<std::uint32_t>(bytes.constData() + i * 4);
        std::memcpy(&levels[i], &bits, 4);
    }
    return levels;
}

} // namespace

QByteArray encodeTrackAnalysis(const CachedTrackAnalysis& cached) {
    const WaveformAnalysis& a = cached.analysis;
    QJsonObject o{{"version", version},
                  {"levels", QString::fromLatin1(levelBytes(a.levels).toBase64())},
                  {"frames", static_cast<double>(a.frameCount)},
                  {"rate", a.sampleRate},
                  {"tempoConfidence", a.measures.tempoConfidence},
                  {"truePeak", a.measures.truePeak},
                  {"tempoFactor", cached.tempoFactor}};
    if (a.measures.grid) {
        o.insert("firstBeat", a.measures.grid->firstBeat);
        o.insert("beatLength", a.measures.grid->beatLength);
    }
    if (a.measures.loudness) {
        o.insert("loudness", *a.measures.loudness);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<CachedTrackAnalysis> decodeTrackAnalysis(const QByteArray& bytes) {
    const QJsonObject o = QJsonDocument::fromJson(bytes).object();
    if (o.value("version").toInt() != version) {
        return std::nullopt;
    }
    auto levels = levelsFrom(QByteArray::fromBase64(o.value("levels").toString().toLatin1()));
    const double frames = o.value("frames").toDouble();
    const int rate = o.value("rate").toInt();
    const double factor = o.value("tempoFactor").toDouble(1.0);
    if (!levels || levels->empty() || !(frames >= 1) || rate <= 0 || !(factor > 0) || !std::isfinite(factor)) {
        return std::nullopt;
    }
    CachedTrackAnalysis cached;
    cached.analysis.levels = std::move(*levels);
    cached.analysis.frameCount = static_cast<std::int64_t>(frames);
    cached.analysis.sampleRate = rate;
    cached.analysis.passes = 0; // nothing decoded
    cached.tempoFactor = factor;
    TrackMeasures& m = cached.analysis.measures;
    m.tempoConfidence = o.value("tempoConfidence").toDouble();
    m.truePeak = o.value("truePeak").toDouble();
    const double beatLength = o.value("beatLength").toDouble();
    if (o.contains("firstBeat") && beatLength > 0) {
        m.grid = BeatGrid{o.value("firstBeat").toDouble(), beatLength};
    }
    if (o.contains("loudness")) {
        m.loudness = o.value("loudness").toDouble();
    }
    return cached;
}

} // namespace quelmo
