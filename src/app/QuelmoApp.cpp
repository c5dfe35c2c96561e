// Application entry: one window titled "Quelmo" showing the root view. Closing it quits.

#include <QGuiApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QUrl>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    QGuiApplication::setOrganizationName(QStringLiteral("Quelmo"));
    QGuiApplication::setApplicationName(QStringLiteral("Quelmo"));
    QGuiApplication::setDesktopFileName(QStringLiteral("quelmo"));
    QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("quelmo")));
    QGuiApplication::setQuitOnLastWindowClosed(true);
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    QQmlApplicationEngine engine;
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &app, [] { QCoreApplication::exit(1); },
        Qt::QueuedConnection);
    engine.load(QUrl(QStringLiteral("qrc:/Quelmo/Main.qml")));
    if (engine.rootObjects().isEmpty()) {
        return 1;
    }
    return QGuiApplication::exec();
}
