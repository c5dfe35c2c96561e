#include "keys/KeyDecoding.h"

#include <QChar>

#include <algorithm>
#include <utility>

namespace quelmo::keys {
namespace {

// Kernel key numbers (linux/input-event-codes.h) to ANSI position codes.
constexpr std::pair<std::uint32_t, std::uint16_t> evdevToKeyCode[] = {
    {1, 53},   {2, 18},   {3, 19},   {4, 20},   {5, 21},   {6, 23},   {7, 22},   {8, 26},   {9, 28},
    {10, 25},  {11, 29},  {12, 27},  {13, 24},  {14, 51},  {15, 48},  {16, 12},  {17, 13},  {18, 14},
    {19, 15},  {20, 17},  {21, 16},  {22, 32},  {23, 34},  {24, 31},  {25, 35},  {26, 33},  {27, 30},
    {28, 36},  {30, 0},   {31, 1},   {32, 2},   {33, 3},   {34, 5},   {35, 4},   {36, 38},  {37, 40},
    {38, 37},  {39, 41},  {40, 39},  {41, 50},  {43, 42},  {44, 6},   {45, 7},   {46, 8},   {47, 9},
    {48, 11},  {49, 45},  {50, 46},  {51, 43},  {52, 47},  {53, 44},  {57, 49},
    // the arrows
    {103, 126}, {108, 125}, {105, 123}, {106, 124},
};

bool isPrintable(const QString& text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); });
}

} // namespace

std::uint16_t keyCodeFromEvdev(std::uint32_t evdev) {
    for (const auto& [from, to] : evdevToKeyCode) {
        if (from == evdev) {
            return to;
        }
    }
    return keyCode::unknown;
}

KeyEvent keyEventFromQt(int key, Qt::KeyboardModifiers modifiers, const QString& text, std::uint32_t nativeScanCode,
                        bool autoRepeat, bool capsLockOn) {
    KeyEvent event;
    event.isAutoRepeat = autoRepeat;
    if (nativeScanCode >= 8) {
        event.keyCode = keyCodeFromEvdev(nativeScanCode - 8);
    }
    if (event.keyCode == keyCode::unknown) {
        // Without a scan code (a synthesised event) the keys the deck handles by position still map.
        switch (key) {
        case Qt::Key_Up: event.keyCode = keyCode::upArrow; break;
        case Qt::Key_Down: event.keyCode = keyCode::downArrow; break;
        case Qt::Key_Escape: event.keyCode = keyCode::escape; break;
        default: break;
        }
    }
    if (modifiers.testFlag(Qt::ShiftModifier)) event.modifiers |= shift;
    if (modifiers.testFlag(Qt::ControlModifier)) event.modifiers |= command;
    if (modifiers.testFlag(Qt::MetaModifier)) event.modifiers |= control;
    if (modifiers.testFlag(Qt::AltModifier)) event.modifiers |= option;
    if (capsLockOn) event.modifiers |= capsLock;
    const bool arrow = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right;
    if (arrow) {
        event.modifiers |= numericPad | function;
    } else if (modifiers.testFlag(Qt::KeypadModifier)) {
        event.modifiers |= numericPad;
    }

    // What Qt reports as typed, unless Ctrl turned it into a control character.
    if (isPrintable(text)) {
        event.characters = text;
    }
    // Ignoring modifiers but Shift: Qt's key is the unshifted or shifted symbol for non-letters and
    // the capital for letters, so letters take their case from Shift (and Caps Lock) alone.
    if (key >= 0x20 && key <= 0xFF && key != Qt::Key_Delete) {
        QChar c(key);
        if (c.isLetter()) {
            const bool upper = modifiers.testFlag(Qt::ShiftModifier) != capsLockOn;
            c = upper ? c.toUpper() : c.toLower();
        }
        event.charactersIgnoringModifiers = QString(c);
    } else if (!event.characters.isEmpty() && !modifiers.testFlag(Qt::ControlModifier) &&
               !modifiers.testFlag(Qt::AltModifier)) {
        event.charactersIgnoringModifiers = event.characters;
    }
    return event;
}

QString keyFallbackFromKeyCode(std::uint16_t code) {
    switch (code) {
    case 18: return QStringLiteral("1");
    case 19: return QStringLiteral("2");
    case 20: return QStringLiteral("3");
    case 21: return QStringLiteral("4");
    case 23: return QStringLiteral("5");
    case 22: return QStringLiteral("6");
    case 26: return QStringLiteral("7");
    case 28: return QStringLiteral("8");
    case 12: return QStringLiteral("q");
    case 13: return QStringLiteral("w");
    case 14: return QStringLiteral("e");
    case 15: return QStringLiteral("r");
    case 17: return QStringLiteral("t");
    case 16: return QStringLiteral("y");
    case 32: return QStringLiteral("u");
    case 34: return QStringLiteral("i");
    case 49: return QStringLiteral(" ");
    case 1: return QStringLiteral("s");
    case 46: return QStringLiteral("m");
    case 11: return QStringLiteral("b");
    case 38: return QStringLiteral("j");
    case 37: return QStringLiteral("l");
    case 27: return QStringLiteral("-");
    case 24: return QStringLiteral("=");
    case 0: return QStringLiteral("a");
    case 33: return QStringLiteral("[");
    case 30: return QStringLiteral("]");
    default: return {};
    }
}

} // namespace quelmo::keys
