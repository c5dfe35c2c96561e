import QtQuick
import QtQuick.Layouts
import Quelmo

// A symbol from the deck's icon set, tinted.
Image {
    property string symbol
    property color tint: "white"
    property int size: 16
    width: size
    height: size
    // Layouts go by an item's implicit size, which for an image is its (doubled) source.
    Layout.preferredWidth: size
    Layout.preferredHeight: size
    sourceSize: Qt.size(size * 2, size * 2)
    source: symbol.length > 0 ? Style.icon(symbol, tint) : ""
    smooth: true
}
