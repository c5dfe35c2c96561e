#include "AppShell.h"

#include "setup/SetupGate.h"
#include "setup/YtdlpLocator.h"
#include "shared/storage/StorageManager.h"

#include <QFile>

AppShell::AppShell(QObject* parent) : QObject(parent) {
    initialSetupDone_ = quelmo::SetupGate::initialSetupDone(quelmo::shared::StorageManager::shared(),
                                                            quelmo::YtdlpLocator::fromEnvironment());
    screenReportFile_ = qEnvironmentVariable("QUELMO_TEST_SCREEN_FILE");
}

AppShell* AppShell::create(QQmlEngine*, QJSEngine*) { return new AppShell(); }

void AppShell::reportScreen(const QString& name) {
    if (screenReportFile_.isEmpty()) {
        return;
    }
    QFile file(screenReportFile_);
    if (file.open(QIODevice::Append | QIODevice::Text)) {
        file.write(name.toUtf8() + '\n');
    }
}
