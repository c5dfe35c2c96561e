#pragma once

#include <QObject>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

// What the root view needs from outside QML: the setup gate's answer at start-up and a report of
// the screen on show for the end-to-end tests.
//
// QUELMO_YTDLP_PROBE_PATHS (colon-separated) replaces the places yt-dlp is looked for, everywhere
// (quelmo::YtdlpLocator), and
// QUELMO_TEST_SCREEN_FILE names a file that receives the name of each screen shown, and
// QUELMO_TEST_GEOMETRY_FILE names a file the application writes, on each SIGUSR1, with where each
// control with an accessible name sits in the window (quelmo::SceneGeometryReport); all three exist for the
// end-to-end tests and change nothing when unset.
class AppShell : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool initialSetupDone READ initialSetupDone CONSTANT)

public:
    explicit AppShell(QObject* parent = nullptr);
    static AppShell* create(QQmlEngine*, QJSEngine*);

    bool initialSetupDone() const { return initialSetupDone_; }
    Q_INVOKABLE void reportScreen(const QString& name);

private:
    bool initialSetupDone_ = false;
    QString screenReportFile_;
};
