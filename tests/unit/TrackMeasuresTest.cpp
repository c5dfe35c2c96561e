// Tempo, beats and loudness against ground truth: songs rendered here at known tempos from the
// deck's own drum sounds, and the reference loudness meter on the same files.
#include "engine/AudioBuffer.h"
#include "engine/AudioFormat.h"
#include "engine/FfmpegTool.h"
#include "support/DrumSong.h"
#include "support/WavFile.h"
#include "tracks/BeatGrid.h"
#include "tracks/TempoDetector.h"
#include "tracks/TrackMeasurer.h"
#include "tracks/TruePeakMeter.h"
#include "tracks/WaveformAnalysis.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <regex>
#include <string>
#include <vector>

using namespace quelmo;
using quelmo::test::DrumPattern;
using quelmo::test::Song;
using quelmo::test::renderDrumSong;

namespace {

constexpr double rate = 44100.0;

TrackMeasures measure(const std::vector<float>& interleaved, std::uint32_t channels, double sampleRate = rate) {
    TrackMeasurer measurer(sampleRate, channels);
    const auto format = *engine::AudioFormat::standard(sampleRate, channels);
    auto buffer = engine::AudioBuffer::create(format, 4096);
    const std::size_t frames = interleaved.size() / channels;
    for (std::size_t start = 0; start < frames; start += 4096) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(4096, frames - start));
        buffer->setFrameLength(n);
        for (std::uint32_t c = 0; c < channels; ++c) {
            for (std::uint32_t f = 0; f < n; ++f) {
                buffer->channel(c)[f] = interleaved[(start + f) * channels + c];
            }
        }
        measurer.add(*buffer);
    }
    return measurer.finish();
}

// Signed distance from the detected grid's beats to the true ones, within half a beat.
double phaseError(const BeatGrid& grid, const Song& song) {
    const double beat = 60.0 / song.bpm;
    double d = std::fmod(grid.firstBeat - song.firstBeat, beat);
    if (d > beat / 2) d -= beat;
    if (d < -beat / 2) d += beat;
    return d;
}

std::optional<std::string> output(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return std::nullopt;
    }
    std::string text;
    char chunk[4096];
    while (std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) {
        text.append(chunk, n);
    }
    return ::pclose(pipe) == 0 ? std::optional(text) : std::nullopt;
}

bool haveProgram(const char* name) {
    return output(std::string("command -v ") + name + " >/dev/null 2>&1").has_value();
}

} // namespace

TEST(TrackTempo, FindsKnownTemposAndBeatsAheadOfAubiosOwnTool) {
    const std::vector<double> tempos{70, 76, 84, 90, 97.5, 104, 110, 117, 123.4, 128, 135, 142, 150, 163, 172, 180};
    const std::vector<DrumPattern> patterns{DrumPattern::fourOnTheFloor, DrumPattern::breakbeat, DrumPattern::syncopatedWithBass};
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const bool peer = haveProgram("aubio");

    int songs = 0, ours = 0, theirs = 0;
    std::vector<double> phaseErrors, signedErrors;
    double worstTempo = 0.0; // relative: what a synced loop drifts by over its length
    for (std::size_t t = 0; t < tempos.size(); ++t) {
        for (std::size_t p = 0; p < patterns.size(); ++p) {
            // Every third song opens with six seconds without a beat.
            const double intro = (t + p) % 3 == 0 ? 6.0 : 0.0;
            const Song song = renderDrumSong(tempos[t], patterns[p], 24.0, intro);
            ++songs;
            const TrackMeasures m = measure(song.samples, 2);
            const auto grid = m.shownGrid();
            const bool right = grid && std::abs(grid->bpm() - song.bpm) <= 0.5;
            if (right) {
                ++ours;
                worstTempo = std::max(worstTempo, std::abs(grid->bpm() / song.bpm - 1.0));
                phaseErrors.push_back(std::abs(phaseError(*grid, song)));
                signedErrors.push_back(phaseError(*grid, song));
                if (std::abs(phaseError(*grid, song)) > 0.010) {
                    std::printf("beat off by %.1f ms: %.1f BPM pattern %zu intro %.0f s\n", phaseError(*grid, song) * 1000,
                                song.bpm, p, intro);
                }
            } else {
                std::printf("missed: %.1f BPM pattern %zu intro %.0f s -> %s (confidence %.2f)\n", song.bpm, p,
                            intro, qPrintable(tempoText(m.grid)), m.tempoConfidence);
            }
            if (peer) {
                const std::string path = dir.filePath(QStringLiteral("song%1.wav").arg(songs)).toStdString();
                test::writeWav(path, song.samples, 2, 44100);
                const auto said = output("aubio tempo -i '" + path + "' 2>/dev/null");
                std::smatch match;
                if (said && std::regex_search(*said, match, std::regex(R"(([0-9.]+) bpm)")) &&
                    std::abs(std::stod(match[1]) - song.bpm) <= 0.5) {
                    ++theirs;
                }
            }
        }
    }
    std::sort(phaseErrors.begin(), phaseErrors.end());
    std::sort(signedErrors.begin(), signedErrors.end());
    const double medianPhase = phaseErrors.empty() ? 1.0 : phaseErrors[phaseErrors.size() / 2];
    const double worstPhase = phaseErrors.empty() ? 1.0 : phaseErrors.back();
    std::printf("tempo within 0.5 BPM: Quelmo %d/%d (%.0f %%), aubio tempo %s; beat phase error median %.1f ms, "
                "worst %.1f ms\n",
                ours, songs, 100.0 * ours / songs,
                peer ? qPrintable(QStringLiteral("%1/%2 (%3 %)").arg(theirs).arg(songs).arg(100.0 * theirs / songs, 0, 'f', 0))
                     : "not installed",
                medianPhase * 1000, worstPhase * 1000);
    if (!signedErrors.empty()) {
        std::printf("signed beat phase error: median %.1f ms\n", signedErrors[signedErrors.size() / 2] * 1000);
    }
    std::printf("worst tempo error %.4f %% (over a 16-beat loop at 70 BPM: %.2f ms)\n", worstTempo * 100,
                worstTempo * 16 * 60 / 70 * 1000);
    EXPECT_GE(ours, static_cast<int>(std::ceil(0.95 * songs)));
    EXPECT_LE(worstPhase, 0.010);
    EXPECT_LE(worstTempo, 0.0002) << "a synced track would drift off the deck's beats within a loop";
    if (peer) {
        EXPECT_GE(ours, theirs);
    }
}

