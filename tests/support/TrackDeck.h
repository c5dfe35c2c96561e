#pragma once

// A deck on the offline driver with helpers to add audio files, play rows and render the output,
// for the track tests.

#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "tracks/TracksController.h"
#include "engine/Tone.h"
#include "engine/devices/OfflineDriver.h"
#include "support/EventLoop.h"
#include "support/WavFile.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <vector>

namespace quelmo::test {

inline constexpr int rate = 44100;

// A sine whose amplitude rises from 0 to 0.8 over the file, so where a pass is shows in its level.
inline std::vector<float> risingTone(std::int64_t frames, double hz) {
    std::vector<float> s(static_cast<std::size_t>(frames));
    for (std::int64_t i = 0; i < frames; ++i) {
        s[static_cast<std::size_t>(i)] = static_cast<float>(0.8 * static_cast<double>(i) / static_cast<double>(frames) *
                                                            std::sin(2.0 * std::numbers::pi * hz * i / rate));
    }
    return s;
}

// Loops of a tone keep their phase only when the file holds whole cycles: pick hz so it does.
inline std::vector<float> tone(std::int64_t frames, double hz, double amplitude = 0.5) {
    std::vector<float> s(static_cast<std::size_t>(frames));
    for (std::int64_t i = 0; i < frames; ++i) {
        s[static_cast<std::size_t>(i)] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / rate));
    }
    return s;
}

inline std::vector<float> concat(std::vector<float> a, const std::vector<float>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Peak of channel 0 over [from, from + frames).
inline float peak(const std::vector<float>& s, std::size_t from, std::size_t frames) {
    float p = 0.0f;
    for (std::size_t i = from; i < std::min(s.size(), from + frames); ++i) {
        p = std::max(p, std::abs(s[i]));
    }
    return p;
}

// The amplitude of the hz component of s.
inline double amplitudeAt(const std::vector<float>& s, double hz) { return test::amplitudeAt(s, rate, hz); }

struct Deck {
    QTemporaryDir documents;
    std::unique_ptr<QuelmoViewModel> model;

    Deck() {
        QuelmoViewModel::Dependencies deps;
        deps.documentsDir = documents.path();
        deps.analysisCacheFile = documents.filePath(QStringLiteral("analyses.sqlite"));
        deps.makeAudioDriver = [] { return std::make_unique<engine::OfflineDriver>(); };
        model = std::make_unique<QuelmoViewModel>(deps);
        // The rows' own levels are what these tests measure: AUTO GAIN has tests of its own.
        model->tracks()->analysis()->setAutoGain(false);
        model->prepareAudioEngineIfNeeded();
        model->waitForTimePitchWarmUp();
    }

    QString file(const QString& name, const std::vector<float>& samples) {
        const QString path = documents.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        writeWav(path, samples);
        return path;
    }

    // Adds the files and waits until all are listed; returns their ids in order.
    std::vector<QUuid> add(const QStringList& paths) {
        QList<QUrl> urls;
        for (const auto& p : paths) {
            urls.append(QUrl::fromLocalFile(p));
        }
        const auto before = model->tracks()->importedTracks().size();
        model->tracks()->addImportFiles(urls);
        // A long compressed file is decoded once to be measured: under the sanitizers, seconds.
        EXPECT_TRUE(test::spinUntil([&] { return model->tracks()->importedTracks().size() == before + paths.size(); }, 60000));
        std::vector<QUuid> ids;
        for (const auto& t : model->tracks()->importedTracks()) {
            ids.push_back(t.id);
        }
        return ids;
    }

    void play(const QUuid& id) {
        model->tracks()->toggleTrackPlayback(id);
        EXPECT_TRUE(test::spinUntil([&] { return model->tracks()->playingTrackIds().contains(id); }));
    }

    // Renders channel 0 in blocks, delivering finished passes after each and letting the workers
    // queue the next ones, as the running application does between audio callbacks.
    std::vector<float> render(std::size_t frames, std::uint32_t chunk = 4096) {
        auto& driver = static_cast<engine::OfflineDriver&>(model->audioEngine().driver());
        std::vector<float> out;
        while (out.size() < frames) {
            const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(chunk, frames - out.size()));
            auto block = driver.renderFrames(n, 512);
            const auto c0 = block->channel(0);
            out.insert(out.end(), c0.begin(), c0.begin() + block->frameLength());
            settle();
        }
        return out;
    }

    // Delivers player completions until the queued work (on workers too) has landed: longer than
    // the decode worker's 20 ms between looks at its streams.
    void settle() {
        for (int i = 0; i < 5; ++i) {
            model->audioEngine().dispatchEvents();
            test::spinFor(5);
        }
    }
};


} // namespace quelmo::test
