#pragma once

#include <QColor>
#include <QObject>
#include <QUrl>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

namespace quelmo {

// What the views ask of C++ for their looks: hex colours, tinted symbol icons, the perform wave.
class Style : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    Q_INVOKABLE QColor hex(const QString& text) const;
    // The named accent colours of the deck: "red", "orange", "yellow", "green", "mint", "teal",
    // "cyan", "blue", "indigo", "purple", "pink", "brown", "gray".
    Q_INVOKABLE QColor named(const QString& name) const;
    // An image source for the symbol, tinted.
    Q_INVOKABLE QString icon(const QString& symbol, const QColor& tint) const;
    Q_INVOKABLE double waveIntensity(double meter) const;
    // Where the import file dialog opens: the user's Music folder when it exists, else home.
    Q_INVOKABLE QUrl importStartFolder() const;
};

} // namespace quelmo
