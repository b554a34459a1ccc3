import QtQuick
import Sonorvelle.Settings

// A pill-shaped push button: filled with the accent colour, or outlined. The whole pill takes
// the click; its width is the title's plus 24.
Rectangle {
    id: button
    property string title
    property bool filled: false
    signal clicked()

    implicitWidth: label.implicitWidth + 24
    implicitHeight: 26
    radius: height / 2
    color: filled ? SettingsTheme.accent
                  : Qt.rgba(SettingsTheme.foreground.r, SettingsTheme.foreground.g, SettingsTheme.foreground.b,
                            mouse.pressed ? 0.12 : 0.06)
    border.width: activeFocus ? 2 : (filled ? 0 : 0.5)
    border.color: activeFocus ? Qt.lighter(SettingsTheme.accent, 1.3)
                              : Qt.rgba(SettingsTheme.foreground.r, SettingsTheme.foreground.g,
                                        SettingsTheme.foreground.b, 0.14)
    opacity: enabled ? 1 : 0.5
    activeFocusOnTab: true

    Accessible.role: Accessible.Button
    Accessible.name: title
    Accessible.onPressAction: clicked()
    Keys.onSpacePressed: clicked()
    Keys.onReturnPressed: clicked()

    Text {
        id: label
        anchors.centerIn: parent
        text: button.title
        font.pixelSize: 12
        font.weight: Font.Medium
        color: button.filled ? "white" : SettingsTheme.foreground
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        onClicked: button.clicked()
    }
}
