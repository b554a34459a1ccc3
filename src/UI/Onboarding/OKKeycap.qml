import QtQuick
import Sonorvelle.Onboarding

// A key cap: a one-character caption sits in a 26-wide cap, a longer one widens it by 8 a side.
Rectangle {
    id: cap
    property string text
    implicitWidth: Math.max(26, label.implicitWidth + 2 * OKTheme.keycapPadding(text))
    implicitHeight: 24
    radius: 6
    color: Qt.rgba(OKTheme.primary.r, OKTheme.primary.g, OKTheme.primary.b, 0.06)
    border.width: 0.5
    border.color: Qt.rgba(OKTheme.primary.r, OKTheme.primary.g, OKTheme.primary.b, 0.12)
    Accessible.role: Accessible.StaticText
    Accessible.name: text
    Text {
        id: label
        anchors.centerIn: parent
        text: cap.text
        font.pixelSize: 12
        font.weight: Font.Medium
        color: OKTheme.primary
    }
}
