#pragma once

#include "deck/QuelmoViewModel.h"

#include <QObject>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <memory>

class QQmlEngine;
class QJSEngine;

// What the root view needs from outside QML: the setup gate's answer at start-up, the deck already
// sounding when the set-up was done before, and a report of the screen on show for the end-to-end
// tests.
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
    Q_PROPERTY(quelmo::QuelmoViewModel* startedDeck READ startedDeck CONSTANT)

public:
    explicit AppShell(QObject* parent = nullptr);
    static AppShell* create(QQmlEngine*, QJSEngine*);

    bool initialSetupDone() const { return initialSetupDone_; }
    // With the set-up done, the application makes the deck before it loads the views: the graph is
    // built and the output stream opens while QML compiles, so a key pressed as the window maps
    // sounds. The caller keeps the deck until the views are gone; the deck view takes it as its
    // model, and makes its own where there is none (the first run, the view tests).
    static std::unique_ptr<quelmo::QuelmoViewModel> startDeckIfSetUp();
    quelmo::QuelmoViewModel* startedDeck() const { return startedDeck_; }
    Q_INVOKABLE void reportScreen(const QString& name);

private:
    static bool setupDoneNow();
    static inline quelmo::QuelmoViewModel* startedDeck_ = nullptr;
    bool initialSetupDone_ = false;
    QString screenReportFile_;
};
