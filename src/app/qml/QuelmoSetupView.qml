import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Quelmo

// First-run setup screen: finds yt-dlp, or installs it, or lets the user go on without it. Its
// state lives in SetupFlow; the view only draws the card of the current state. launched() fires
// once the screen has faded out after the flow's launch action stored that setup was seen.
Rectangle {
    id: setup

    property SetupFlow flow: SetupFlow {}
    // Drives the background's glow; true from the moment the screen is shown.
    property bool pulseGlow: false
    readonly property string step: flow.stateName
    // Below this height the header shrinks and the setup card's two buttons share a row, so that
    // every card fits the smallest window the screen is made for (700 x 560).
    readonly property bool compact: height < 720

    signal launched()

    implicitWidth: 700
    implicitHeight: 560
    gradient: Gradient {
        GradientStop { position: 0; color: "#17141f" }
        GradientStop { position: 0.55; color: "#0e0c14" }
        GradientStop { position: 1; color: "#09080c" }
    }

    Component.onCompleted: {
        pulseGlow = true
        flow.checkInstallation()
    }

    Connections {
        target: setup.flow
        function onLaunched() {
            if (!leave.running && setup.opacity > 0) {
                leave.start()
            }
        }
    }

    NumberAnimation on opacity { from: 0; to: 1; duration: 400; easing.type: Easing.InOutQuad }
    NumberAnimation {
        id: leave
        target: setup; property: "opacity"; to: 0; duration: 400; easing.type: Easing.InOutQuad
        onFinished: setup.launched()
    }

    // ---- background: the faint grid and the glowing circles -------------------------------------

    GridPattern {
        anchors.fill: parent
        opacity: 0.04
    }

    // A soft disc drawn once; while pulsing, only its opacity and scale change.
    component Glow: Canvas {
        id: glow
        property color tint
        property real low: 0.35
        property int period: 3000
        property bool pulsing
        width: 420
        height: 420
        opacity: low
        onPaint: {
            const ctx = getContext("2d")
            ctx.reset()
            const r = width / 2
            const fill = ctx.createRadialGradient(r, r, 0, r, r, r)
            fill.addColorStop(0, Qt.rgba(tint.r, tint.g, tint.b, 0.45))
            fill.addColorStop(0.45, Qt.rgba(tint.r, tint.g, tint.b, 0.16))
            fill.addColorStop(1, Qt.rgba(tint.r, tint.g, tint.b, 0))
            ctx.fillStyle = fill
            ctx.fillRect(0, 0, width, height)
        }
        SequentialAnimation on opacity {
            running: glow.pulsing && glow.visible
            loops: Animation.Infinite
            NumberAnimation { to: 1; duration: glow.period; easing.type: Easing.InOutSine }
            NumberAnimation { to: glow.low; duration: glow.period; easing.type: Easing.InOutSine }
        }
        SequentialAnimation on scale {
            running: glow.pulsing && glow.visible
            loops: Animation.Infinite
            NumberAnimation { from: 0.9; to: 1.1; duration: glow.period; easing.type: Easing.InOutSine }
            NumberAnimation { from: 1.1; to: 0.9; duration: glow.period; easing.type: Easing.InOutSine }
        }
    }

    Glow { tint: "#a78bfa"; x: -140; y: -120; pulsing: setup.pulseGlow }
    Glow { tint: "#e879f9"; x: setup.width - 300; y: setup.height - 320; period: 3600; pulsing: setup.pulseGlow }
    Glow { tint: "#19d59e"; x: setup.width - 260; y: -200; width: 340; height: 340; low: 0.2; period: 4200; pulsing: setup.pulseGlow }

    // ---- pieces ------------------------------------------------------------------------------------

    // A translucent rounded card with an accent on its edge.
    component GlassCard: Rectangle {
        default property alias content: stack.data
        property color accent: "#a78bfa"
        property alias spacing: stack.spacing
        Layout.alignment: Qt.AlignHCenter
        Layout.preferredWidth: Math.min(560, (parent ? parent.width : 640) - 80)
        implicitHeight: stack.implicitHeight + 56
        radius: 22
        color: Qt.rgba(0x11 / 255, 0x10 / 255, 0x18 / 255, 0.82)
        border.width: 1
        border.color: Qt.rgba(accent.r, accent.g, accent.b, 0.35)
        ColumnLayout {
            id: stack
            anchors.fill: parent
            anchors.margins: 28
            spacing: 20
        }
    }

    // kind: "primary" (filled gradient), "secondary" (quiet panel) or "skip" (a link).
    component SetupButton: AbstractButton {
        id: button
        property string kind: "primary"
        property string symbol
        Layout.alignment: Qt.AlignHCenter
        Layout.fillWidth: kind !== "skip"
        Accessible.role: kind === "skip" ? Accessible.Link : Accessible.Button
        Accessible.name: text
        implicitHeight: kind === "skip" ? 24 : 44
        implicitWidth: row.implicitWidth + 32
        hoverEnabled: true
        background: Rectangle {
            visible: button.kind !== "skip"
            radius: 12
            opacity: button.down ? 0.8 : 1
            gradient: Gradient {
                orientation: Gradient.Horizontal
                GradientStop { position: 0; color: button.kind === "primary" ? "#e879f9" : "#252230" }
                GradientStop { position: 1; color: button.kind === "primary" ? "#a78bfa" : "#222030" }
            }
            border.width: button.kind === "primary" ? 0 : 1
            border.color: button.hovered ? "#565370" : "#302c3e"
        }
        contentItem: Item {
            implicitWidth: row.implicitWidth
            implicitHeight: row.implicitHeight
            Row {
                id: row
                anchors.centerIn: parent
                spacing: 8
                SymbolIcon {
                    visible: button.symbol.length > 0
                    anchors.verticalCenter: parent.verticalCenter
                    symbol: button.symbol
                    size: 15
                    tint: button.kind === "primary" ? "#09080c" : "white"
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: button.text
                    font.pixelSize: button.kind === "skip" ? 12 : 14
                    font.bold: button.kind !== "skip"
                    font.underline: button.kind === "skip" && button.hovered
                    color: button.kind === "primary" ? "#09080c" : button.kind === "skip" ? "#9d9ab0" : "white"
                }
            }
        }
        HoverHandler { cursorShape: Qt.PointingHandCursor }
    }

    component StepPill: Rectangle {
        property string number
        property string label
        property color accent
        implicitWidth: pillRow.implicitWidth + 22
        implicitHeight: 32
        radius: 16
        color: Qt.rgba(accent.r, accent.g, accent.b, 0.12)
        border.color: Qt.rgba(accent.r, accent.g, accent.b, 0.4)
        Row {
            id: pillRow
            anchors.centerIn: parent
            spacing: 6
            Text { text: number; color: accent; font.pixelSize: 11; font.bold: true; font.family: "monospace" }
            Text { text: label; color: "white"; font.pixelSize: 12 }
        }
    }

    component CardText: Text {
        Layout.alignment: Qt.AlignHCenter
        Layout.fillWidth: true
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        color: "white"
        font.pixelSize: 13
    }

    // ---- the screen ----------------------------------------------------------------------------------

    Flickable {
        id: scroller
        readonly property real margin: setup.compact ? 12 : 40
        anchors.fill: parent
        contentWidth: width
        contentHeight: Math.max(height, page.implicitHeight + 2 * margin)
        boundsBehavior: Flickable.StopAtBounds
        clip: true

        ColumnLayout {
            id: page
            width: parent.width
            y: Math.max(scroller.margin, (scroller.height - implicitHeight) / 2)
            spacing: setup.compact ? 14 : 28

            // Header
            ColumnLayout {
                Layout.alignment: Qt.AlignHCenter
                spacing: 8
                Item {
                    Layout.alignment: Qt.AlignHCenter
                    implicitWidth: setup.compact ? 52 : 84
                    implicitHeight: implicitWidth
                    Glow {
                        anchors.centerIn: parent
                        width: parent.width * 2; height: width
                        tint: "#e879f9"
                        low: 0.5
                        period: 1800
                        pulsing: setup.pulseGlow
                    }
                    Rectangle {
                        anchors.fill: parent
                        radius: width / 2
                        gradient: Gradient {
                            orientation: Gradient.Horizontal
                            GradientStop { position: 0; color: "#a78bfa" }
                            GradientStop { position: 1; color: "#e879f9" }
                        }
                    }
                    SymbolIcon {
                        anchors.centerIn: parent
                        symbol: "waveform.circle.fill"
                        size: setup.compact ? 26 : 40
                        tint: "white"
                    }
                }
                Text {
                    Layout.alignment: Qt.AlignHCenter
                    Layout.topMargin: setup.compact ? 0 : 8
                    text: "Quick Setup"
                    color: "white"
                    font.pixelSize: setup.compact ? 22 : 28
                    font.bold: true
                }
                Text {
                    Layout.alignment: Qt.AlignHCenter
                    text: "Quelmo PRO"
                    color: "#9d9ab0"
                    font.pixelSize: 13
                    font.letterSpacing: 2
                }
            }

            // checking
            GlassCard {
                visible: setup.step === "checking"
                accent: "#565370"
                Spinner { Layout.alignment: Qt.AlignHCenter }
                CardText { text: "Checking for yt-dlp…"; color: "#9d9ab0" }
            }

            // notInstalled: the setup card
            GlassCard {
                visible: setup.step === "notInstalled"
                accent: "#e879f9"
                SymbolIcon {
                    Layout.alignment: Qt.AlignHCenter
                    symbol: "exclamationmark.circle.fill"
                    size: 36
                    tint: "#e879f9"
                }
                ColumnLayout {
                    spacing: 6
                    CardText { text: "yt-dlp not found"; font.pixelSize: 18; font.bold: true }
                    CardText {
                        text: "Required for YouTube downloads. Install it in one click or run one Terminal command."
                        color: "#9d9ab0"
                    }
                }
                RowLayout {
                    Layout.alignment: Qt.AlignHCenter
                    spacing: 8
                    StepPill { number: "01"; label: "Open Terminal"; accent: "#e879f9" }
                    SymbolIcon { symbol: "arrow.right"; size: 12; tint: "#565370" }
                    StepPill { number: "02"; label: "Paste command"; accent: "#a78bfa" }
                    SymbolIcon { symbol: "arrow.right"; size: 12; tint: "#565370" }
                    StepPill { number: "03"; label: "Recheck below"; accent: "#19d59e" }
                }
                Rectangle {
                    Layout.fillWidth: true
                    implicitHeight: box.implicitHeight + 24
                    radius: 12
                    color: "#07060b"
                    border.color: "#252230"
                    ColumnLayout {
                        id: box
                        anchors.fill: parent
                        anchors.margins: 12
                        spacing: 8
                        Text {
                            text: "TERMINAL COMMAND"
                            color: "#565370"
                            font.pixelSize: 10
                            font.bold: true
                            font.letterSpacing: 1.5
                        }
                        RowLayout {
                            spacing: 10
                            Text {
                                Layout.fillWidth: true
                                text: setup.flow.command
                                color: "#19d59e"
                                font.family: "monospace"
                                font.pixelSize: 13
                                elide: Text.ElideRight
                            }
                            AbstractButton {
                                id: copyButton
                                text: setup.flow.copied ? "Copied!" : "Copy"
                                Accessible.role: Accessible.Button
                                Accessible.name: text
                                implicitWidth: copyRow.implicitWidth + 20
                                implicitHeight: 28
                                background: Rectangle {
                                    radius: 8
                                    color: setup.flow.copied ? Qt.rgba(0x19 / 255, 0xd5 / 255, 0x9e / 255, 0.18) : "#222030"
                                    border.color: setup.flow.copied ? "#19d59e" : "#302c3e"
                                }
                                contentItem: Item {
                                    Row {
                                        id: copyRow
                                        anchors.centerIn: parent
                                        spacing: 6
                                        SymbolIcon {
                                            anchors.verticalCenter: parent.verticalCenter
                                            symbol: setup.flow.copied ? "checkmark" : "doc.on.doc"
                                            size: 12
                                            tint: setup.flow.copied ? "#19d59e" : "white"
                                        }
                                        Text {
                                            anchors.verticalCenter: parent.verticalCenter
                                            text: copyButton.text
                                            color: setup.flow.copied ? "#19d59e" : "white"
                                            font.pixelSize: 12
                                            font.bold: true
                                        }
                                    }
                                }
                                onClicked: setup.flow.copyCommand()
                                HoverHandler { cursorShape: Qt.PointingHandCursor }
                            }
                        }
                    }
                }
                GridLayout {
                    columns: setup.compact ? 2 : 1
                    columnSpacing: 10
                    rowSpacing: 10
                    SetupButton {
                        text: "Auto-Install yt-dlp"
                        symbol: "arrow.down.circle.fill"
                        onClicked: setup.flow.autoInstall()
                    }
                    SetupButton {
                        text: "Check Again"
                        symbol: "arrow.clockwise"
                        kind: "secondary"
                        onClicked: setup.flow.checkInstallation()
                    }
                }
                SetupButton {
                    text: "Skip for now — launch without YouTube downloads"
                    kind: "skip"
                    onClicked: setup.flow.launch()
                }
            }

            // installing
            GlassCard {
                visible: setup.step === "installing"
                accent: "#a78bfa"
                Spinner { Layout.alignment: Qt.AlignHCenter; tint: "#a78bfa" }
                ColumnLayout {
                    spacing: 6
                    CardText { text: "Installing yt-dlp…"; font.pixelSize: 16; font.bold: true }
                    CardText { text: "This may take a minute. Do not close the app."; color: "#9d9ab0" }
                }
                Rectangle {
                    visible: setup.flow.installLog.length > 0
                    Layout.fillWidth: true
                    implicitHeight: log.implicitHeight + 20
                    radius: 10
                    color: "#07060b"
                    Text {
                        id: log
                        anchors.fill: parent
                        anchors.margins: 10
                        text: setup.flow.installLog
                        textFormat: Text.PlainText
                        color: "#9d9ab0"
                        font.family: "monospace"
                        font.pixelSize: 11
                        wrapMode: Text.WrapAnywhere
                        maximumLineCount: 4
                        elide: Text.ElideRight
                    }
                }
            }

            // installFailed
            GlassCard {
                visible: setup.step === "installFailed"
                accent: "#f87171"
                SymbolIcon {
                    Layout.alignment: Qt.AlignHCenter
                    symbol: "xmark.circle.fill"
                    size: 36
                    tint: "#f87171"
                }
                ColumnLayout {
                    spacing: 8
                    CardText { text: "Auto-install failed"; font.pixelSize: 15; font.bold: true }
                    CardText {
                        objectName: "failureMessage"
                        text: setup.flow.failureMessage
                        textFormat: Text.PlainText
                        color: "#f87171"
                        font.pixelSize: 12
                        maximumLineCount: 3
                        elide: Text.ElideRight
                    }
                    CardText {
                        text: "Try pasting the command above into Terminal manually, then click Check Again."
                        color: "#9d9ab0"
                        font.pixelSize: 12
                    }
                }
                ColumnLayout {
                    spacing: 10
                    SetupButton {
                        text: "Check Again"
                        symbol: "arrow.clockwise"
                        kind: "secondary"
                        onClicked: setup.flow.checkInstallation()
                    }
                    SetupButton {
                        text: "Skip for now"
                        kind: "skip"
                        onClicked: setup.flow.launch()
                    }
                }
            }

            // installed, success
            GlassCard {
                visible: setup.step === "installed" || setup.step === "success"
                accent: "#19d59e"
                spacing: 24
                SymbolIcon {
                    Layout.alignment: Qt.AlignHCenter
                    symbol: "checkmark.circle.fill"
                    size: 40
                    tint: "#19d59e"
                }
                ColumnLayout {
                    spacing: 6
                    CardText { text: "yt-dlp is installed"; font.pixelSize: 18; font.bold: true }
                    CardText { text: "YouTube downloads are ready — launching Quelmo now."; color: "#9d9ab0" }
                }
                SetupButton {
                    text: "Launch Quelmo"
                    symbol: "play.fill"
                    onClicked: setup.flow.launch()
                }
            }
        }
    }
}
