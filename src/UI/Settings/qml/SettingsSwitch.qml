import QtQuick
import QtQuick.Controls
import Sonorvelle.Settings

// The on/off switch of a row; its accessible name is the row's title.
Switch {
    id: control
    property string accessibleName
    text: ""
    padding: 0
    spacing: 0
    implicitWidth: 38
    implicitHeight: 22
    Accessible.name: accessibleName
    indicator: Rectangle {
        x: 0
        y: 0
        implicitWidth: 38
        implicitHeight: 22
        radius: 11
        color: control.checked ? SettingsTheme.accent
                               : Qt.rgba(SettingsTheme.foreground.r, SettingsTheme.foreground.g,
                                         SettingsTheme.foreground.b, 0.16)
        border.width: control.visualFocus ? 2 : 0
        border.color: Qt.lighter(SettingsTheme.accent, 1.4)
        Rectangle {
            x: control.checked ? parent.width - width - 2 : 2
            y: 2
            width: 18
            height: 18
            radius: 9
            color: "white"
            Behavior on x { NumberAnimation { duration: 120 } }
        }
    }
}
