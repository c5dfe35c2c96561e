#pragma once

#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "engine/devices/OfflineDriver.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace quelmo::test {

// A deck controller on the offline driver (unless given another), with its graph built and its own Documents folder: a
// test pulls its output block by block and runs what the blocks finished.
struct OfflineDeck {
    QTemporaryDir documents;
    std::unique_ptr<QuelmoViewModel> model;

    // A driver other than the offline one (one that refuses to start, say) can be given.
    explicit OfflineDeck(std::function<std::unique_ptr<engine::AudioDriver>()> driver = [] {
        return std::make_unique<engine::OfflineDriver>();
    }) {
        QuelmoViewModel::Dependencies deps;
        deps.documentsDir = documents.path();
        deps.makeAudioDriver = std::move(driver);
        model = std::make_unique<QuelmoViewModel>(deps);
        model->prepareAudioEngineIfNeeded();
        model->waitForTimePitchWarmUp();
    }

    // Renders frames in 512-frame requests, then delivers the players' completions.
    std::shared_ptr<engine::AudioBuffer> render(std::uint32_t frames) {
        auto& driver = static_cast<engine::OfflineDriver&>(model->audioEngine().driver());
        auto out = driver.renderFrames(frames, 512);
        model->audioEngine().dispatchEvents();
        return out;
    }
};

} // namespace quelmo::test
