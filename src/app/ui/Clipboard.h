#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

namespace quelmo {

// The desktop clipboard for the views: Clipboard.setText(text) replaces what it holds with text.
class Clipboard : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;
    static Clipboard* create(QQmlEngine*, QJSEngine*) { return new Clipboard; }

    // Plain text on the clipboard (not the X11 selection); does nothing without a GUI application.
    Q_INVOKABLE static void setText(const QString& text);
};

} // namespace quelmo
