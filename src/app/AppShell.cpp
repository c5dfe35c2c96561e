#include "AppShell.h"

#include "setup/SetupGate.h"
#include "setup/YtdlpLocator.h"
#include "shared/storage/StorageManager.h"

#include <QFile>
#include <QQmlEngine>

bool AppShell::setupDoneNow() {
    return quelmo::SetupGate::initialSetupDone(quelmo::shared::StorageManager::shared(),
                                               quelmo::YtdlpLocator::fromEnvironment());
}

AppShell::AppShell(QObject* parent) : QObject(parent) {
    initialSetupDone_ = setupDoneNow();
    screenReportFile_ = qEnvironmentVariable("QUELMO_TEST_SCREEN_FILE");
}

AppShell* AppShell::create(QQmlEngine*, QJSEngine*) { return new AppShell(); }

std::unique_ptr<quelmo::QuelmoViewModel> AppShell::startDeckIfSetUp() {
    if (!setupDoneNow()) {
        return nullptr;
    }
    auto deck = std::make_unique<quelmo::QuelmoViewModel>();
    QQmlEngine::setObjectOwnership(deck.get(), QQmlEngine::CppOwnership);
    deck->prepareAudioEngineIfNeeded();
    startedDeck_ = deck.get();
    return deck;
}

void AppShell::reportScreen(const QString& name) {
    if (screenReportFile_.isEmpty()) {
        return;
    }
    QFile file(screenReportFile_);
    if (file.open(QIODevice::Append | QIODevice::Text)) {
        file.write(name.toUtf8() + '\n');
    }
}
