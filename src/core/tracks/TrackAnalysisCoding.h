#pragma once

#include "tracks/WaveformAnalysis.h"

#include <QByteArray>

#include <optional>

namespace quelmo {

// A track's analysis as the analysis cache stores it, with the tempo the user chose by halving or
// doubling the detected one (tempoFactor: 1, or a power of two). Compact JSON: the overview levels
// as base64 of little-endian 32-bit floats (bit for bit), the rest as numbers, absent values left
// out. Decoding gives nothing for bytes of another version or shape.
struct CachedTrackAnalysis {
    WaveformAnalysis analysis;
    double tempoFactor = 1.0;
};

QByteArray encodeTrackAnalysis(const CachedTrackAnalysis& cached);
std::optional<CachedTrackAnalysis> decodeTrackAnalysis(const QByteArray& bytes);

} // namespace quelmo
