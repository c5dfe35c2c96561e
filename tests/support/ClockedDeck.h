#pragma once

#include "deck/QuelmoViewModel.h"
#include "keys/KeyDecoding.h"
#include "keys/KeyboardController.h"
#include "overlay/QuelmoOverlayPresenter.h"
#include "support/ManualScheduler.h"
#include "support/RefusingDriver.h"
#include "visualizer/KeyboardVisualizerManager.h"

#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <optional>

namespace quelmo::test {

// A deck controller whose perform card is recorded on a scheduler the test moves by hand. Its
// transport, metronome and sequencer clocks and its debounces run on that scheduler too, unless the
// test asks for the real timers; its light show is the shared one unless the test asks for one of
// its own on the scheduler. Its sound goes to the offline output, or without a sound server to one
// that refuses to start; its graph is built when first asked for.
struct ClockedDeck {
    enum class Timers { manual, real };

    QTemporaryDir documents;
    std::shared_ptr<ManualScheduler> scheduler = std::make_shared<ManualScheduler>();
    QuelmoOverlayPresenter overlay{scheduler};
    std::optional<KeyboardVisualizerManager> visualizer;
    std::unique_ptr<QuelmoViewModel> model;

    explicit ClockedDeck(bool soundServer = true, Timers timers = Timers::manual, bool ownLightShow = false) {
        QuelmoViewModel::Dependencies deps;
        if (timers == Timers::manual) {
            deps.clock = std::make_shared<ManualMediaClock>(scheduler);
            deps.scheduler = scheduler;
        }
        if (ownLightShow) {
            deps.visualizer = &visualizer.emplace(scheduler);
        }
        deps.documentsDir = documents.path();
        deps.analysisCacheFile = documents.filePath(QStringLiteral("analyses.sqlite"));
        deps.overlay = &overlay;
        deps.makeAudioDriver = deckDriver(soundServer);
        model = std::make_unique<QuelmoViewModel>(deps);
    }

    // A key as the key monitors hand it over; evdev is the kernel's key number (X11's less 8).
    bool key(int qtKey, const QString& text, std::uint32_t evdev,
             Qt::KeyboardModifiers mods = Qt::NoModifier) {
        return model->keyboard()->handleKeyEvent(keys::keyEventFromQt(qtKey, mods, text, evdev + 8, false));
    }
};

} // namespace quelmo::test