TEST(TrackTempo, ShowsNoTempoWhereThereIsNoBeat) {
    // The pad and noise alone, thirty seconds.
    Song song = renderDrumSong(120, DrumPattern::fourOnTheFloor, 0.0, 30.0);
    const TrackMeasures m = measure(song.samples, 2);
    EXPECT_FALSE(m.shownGrid()) << qPrintable(tempoText(m.grid)) << " at confidence " << m.tempoConfidence;
    EXPECT_EQ(tempoText(m.shownGrid()), QStringLiteral("—"));
}

TEST(TrackTempo, AClickTrackIsReadAtItsOwnTempoNotItsDoubleToTheSample) {
    // Bright clicks and nothing between them: no backbeat to halve, whatever the click's pitch or
    // the file's rate (the bands run at half a high rate, at the whole of a low one).
    for (const double fileRate : {22050.0, rate, 48000.0}) {
        for (const double bpm : {96.0, 100.0, 140.0}) {
            for (const double hz : {1200.0, 3000.0, 6000.0}) {
                std::vector<float> s(static_cast<std::size_t>(12 * fileRate), 0.0f);
                for (double at = 0.3 * fileRate; at + 132 < static_cast<double>(s.size()); at += 60.0 / bpm * fileRate) {
                    for (std::size_t i = 0; i < 132; ++i) {
                        s[static_cast<std::size_t>(at) + i] =
                            0.25f * static_cast<float>(std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / fileRate));
                    }
                }
                const std::string what = std::to_string(bpm) + " BPM, " + std::to_string(hz) + " Hz clicks at " +
                                         std::to_string(fileRate) + " Hz";
                const auto grid = measure(s, 1, fileRate).shownGrid();
                ASSERT_TRUE(grid) << what;
                EXPECT_EQ(tempoText(grid).toStdString(), tempoText(BeatGrid{0.3, 60.0 / bpm}).toStdString()) << what;
                // To the sample: the attacks themselves place the grid.
                EXPECT_NEAR(grid->firstBeat, 0.3, 0.0001) << what;
                EXPECT_NEAR(grid->bpm(), bpm, 0.001) << what;
            }
        }
    }
}

