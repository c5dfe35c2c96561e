// Application entry: one window titled "Quelmo" showing the root view. Closing it quits.

#include "AppShell.h"
#include "DiscoWindowManager.h"
#include "OverlayWindowManager.h"
#include "SceneGeometryReport.h"
#include "SymbolIcons.h"
#include "keys/LocalKeyMonitor.h"
#include "overlay/QuelmoOverlayPresenter.h"
#include "shell/CommandLine.h"
#include "shell/DesktopIdentity.h"
#include "shell/SignalPipe.h"
#include "shell/SingleInstance.h"
#include "shell/WindowActivation.h"
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

#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

Q_IMPORT_QML_PLUGIN(QuelmoPlugin)

namespace {

// Qt names the X11 window's class instance after the program unless told otherwise; the desktop
// entry's StartupWMClass and the Wayland app id are the application id, so the window says so too.
std::vector<char*> argumentsForQt(int argc, char* argv[], const QStringList& arguments) {
    static QByteArray nameOption = "-name";
    static QByteArray appId = quelmo::DesktopIdentity::appId.toUtf8();
    const bool named = arguments.contains(QStringLiteral("-name")) || arguments.contains(QStringLiteral("--name"));
    std::vector<char*> result;
    result.reserve(std::size_t(argc) + 3);
    for (int i = 0; i < argc; ++i) {
        result.push_back(argv[i]);
        if (i == 0 && !named) {
            result.push_back(nameOption.data());
            result.push_back(appId.data());
        }
    }
    result.push_back(nullptr);
    return result;
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    // --help, --version and mistakes are answered before anything needs a display.
    const quelmo::CommandLine commandLine = quelmo::CommandLine::parse(arguments);
    if (commandLine.action != quelmo::CommandLine::Action::Run) {
        const bool ok = commandLine.action == quelmo::CommandLine::Action::PrintAndSucceed;
        std::fputs(commandLine.text.toLocal8Bit().constData(), ok ? stdout : stderr);
        return ok ? 0 : 2;
    }
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
    // Read before Qt takes them for its own window.
    QByteArray activationToken = qgetenv("XDG_ACTIVATION_TOKEN");
    if (activationToken.isEmpty()) {
        activationToken = qgetenv("DESKTOP_STARTUP_ID");
    }
    std::vector<char*> qtArguments = argumentsForQt(argc, argv, arguments);
    int qtArgumentCount = int(qtArguments.size()) - 1;
    QGuiApplication app(qtArgumentCount, qtArguments.data());
    QGuiApplication::setOrganizationName(quelmo::DesktopIdentity::displayName);
    QGuiApplication::setApplicationName(quelmo::DesktopIdentity::displayName);
    QGuiApplication::setApplicationVersion(quelmo::DesktopIdentity::version());
    QGuiApplication::setDesktopFileName(quelmo::DesktopIdentity::appId);
    QGuiApplication::setWindowIcon(QIcon::fromTheme(quelmo::DesktopIdentity::appId));

    // One deck per user: a second launch brings this one's window forward and leaves before it
    // opens a sound stream or listens to a key.
    quelmo::SingleInstance instance(quelmo::SingleInstance::defaultSocketPath());
    switch (instance.claim(activationToken)) {
    case quelmo::SingleInstance::Claim::AlreadyRunning:
        if (instance.errorText().isEmpty()) {
            std::fputs("Quelmo is already running: its window was brought forward.\n", stdout);
        } else {
            std::fputs("Quelmo is already running, but it did not answer; its window may stay where it is.\n",
                       stdout);
        }
        return 0;
    case quelmo::SingleInstance::Claim::Unguarded:
        std::fprintf(stderr, "Quelmo: %s; a second launch will open a second deck.\n",
                     instance.errorText().toLocal8Bit().constData());
        break;
    case quelmo::SingleInstance::Claim::Running:
        break;
    }
    qunsetenv("XDG_ACTIVATION_TOKEN"); // used up: the tools Quelmo starts must not reuse it
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    // A session ending or a kill quits as a window close does: downloads, capture and the sound
    // server's state are put back in order.
    quelmo::SignalPipe quitOnSignal({SIGTERM, SIGINT, SIGHUP}, quelmo::SignalPipe::Afterwards::DefaultAction);
    QObject::connect(&quitOnSignal, &quelmo::SignalPipe::received, &app, &QCoreApplication::quit);
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
    // Sound first: the deck's output stream opens before the views load, and outlives them.
    const std::unique_ptr<quelmo::QuelmoViewModel> startedDeck = AppShell::startDeckIfSetUp();
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
    if (auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst())) {
        QObject::connect(&instance, &quelmo::SingleInstance::activationRequested, window,
                         [window](const QByteArray& token) { quelmo::bringWindowForward(window, token); });
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
