import QtQuick
import Quelmo

// A symbol from the deck's icon set, tinted.
Image {
    property string symbol
    property color tint: "white"
    property int size: 16
    width: size
    height: size
    sourceSize: Qt.size(size * 2, size * 2)
    source: symbol.length > 0 ? Style.icon(symbol, tint) : ""
    smooth: true
}
