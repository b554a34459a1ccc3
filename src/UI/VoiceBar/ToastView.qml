import QtQuick
import QtQuick.Layouts
import Sonorvelle.VoiceBar

// A notice in the classic style: a symbol and the whole text, wrapped, on the HUD background. A
// text longer than the bar's height makes the notice taller (its window grows upwards).
Rectangle {
    id: root
    objectName: "toast"
    required property string message
    // One of our symbol files.
    required property string icon
    // The warning colour, else the secondary text colour.
    required property bool warnTint
    required property bool translucent
    property bool appeared: false
    readonly property color opaqueFill: VoiceBarTheme.hudOpaqueFill

    implicitWidth: 380
    implicitHeight: Math.max(44, messageText.contentHeight + 24)
    radius: 14
    color: translucent ? VoiceBarTheme.hudFill : VoiceBarTheme.hudOpaqueFill

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 14
        anchors.rightMargin: 14
        spacing: 10

        SymbolIcon {
            objectName: "toastSymbol"
            Layout.preferredWidth: 15
            Layout.preferredHeight: 15
            name: root.icon
            size: 15
            tint: root.warnTint ? VoiceBarTheme.warn : VoiceBarTheme.secondaryText
        }
        Text {
            id: messageText
            objectName: "toastMessage"
            Layout.fillWidth: true
            text: root.message
            textFormat: Text.PlainText
            font.pixelSize: 12
            color: VoiceBarTheme.secondaryText
            wrapMode: Text.Wrap
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
}
