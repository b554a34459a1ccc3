import QtQuick
import Sonorvelle.VoiceBar

// The seconds left in a session's last minute, on a faint warning-coloured badge.
Rectangle {
    id: badge
    required property VoiceBarModel model
    required property int seconds

    implicitWidth: label.implicitWidth + 12
    implicitHeight: label.implicitHeight + 4
    radius: 5
    color: Qt.rgba(VoiceBarTheme.warn.r, VoiceBarTheme.warn.g, VoiceBarTheme.warn.b, 0.15)

    Text {
        id: label
        objectName: "countdown"
        anchors.centerIn: parent
        text: badge.model.countdownText(badge.seconds)
        font.pixelSize: 11
        font.weight: Font.DemiBold
        color: VoiceBarTheme.warn
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
}
