import QtQuick
import Quelmo

// Three wave layers whose height follows intensity, drawn in C++ into this small area only; they
// move at 30 frames a second while the card is on screen and stand still once it is hidden.
PerformWaveItem {
    intensity: 0.2
}
