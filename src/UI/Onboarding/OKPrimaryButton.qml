import QtQuick
import Sonorvelle.Onboarding

// The footer's main button: accent-filled, as wide as it is given, 36 high.
Rectangle {
    id: button
    property string title
    signal clicked()

    implicitWidth: label.implicitWidth + 32
    implicitHeight: 36
    radius: 8
    color: mouse.pressed ? Qt.darker(OKTheme.accent, 1.15) : OKTheme.accent
    border.width: activeFocus ? 2 : 0
    border.color: Qt.lighter(OKTheme.accent, 1.5)
    activeFocusOnTab: true

    Accessible.role: Accessible.Button
    Accessible.name: title
    Accessible.onPressAction: if (button.enabled) clicked()
    Keys.onSpacePressed: clicked()
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()

    Text {
        id: label
        anchors.centerIn: parent
        width: Math.min(implicitWidth, button.width - 16)
        elide: Text.ElideRight
        text: button.title
        font.pixelSize: 13
        font.weight: Font.Medium
        color: "white"
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        onClicked: button.clicked()
    }
}
