import QtQuick
import Sonorvelle.Pills

// A pill-shaped push button: filled with the accent colour, or outlined on the pill field. The
// whole pill takes the click; it is as wide as its title plus 12 on each side. The using view gives
// the height (24, 26 or 30).
Rectangle {
    id: button
    property string title
    property bool filled: false
    signal clicked()

    implicitWidth: label.implicitWidth + 2 * SettingsTheme.pillButtonPadding
    implicitHeight: 26
    radius: SettingsTheme.pillButtonRadius
    color: filled ? SettingsTheme.accent : (mouse.pressed ? SettingsTheme.fieldPressed : SettingsTheme.field)
    border.width: filled ? 0 : SettingsTheme.pillBorderWidth
    border.color: SettingsTheme.fieldBorder
    opacity: enabled ? 1 : 0.5
    activeFocusOnTab: true

    Accessible.role: Accessible.Button
    Accessible.name: title
    Accessible.onPressAction: if (button.enabled) button.clicked()
    Keys.onSpacePressed: button.clicked()
    Keys.onReturnPressed: button.clicked()
    Keys.onEnterPressed: button.clicked()

    // A filled pill darkens a little while held down.
    Rectangle {
        anchors.fill: parent
        radius: parent.radius
        visible: button.filled && mouse.pressed
        color: Qt.rgba(0, 0, 0, 0.15)
    }
    FocusRing { target: button }
    Text {
        id: label
        anchors.centerIn: parent
        text: button.title
        font.pixelSize: SettingsTheme.pillButtonFontSize
        font.weight: Font.DemiBold
        color: button.filled ? "white" : SettingsTheme.foreground
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        onClicked: button.clicked()
    }
}
