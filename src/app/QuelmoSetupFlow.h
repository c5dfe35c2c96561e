#pragma once

#include "setup/SetupFlow.h"

#include <QtQml/qqmlregistration.h>

// The setup screen's state as QML creates it: the real presence test, installer, timers and
// settings, and the desktop clipboard for "Copy".
class QuelmoSetupFlow : public quelmo::SetupFlow {
    Q_OBJECT
    QML_NAMED_ELEMENT(SetupFlow)

public:
    explicit QuelmoSetupFlow(QObject* parent = nullptr);
    // With other parts in place of the real ones, for tests.
    explicit QuelmoSetupFlow(Dependencies dependencies, QObject* parent = nullptr)
        : quelmo::SetupFlow(std::move(dependencies), parent) {}
};
