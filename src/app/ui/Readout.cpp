#include "Readout.h"

#include "deck/PadPerformance.h"

#include <QDebug>

#include <array>
#include <cmath>
#include <cstdio>
#include <algorithm>

namespace quelmo {

namespace {

struct Conversion {
    qsizetype begin = 0; // index of '%'
    qsizetype end = 0;   // one past the conversion letter
    bool zeroPad = false;
    int width = 0;
    int precision = 6;
    char letter = 'f';
};

// Up to two decimal digits at text[i]; advances i. -1 when there are more.
int readSmallNumber(QStringView text, qsizetype& i) {
    int value = 0;
    int digits = 0;
    while (i < text.size() && text[i].isDigit()) {
        if (++digits > 2) {
            return -1;
        }
        value = value * 10 + text[i].digitValue();
        ++i;
    }
    return value;
}

std::optional<Conversion> parseConversion(QStringView text, qsizetype start) {
    Conversion c;
    c.begin = start;
    qsizetype i = start + 1;
    if (i < text.size() && text[i] == u'0') {
        c.zeroPad = true;
        ++i;
    }
    c.width = readSmallNumber(text, i);
    if (c.width < 0) {
        return std::nullopt;
    }
    bool precisionGiven = false;
    if (i < text.size() && text[i] == u'.') {
        ++i;
        c.precision = readSmallNumber(text, i);
        if (c.precision < 0) {
            return std::nullopt;
        }
        precisionGiven = true;
    }
    if (i >= text.size()) {
        return std::nullopt;
    }
    if (text[i] == u'f') {
        c.letter = 'f';
    } else if (text[i] == u'd' && !precisionGiven) {
        c.letter = 'd';
    } else {
        return std::nullopt;
    }
    c.end = i + 1;
    return c;
}

QString literal(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == u'%') {
            ++i; // "%%": checked by the caller
        }
    }
    return out;
}

QString number(const Conversion& c, double value) {
    std::array<char, 512> buffer{}; // %.99f of the largest double fits
    if (c.letter == 'f') {
        if (c.zeroPad) {
            std::snprintf(buffer.data(), buffer.size(), "%0*.*f", c.width, c.precision, value);
        } else {
            std::snprintf(buffer.data(), buffer.size(), "%*.*f", c.width, c.precision, value);
        }
    } else {
        constexpr double limit = 9.2e18; // inside long long
        // A slider's step times 100 lands a hair under the whole number it stands for (0.29 x 100 is
        // 28.999...), so the value is nudged away from zero by far less than any readout can show
        // before it is truncated: 29 % reads "29%", never "28%".
        const double nudge = std::copysign(1e-9 * std::max(1.0, std::abs(value)), value);
        const double whole = std::isnan(value) ? 0.0 : std::clamp(std::trunc(value + nudge), -limit, limit);
        const auto integer = static_cast<long long>(whole);
        if (c.zeroPad) {
            std::snprintf(buffer.data(), buffer.size(), "%0*lld", c.width, integer);
        } else {
            std::snprintf(buffer.data(), buffer.size(), "%*lld", c.width, integer);
        }
    }
    return QString::fromLatin1(buffer.data());
}

} // namespace

std::optional<QString> formatReadout(QStringView format, double value) {
    std::optional<Conversion> conversion;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] != u'%') {
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == u'%') {
            ++i;
            continue;
        }
        if (conversion) {
            return std::nullopt; // a second conversion
        }
        conversion = parseConversion(format, i);
        if (!conversion) {
            return std::nullopt;
        }
        i = conversion->end - 1;
    }
    if (!conversion) {
        return std::nullopt;
    }
    return literal(format.first(conversion->begin)) + number(*conversion, value) +
           literal(format.sliced(conversion->end));
}

QString Readout::format(const QString& format, double value) const {
    if (auto text = formatReadout(format, value)) {
        return *text;
    }
    qWarning().noquote() << "Quelmo: refused readout format" << format;
    return {};
}

QStringList Readout::padKeyLetters() const { return PadPerformance::padKeyLetters(); }

} // namespace quelmo
