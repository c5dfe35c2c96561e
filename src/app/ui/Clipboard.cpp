#include "Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace quelmo {

void Clipboard::setText(const QString& text) {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
    }
}

} // namespace quelmo
