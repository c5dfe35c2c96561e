#pragma once

// QML names for the core library's types, which know nothing of QML themselves.

#include "capture/CaptureController.h"
#include "deck/QuelmoViewModel.h"
#include "downloads/DownloadsController.h"
#include "model/QuelmoVoiceProfile.h"
#include "keys/KeyboardController.h"
#include "midi/MidiController.h"
#include "mix/MixController.h"
#include "recording/RecordingController.h"
#include "slap/LidTapController.h"
#include "timing/TimingController.h"
#include "voice/VoiceController.h"
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

struct CaptureControllerForeign {
    Q_GADGET
    QML_FOREIGN(quelmo::CaptureController)
    QML_NAMED_ELEMENT(CaptureController)
    QML_UNCREATABLE("the deck makes its own")
};

struct DownloadsControllerForeign {
    Q_GADGET
    QML_FOREIGN(quelmo::DownloadsController)
    QML_NAMED_ELEMENT(DownloadsController)
    QML_UNCREATABLE("the deck makes its own")
};

struct KeyboardControllerForeign {
    Q_GADGET
    QML_FOREIGN(quelmo::KeyboardController)
    QML_NAMED_ELEMENT(KeyboardController)
    QML_UNCREATABLE("the deck makes its own")
};

struct MixControllerForeign {
    Q_GADGET
    QML_FOREIGN(quelmo::MixController)
    QML_NAMED_ELEMENT(MixController)
    QML_UNCREATABLE("the deck makes its own")
};

struct TimingControllerForeign {
    Q_GADGET
    QML_FOREIGN(quelmo::TimingController)
    QML_NAMED_ELEMENT(TimingController)
    QML_UNCREATABLE("the deck makes its own")
};

struct VoiceControllerForeign {
    Q_GADGET
    QML_FOREIGN(quelmo::VoiceController)
    QML_NAMED_ELEMENT(VoiceController)
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
