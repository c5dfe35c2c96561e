#pragma once

// QML names for the core library's types, which know nothing of QML themselves.

#include "deck/QuelmoViewModel.h"
#include "model/QuelmoVoiceProfile.h"

#include <QtQml/qqml.h>

struct QuelmoViewModelForeign {
    Q_GADGET
    QML_FOREIGN(quelmo::QuelmoViewModel)
    QML_NAMED_ELEMENT(QuelmoViewModel)
};

namespace QuelmoVoiceForeign {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(quelmo::voice)
QML_NAMED_ELEMENT(QuelmoVoice)
} // namespace QuelmoVoiceForeign
