// Application entry: one window titled "Quelmo" showing the root view. Closing it quits.

#include "DiscoWindowManager.h"
#include "QuitOnSignal.h"
#include "OverlayWindowManager.h"
#include "SceneGeometryReport.h"
#include "SymbolIcons.h"
#include "keys/LocalKeyMonitor.h"
#include "overlay/QuelmoOverlayPresenter.h"
#include "util/OrderlyExit.h"
#include "visualizer/KeyboardVisualizerManager.h"

#include <QGuiApplication>
#include <QFileInfo>
#include <QIcon>
#include <QQuickWindow>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QUrl>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(QuelmoPlugin)

int main(int argc, char* argv[]) {
    const QString geometryFile = qEnvironmentVariable("QUELMO_TEST_GEOMETRY_FILE");
    if (!geometryFile.isEmpty()) {
        quelmo::SceneGeometryReport::ignoreRequestsForNow();
    }
    // The key listener, the full-screen windows that stay on top and the Caps Lock check speak
    // X11. In a Wayland session with XWayland, Quelmo runs on XWayland, unless the user chose a
    // platform; without XWayland it runs on Wayland and says that other applications' keys are
    // not heard.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QGuiApplication app(argc, argv);
    QGuiApplication::setOrganizationName(QStringLiteral("Quelmo"));
    QGuiApplication::setApplicationName(QStringLiteral("Quelmo"));
    QGuiApplication::setDesktopFileName(QStringLiteral("quelmo"));
    QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("quelmo")));
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    // A session ending or a kill quits as a window close does: downloads, capture and the sound
    // server's state are put back in order.
    quelmo::QuitOnSignal quitOnSignal;
    // Every way out stops the sound, the key listeners and the devices first: a quit through the
    // event loop, and Qt's own exit() when the X server goes away.
    quelmo::OrderlyExit::guardProcess();
    quelmo::OrderlyExit::add(&app, [] { quelmo::KeyboardVisualizerManager::shared().stopMonitoring(); });
    // Without a GPU (no DRM render node), OpenGL would be emulated on the CPU: Qt Quick's own
    // software renderer draws these flat 2D views for a fraction of the memory and start-up time.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") && !QFileInfo::exists(QStringLiteral("/dev/dri"))) {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    }

    quelmo::installKeyboardHost();
    QQmlApplicationEngine engine;
    engine.addImageProvider(QStringLiteral("symbol"), new quelmo::SymbolImageProvider);
    quelmo::OverlayWindowManager overlayWindows(&engine);
    quelmo::QuelmoOverlayPresenter::shared().setHost(&overlayWindows);
    quelmo::DiscoWindowManager discoWindow(&engine);
    quelmo::KeyboardVisualizerManager::shared().setDiscoWindowHost(&discoWindow);

    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &app, [] { QCoreApplication::exit(1); },
        Qt::QueuedConnection);
    engine.load(QUrl(QStringLiteral("qrc:/Quelmo/Main.qml")));
    if (engine.rootObjects().isEmpty()) {
        return 1;
    }
    // End-to-end tests find controls by their accessible names in this file (see AppShell.h).
    std::unique_ptr<quelmo::SceneGeometryReport> geometryReport;
    if (!geometryFile.isEmpty()) {
        if (auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst())) {
            geometryReport = std::make_unique<quelmo::SceneGeometryReport>(window, geometryFile);
        }
    }
    // Closing the main window quits, even while a perform card is still on screen.
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &app, &QCoreApplication::quit);
    const int status = QGuiApplication::exec();
    quelmo::OrderlyExit::runAll(); // done on aboutToQuit already, unless exec() never ran the loop
    // The card's windows and its pending hide go while the application still exists.
    quelmo::QuelmoOverlayPresenter::shared().setHost(nullptr);
    quelmo::QuelmoOverlayPresenter::shared().dismissAll();
    quelmo::KeyboardVisualizerManager::shared().setDiscoWindowHost(nullptr);
    quelmo::KeyboardVisualizerManager::shared().stopMonitoring();
    quelmo::OrderlyExit::disarm();
    return status;
}
