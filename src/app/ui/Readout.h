#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace quelmo {

// Every number the deck shows is written here, with C printf semantics: "%.0f dB" of 2.5 is
// "2 dB" (exact halves go to the even neighbour) and "%.0f" of -0.4 is "-0".
//
// A format is literal text around exactly one conversion, either %[0][width][.precision]f, or
// %[0][width]d, which prints the integer part of the value (truncation toward zero, so -0.48 gives
// "0", never "-0"; a value within a billionth of a whole number counts as that number, so a
// slider's 0.29 x 100 reads 29). "%%" is a literal percent sign. Width and precision take at most two digits.
// Anything else is refused: formatReadout returns nothing and the views show an empty text.
std::optional<QString> formatReadout(QStringView format, double value);

// The pad key letters of the deck ("q" ... "i") and the number formatter, for the views.
class Readout : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QStringList padKeyLetters READ padKeyLetters CONSTANT)

public:
    using QObject::QObject;

    // formatReadout for QML; a refused format logs a warning and gives "".
    Q_INVOKABLE QString format(const QString& format, double value) const;
    QStringList padKeyLetters() const;
};

} // namespace quelmo
