#include "AppShell.h"

#include "setup/SetupGate.h"

#include <QFile>
#include <QSettings>

AppShell::AppShell(QObject* parent) : QObject(parent) {
    QStringList probePaths = quelmo::SetupGate::defaultYtdlpProbePaths();
    if (qEnvironmentVariableIsSet("QUELMO_YTDLP_PROBE_PATHS")) {
        probePaths = qEnvironmentVariable("QUELMO_YTDLP_PROBE_PATHS").split(u':', Qt::SkipEmptyParts);
    }
    initialSetupDone_ = quelmo::SetupGate::initialSetupDone(QSettings(), probePaths);
    screenReportFile_ = qEnvironmentVariable("QUELMO_TEST_SCREEN_FILE");
}

AppShell* AppShell::create(QQmlEngine*, QJSEngine*) { return new AppShell(); }

void AppShell::markSetupSeen() {
    QSettings settings;
    quelmo::SetupGate::markSetupSeen(settings);
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
