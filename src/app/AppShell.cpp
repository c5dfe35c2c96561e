#include "AppShell.h"

#include "setup/SetupGate.h"
#include "setup/YtdlpPresence.h"

#include <QFile>
#include <QSettings>

AppShell::AppShell(QObject* parent) : QObject(parent) {
    const QStringList probePaths =
        quelmo::ytdlpProbePathsOverride().value_or(quelmo::SetupGate::defaultYtdlpProbePaths());
    initialSetupDone_ = quelmo::SetupGate::initialSetupDone(QSettings(), probePaths);
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
