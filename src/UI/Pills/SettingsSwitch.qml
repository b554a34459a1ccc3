import QtQuick
import QtQuick.Controls
import Sonorvelle.Pills

// The on/off switch of a row; its accessible name is the row's title. Views write the setting in
// `onToggled`, so a screen reader's toggle goes through the same signal as a click.
Switch {
    id: control
    property string accessibleName
    text: ""
    padding: 0
    spacing: 0
    implicitWidth: 38
    implicitHeight: 22
    Accessible.name: accessibleName
    Accessible.onToggleAction: if (control.enabled) { control.toggle(); control.toggled() }
    Accessible.onPressAction: if (control.enabled) { control.toggle(); control.toggled() }
    indicator: Rectangle {
        x: 0
        y: 0
        implicitWidth: 38
        implicitHeight: 22
        radius: 11
        color: control.checked ? SettingsTheme.accent : SettingsTheme.switchTrack
        Rectangle {
            anchors.fill: parent
            anchors.margins: -3
            radius: height / 2
            visible: control.visualFocus
            color: "transparent"
            border.width: SettingsTheme.focusRingWidth
            border.color: SettingsTheme.focusRing
        }
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
