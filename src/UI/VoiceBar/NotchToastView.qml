import QtQuick
import Sonorvelle.VoiceBar

// A notice in the notch style: a near-black chip near the top edge of the screen with a symbol and
// the whole text, wrapped. A text longer than the window's height makes the notice taller (its
// window grows downwards).
Item {
    id: root
    objectName: "toast"
    required property string message
    // One of our symbol files.
    required property string icon
    // The warning colour, else a soft white.
    required property bool warnTint
    required property bool translucent
    property bool appeared: false
    readonly property color opaqueFill: VoiceBarTheme.nearBlack
    readonly property var chips: [Qt.rect(chip.x, chip.y, chip.width, chip.height)]

    implicitWidth: 480
    implicitHeight: Math.max(76, chip.y + chip.height + 8)

    Rectangle {
        id: chip
        objectName: "toastChip"
        anchors.horizontalCenter: parent.horizontalCenter
        y: 8
        width: Math.min(content.implicitWidth + 24, root.width)
        height: content.implicitHeight + 14
        radius: 13
        color: Qt.rgba(VoiceBarTheme.nearBlack.r, VoiceBarTheme.nearBlack.g,
                       VoiceBarTheme.nearBlack.b, 0.92)

        Row {
            id: content
            anchors.centerIn: parent
            spacing: 8
            SymbolIcon {
                objectName: "toastSymbol"
                anchors.verticalCenter: parent.verticalCenter
                name: root.icon
                size: 14
                tint: root.warnTint ? VoiceBarTheme.warn : Qt.rgba(1, 1, 1, 0.7)
            }
            Text {
                objectName: "toastMessage"
                anchors.verticalCenter: parent.verticalCenter
                width: Math.min(implicitWidth, root.width - 24 - 14 - 8)
                text: root.message
                textFormat: Text.PlainText
                font.pixelSize: 12
                color: Qt.rgba(1, 1, 1, 0.85)
                wrapMode: Text.Wrap
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }
    }
}
