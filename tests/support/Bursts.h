#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace quelmo::test {

// Where each burst of sound in `s` peaks: the loudest frame of its envelope (the mean square over
// 33 frames about each, so the peak of a tone burst is its envelope's, not one cycle's), a burst
// being the frames whose level reaches `threshold`, apart from the next by more than a tenth of a
// second of quiet. A stretched click is smeared over a few milliseconds; where its energy peaks
// less where the clean sound's does is where it sounds.
inline std::vector<double> burstPeaks(const std::vector<float>& s, float threshold) {
    std::vector<double> peaks;
    std::int64_t first = -1, last = -1;
    const auto size = static_cast<std::int64_t>(s.size());
    auto close = [&] {
        double loudest = -1.0;
        std::int64_t at = first;
        for (auto i = first; i <= last; ++i) {
            double e = 0.0;
            for (auto t = std::max<std::int64_t>(0, i - 66); t <= std::min(size - 1, i + 66); ++t) {
                e += static_cast<double>(s[static_cast<std::size_t>(t)]) * s[static_cast<std::size_t>(t)];
            }
            if (e > loudest) {
                loudest = e;
                at = i;
            }
        }
        peaks.push_back(static_cast<double>(at));
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::abs(s[i]) < threshold) {
            continue;
        }
        const auto at = static_cast<std::int64_t>(i);
        if (first >= 0 && at - last > 4410) {
            close();
            first = -1;
        }
        if (first < 0) {
            first = at;
        }
        last = at;
    }
    if (first >= 0) {
        close();
    }
    return peaks;
}

} // namespace quelmo::test
