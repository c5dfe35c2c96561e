import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import QtQuick.Templates as T
import Quelmo

// The keyboard lesson: six pages over the deck, opened by L or KEYS, always on the first page,
// closed with Done on the last page or Close. Shortcuts keep working while it is open.
Popup {
    id: trainer
    objectName: "keyboardTrainer"
    property QuelmoViewModel model
    // Keys pressed while it is open still reach the deck (the lesson has no text fields).
    readonly property bool passesShortcuts: true
    property int step: 0
    readonly property int stepCount: 6
    readonly property var stepTitles: ["Keyboard tuning", "One mix path", "Imports, YouTube & the wave",
        "Hands-on path", "Shortcut map", "Every monitored key"]

    anchors.centerIn: T.Overlay.overlay
    width: Math.min(parent ? parent.width - 40 : 640, 640)
    height: Math.min(parent ? parent.height - 40 : 700, 700)
    modal: true
    padding: 0
    closePolicy: Popup.CloseOnEscape
    onAboutToShow: step = 0
    T.Overlay.modal: Rectangle { color: Qt.rgba(0.02, 0.02, 0.05, 0.72) }
    background: Rectangle {
        radius: 16
        color: "#07060f"
        border.color: Qt.rgba(0.65, 0.55, 0.98, 0.4)
        Accessible.role: Accessible.Dialog
        Accessible.name: "Keys & training"
    }

    // Emphasised in the pages' Markdown: **bold** and `code`.
    component Hero: ColumnLayout {
        property string title
        property string subtitle
        spacing: 6
        Layout.fillWidth: true
        Text { text: parent.title; color: "white"; font.pixelSize: 22; font.bold: true; Layout.fillWidth: true; wrapMode: Text.Wrap }
        Text { text: parent.subtitle; color: "#9d9ab0"; font.pixelSize: 14; Layout.fillWidth: true; wrapMode: Text.Wrap }
    }
    component Body: Text {
        Layout.fillWidth: true
        wrapMode: Text.Wrap
        textFormat: Text.MarkdownText
        color: "#c8c6d8"
        font.pixelSize: 14
    }
    component Card: Rectangle {
        default property alias content: inner.data
        property color tint: "#a78bfa"
        Layout.fillWidth: true
        implicitHeight: inner.implicitHeight + 28
        radius: 12
        color: Qt.rgba(1, 1, 1, 0.06)
        border.color: Qt.rgba(tint.r, tint.g, tint.b, 0.35)
        ColumnLayout { id: inner; x: 14; y: 14; width: parent.width - 28; spacing: 8 }
    }

    contentItem: ColumnLayout {
        spacing: 14
        RowLayout {
            Layout.fillWidth: true
            Layout.margins: 18
            Layout.bottomMargin: 0
            Text { text: "Keys & training"; color: "white"; font.pixelSize: 15; font.bold: true }
            Item { Layout.fillWidth: true }
            NeonButton { title: "Close"; tint: "#9d9ab0"; onClicked: trainer.close() }
        }
        ColumnLayout {
            Layout.fillWidth: true
            Layout.leftMargin: 18
            Layout.rightMargin: 18
            spacing: 8
            RowLayout {
                spacing: 6
                Repeater {
                    model: trainer.stepCount
                    Rectangle {
                        Layout.fillWidth: true
                        height: 4
                        radius: 2
                        color: index <= trainer.step ? "#a78bfa" : Qt.rgba(1, 1, 1, 0.12)
                    }
                }
            }
            Text {
                objectName: "trainerStepTitle"
                text: trainer.stepTitles[trainer.step] ?? ""
                Accessible.name: text
                color: "#a78bfa"
                font.pixelSize: 12
                font.bold: true
            }
        }
        ScrollView {
            id: pageScroll
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.leftMargin: 18
            Layout.rightMargin: 18
            contentWidth: availableWidth
            clip: true
            StackLayout {
                width: pageScroll.availableWidth
                currentIndex: trainer.step
                // 0: tuning intro
                ColumnLayout {
                    spacing: 14
                    Hero {
                        title: "Tune from the keyboard"
                        subtitle: "Nudges update the real engine — the waveform flashes a short overlay with the control name and an animated level strip."
                    }
                    Card {
                        RowLayout {
                            SymbolIcon { symbol: "keyboard"; tint: "#a78bfa"; size: 16 }
                            Text { text: "Try it"; color: "white"; font.pixelSize: 14; font.bold: true }
                        }
                        Body {
                            text: "Use **`[`** **`]`** for ±5 BPM, **`-`** **`=`** for master steps, **Alt+↑ Alt+↓** for ±1 BPM, **Shift+↑ Shift+↓** for import level. After almost any letter/number, **↑** / **↓** fine-tune (master by default; **T**/**[**/**]** tempo, **I** import, **E** rack makeup)."
                        }
                    }
                }
                // 1: signal path
                ColumnLayout {
                    spacing: 14
                    Hero { title: "Pads, files & YouTube"; subtitle: "Everything funnels through the same creative rack before the master." }
                    Card {
                        tint: "#38bdf8"
                        RowLayout {
                            SymbolIcon { symbol: "slider.horizontal.3"; tint: "#38bdf8"; size: 16 }
                            Text { text: "Music & imports rack"; color: "white"; font.pixelSize: 14; font.bold: true }
                        }
                        Repeater {
                            model: ["Filter, delay, reverb, distortion", "Master tone & stereo pans", "Post-FX makeup into main meters"]
                            Text { text: "• " + modelData; color: "#c8c6d8"; font.pixelSize: 13 }
                        }
                    }
                }
                // 2: effects and imports
                ColumnLayout {
                    spacing: 14
                    Hero { title: "Imports & YouTube"; subtitle: "Everything lands on the same creative path as the pads." }
                    Body {
                        text: "Ctrl+A adds files; Ctrl+Y jumps to the YouTube field. Both run **preEffects → filter → delay → reverb → distortion → master tone → main**. The chip strip above the waveform summarizes what is active so you can see the “story” of your mix at a glance."
                    }
                    Rectangle {
                        Layout.fillWidth: true
                        implicitHeight: 40
                        radius: 12
                        color: Qt.rgba(1, 1, 1, 0.06)
                        RowLayout {
                            anchors.verticalCenter: parent.verticalCenter
                            x: 12
                            SymbolIcon { symbol: "waveform.path.ecg"; tint: "#a5b4fc"; size: 14 }
                            Text { text: "Live waveform tags"; color: "#a5b4fc"; font.pixelSize: 12; font.weight: Font.DemiBold }
                        }
                    }
                }
                // 3: hands-on checklist, its lines fading in one after another
                ColumnLayout {
                    id: checklist
                    spacing: 12
                    Hero { title: "Try this order"; subtitle: "Short checklist — each line builds on the last." }
                    Repeater {
                        model: [
                            "Nudge **BPM** and **master** with **`[`** **`]`** **`-`** **`=`** — watch the waveform overlay and deck meters.",
                            "**Ctrl+A** — add a short MP3. Start it, open the FX rack, move **FILTER** — watch the waveform chips.",
                            "**Ctrl+Y** — focus YouTube URL (yt-dlp required for downloads).",
                            "Enable **Keyboard 1–8** in Pads, tap **1–8** or **Q–I**, **Space** for transport.",
                            "**B** for Bold PA, **J** test tone, **Ctrl+R** reset FX."
                        ]
                        RowLayout {
                            id: line
                            Layout.fillWidth: true
                            spacing: 10
                            opacity: 0
                            Text { text: (index + 1) + "."; color: "#a78bfa"; font.pixelSize: 14; font.bold: true; Layout.alignment: Qt.AlignTop }
                            Body { text: modelData }
                            SequentialAnimation {
                                running: trainer.step === 3
                                PropertyAction { target: line; property: "opacity"; value: 0 }
                                PauseAnimation { duration: index * 50 }
                                NumberAnimation { target: line; property: "opacity"; to: 1; duration: 350; easing.type: Easing.OutCubic }
                            }
                        }
                    }
                }
                // 4: shortcut map
                ColumnLayout {
                    spacing: 10
                    Hero { title: "Main shortcuts"; subtitle: "Tuning keys pulse matching sliders and show a wave overlay on the waveform." }
                    Repeater {
                        model: trainer.model ? trainer.model.keyboard.shortcutTrainerRows : []
                        RowLayout {
                            Layout.fillWidth: true
                            spacing: 12
                            Rectangle {
                                implicitWidth: Math.max(64, keysText.implicitWidth + 14)
                                implicitHeight: keysText.implicitHeight + 8
                                radius: 6
                                color: Qt.rgba(1, 1, 1, 0.08)
                                border.color: Qt.rgba(1, 1, 1, 0.2)
                                Layout.alignment: Qt.AlignTop
                                Text { id: keysText; anchors.centerIn: parent; text: modelData.keys; color: "white"; font.family: "monospace"; font.pixelSize: 12 }
                            }
                            ColumnLayout {
                                Layout.fillWidth: true
                                spacing: 2
                                Text { text: modelData.title; color: "white"; font.pixelSize: 13; font.bold: true }
                                Text { text: modelData.detail; color: "#9d9ab0"; font.pixelSize: 12; wrapMode: Text.Wrap; Layout.fillWidth: true }
                            }
                        }
                    }
                    Body {
                        objectName: "syncAndAutoGainNote"
                        font.pixelSize: 11
                        text: "**SYNC** on a track's row plays it at the deck's BPM, its bars on the transport's bars: **`[`** **`]`**, **Alt+↑ ↓** and the fine nudge carry synced tracks with them. **AUTO GAIN** beside ADD AUDIO plays every track at one loudness."
                    }
                }
                // 5: every monitored key
                ColumnLayout {
                    spacing: 6
                    Text { text: "All monitored keys"; color: "white"; font.pixelSize: 18; font.bold: true }
                    Body {
                        font.pixelSize: 11
                        text: "Shortcuts are ignored while you type in a text field. Toggle **Keyboard 1–8** in the pad section if pads conflict with typing."
                    }
                    Body {
                        objectName: "keysHeardOutside"
                        font.pixelSize: 11
                        text: "**Heard outside the window:** with Keyboard 1–8 on, every key below also plays the deck while another application has the focus (on X11; on Wayland only in Quelmo's window). Keys typed into other applications show as a plain dot in the light show, never as the character typed, and no key is written to the log. Nothing is heard while a Quelmo dialog (a file chooser, a password prompt) is open."
                    }
                    Repeater {
                        objectName: "allKeysRows"
                        model: trainer.model ? trainer.model.keyboard.allShortcuts : []
                        RowLayout {
                            spacing: 8
                            Text { text: modelData.label; color: "white"; font.family: "monospace"; font.pixelSize: 12; Layout.preferredWidth: 100 }
                            Text { text: modelData.action; color: "#c8c6d8"; font.pixelSize: 12 }
                        }
                    }
                }
            }
        }
        RowLayout {
            Layout.fillWidth: true
            Layout.margins: 18
            Layout.topMargin: 0
            NeonButton {
                symbol: "chevron.left"; title: "Back"; tint: "#9d9ab0"
                enabled: trainer.step > 0
                opacity: enabled ? 1 : 0.4
                onClicked: trainer.step -= 1
            }
            Item { Layout.fillWidth: true }
            NeonButton {
                visible: trainer.step === trainer.stepCount - 1
                title: "Done"; tint: "#a78bfa"
                onClicked: trainer.close()
            }
            NeonButton {
                visible: trainer.step < trainer.stepCount - 1
                symbol: "chevron.right"; title: "Next"; tint: "#a78bfa"
                onClicked: trainer.step += 1
            }
        }
    }
}
