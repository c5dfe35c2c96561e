#pragma once

// QML names for the core library's types, which know nothing of QML themselves.

#include "deck/QuelmoViewModel.h"
#include "model/QuelmoVoiceProfile.h"
#include "midi/MidiController.h"
#include "recording/RecordingController.h"
#include "slap/LidTapController.h"
#include "visualizer/KeyboardVisualizerManager.h"

#include <QJSEngine>

#include <QtQml/qqml.h>

struct QuelmoViewModelForeign {
    Q_GADGET
    QML_FOREIGN(quelmo::QuelmoViewModel)
    QML_NAMED_ELEMENT(QuelmoViewModel)
};

// The deck's subsystems, reached through the deck (deck.recording …), never made by a view.
struct RecordingControllerForeign {
    Q_GADGET
    QML_FOREIGN(quelmo::RecordingController)
    QML_NAMED_ELEMENT(RecordingController)
    QML_UNCREATABLE("the deck makes its own")
};

struct LidTapControllerForeign {
    Q_GADGET
    QML_FOREIGN(quelmo::LidTapController)
    QML_NAMED_ELEMENT(LidTapController)
    QML_UNCREATABLE("the deck makes its own")
};

struct MidiControllerForeign {
    Q_GADGET
    QML_FOREIGN(quelmo::MidiController)
    QML_NAMED_ELEMENT(MidiController)
    QML_UNCREATABLE("the deck makes its own")
};

namespace QuelmoVoiceForeign {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(quelmo::voice)
QML_NAMED_ELEMENT(QuelmoVoice)
} // namespace QuelmoVoiceForeign

// The keyboard light show's one state, as the singleton KeyboardVisualizer.
struct KeyboardVisualizerForeign {
    Q_GADGET
    QML_FOREIGN(quelmo::KeyboardVisualizerManager)
    QML_NAMED_ELEMENT(KeyboardVisualizer)
    QML_SINGLETON

public:
    static quelmo::KeyboardVisualizerManager* create(QQmlEngine*, QJSEngine*) {
        auto* manager = &quelmo::KeyboardVisualizerManager::shared();
        QJSEngine::setObjectOwnership(manager, QJSEngine::CppOwnership);
        return manager;
    }
};
