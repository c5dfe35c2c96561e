#pragma once

#include "keys/KeyEvent.h"

#include <QList>
#include <QString>

namespace quelmo::keys {

// The keyboard lesson's tables; dispatch does not read them.
struct Shortcut {
    QString key;
    QString action;
    Modifiers modifiers = 0;
};
// Every monitored key, 29 rows.
const QList<Shortcut>& allShortcuts();

struct TrainerRow {
    QString keys;
    QString title;
    QString detail;
};
// The lesson's shortcut map, 16 rows.
const QList<TrainerRow>& shortcutTrainerRows();

// "Ctrl+", "Shift+", "Alt+", "Super+" for the modifiers held (in that order), then "Space" for the
// space bar or the key upper-cased: ("a", command) -> "Ctrl+A", (" ", none) -> "Space".
QString shortcutKeyLabel(const QString& key, Modifiers modifiers);

} // namespace quelmo::keys