TEST(TrackTempo, ALongSetKeepsItsGridToTheLastBeat) {
    // Twenty-five minutes of clicks at a tempo whose beat is no whole number of samples, streamed
    // as a file is: the detector stops listening after twenty minutes, and the grid it found
    // still meets the last click to the millisecond.
    constexpr double r = 22050.0, bpm = 124.3, firstAt = 0.3 * r, beat = 60.0 / bpm * r;
    TempoDetector detector(r);
    const auto total = static_cast<std::int64_t>(25 * 60 * r);
    std::vector<float> chunk(8192);
    double nextClick = firstAt;
    for (std::int64_t start = 0; start < total; start += static_cast<std::int64_t>(chunk.size())) {
        std::fill(chunk.begin(), chunk.end(), 0.0f);
        for (double at = nextClick - beat; at < static_cast<double>(start) + static_cast<double>(chunk.size()); at += beat) {
            const auto from = static_cast<std::int64_t>(at);
            for (std::int64_t i = std::max<std::int64_t>(from, start); i < from + 66 && i < start + static_cast<std::int64_t>(chunk.size()); ++i) {
                chunk[static_cast<std::size_t>(i - start)] = 0.25f * static_cast<float>(std::sin(2 * std::numbers::pi * 3000.0 * static_cast<double>(i - from) / r));
            }
            nextClick = at + beat;
        }
        detector.add(chunk);
    }
    const auto fitted = detector.finish();
    ASSERT_TRUE(fitted);
    EXPECT_NEAR(fitted->grid.bpm(), bpm, 0.001);
    const double lastClick = std::floor((static_cast<double>(total) - firstAt) / beat);
    const double heard = std::floor(firstAt + lastClick * beat) / r;
    const double placed = fitted->grid.firstBeat + std::round((heard - fitted->grid.firstBeat) / fitted->grid.beatLength) * fitted->grid.beatLength;
    EXPECT_NEAR(placed, heard, 0.001) << "grid " << fitted->grid.firstBeat << " + n * " << fitted->grid.beatLength;
}

TEST(TrackTempo, TheTempoReadsInBpmAndMovesByOctaves) {
    const BeatGrid grid{0.1, 0.5};
    EXPECT_EQ(tempoText(grid), QStringLiteral("120.0 BPM"));
    EXPECT_EQ(tempoText(grid.halved()), QStringLiteral("60.0 BPM"));
    EXPECT_EQ(tempoText(grid.doubled()), QStringLiteral("240.0 BPM"));
    EXPECT_EQ(grid.doubled().firstBeat, 0.1);
    EXPECT_EQ(tempoText(std::nullopt), QStringLiteral("—"));
}

TEST(TrackLoudness, MatchesTheReferenceMeterOnTheSameFile) {
    const auto ffmpeg = test::ffmpegProgram();
    if (ffmpeg.empty()) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const double gain : {1.0, 0.3, 0.05}) {
        Song song = renderDrumSong(128, DrumPattern::breakbeat, 20.0, 2.0);
        for (float& s : song.samples) s *= static_cast<float>(gain);
        const std::string path = dir.filePath(QStringLiteral("loud.wav")).toStdString();
        test::writeWav(path, song.samples, 2, 44100, true);
        const auto analysis = analyzeWaveformFile(path);
        ASSERT_TRUE(analysis && analysis->measures.loudness);

        const auto said = output("'" + ffmpeg.string() + "' -nostdin -hide_banner -i '" + path +
                                 "' -af ebur128=peak=true -f null - 2>&1");
        ASSERT_TRUE(said);
        // The summary at the end, not the running values before it.
        const std::string summary = said->substr(said->rfind("Summary:"));
        std::smatch integrated, peak;
        ASSERT_TRUE(std::regex_search(summary, integrated, std::regex(R"(I:\s+(-?[0-9.]+) LUFS)")));
        ASSERT_TRUE(std::regex_search(summary, peak, std::regex(R"(Peak:\s+(-?[0-9.]+) dBFS)")));
        EXPECT_NEAR(*analysis->measures.loudness, std::stod(integrated[1]), 0.1) << "gain " << gain;
        EXPECT_NEAR(20 * std::log10(analysis->measures.truePeak), std::stod(peak[1]), 0.2) << "gain " << gain;
    }
}

// A sine at a quarter of the sample rate, its crests halfway between samples, reads 3 dB low on its
// samples: the meter finds the crest between them however the samples arrive, also after a quiet
// stretch it passes over and in a loud part that beats an earlier one.
TEST(TrackLoudness, TheTruePeakLiesBetweenSamplesWhateverTheChunks) {
    std::vector<float> signal;
    for (const auto& [amplitude, length] : {std::pair{0.5, 22050}, std::pair{0.1, 22050}, std::pair{0.9, 13230}}) {
        for (int i = 0; i < length; ++i) {
            const auto n = static_cast<double>(signal.size());
            signal.push_back(static_cast<float>(amplitude * std::sin(std::numbers::pi / 2 * n + std::numbers::pi / 4)));
        }
    }
    std::vector<double> found;
    for (const std::size_t chunk : {signal.size(), std::size_t{1}, std::size_t{7}, std::size_t{64}, std::size_t{65}, std::size_t{1000}}) {
        TruePeakMeter meter;
        for (std::size_t at = 0; at < signal.size(); at += chunk) {
            meter.add(std::span(signal).subspan(at, std::min(chunk, signal.size() - at)));
        }
        found.push_back(meter.truePeak());
    }
    EXPECT_NEAR(20 * std::log10(found[0] / 0.9), 0.0, 0.3) << "the samples peak at " << 0.9 * std::sqrt(0.5);
    for (const double peak : found) {
        EXPECT_EQ(peak, found[0]);
    }
}
