import QtQuick
import Sonorvelle.Pills
import Sonorvelle.Settings

// The borderless delete button of a list row: a bin in a 26 × 22 frame that takes the click over
// its whole rectangle, reachable by keyboard.
Rectangle {
    id: trash
    property string accessibleName
    signal clicked()

    width: 26
    height: 22
    radius: 5
    color: "transparent"
    activeFocusOnTab: true
    Accessible.role: Accessible.Button
    Accessible.name: accessibleName
    Accessible.onPressAction: if (trash.enabled) trash.clicked()
    Keys.onSpacePressed: trash.clicked()
    Keys.onReturnPressed: trash.clicked()
    Keys.onEnterPressed: trash.clicked()
    FocusRing { target: trash }

    // A bin: lid, handle and body.
    Item {
        anchors.centerIn: parent
        width: 10
        height: 12
        opacity: trashMouse.pressed ? 0.6 : 1
        Rectangle { x: 3.5; y: 0; width: 3; height: 1.4; color: SettingsTheme.tertiaryText }
        Rectangle { x: 0; y: 1.6; width: 10; height: 1.4; color: SettingsTheme.tertiaryText }
        Rectangle {
            x: 1.2; y: 3.6; width: 7.6; height: 8.4; radius: 1.2
            color: "transparent"
            border.width: 1.3
            border.color: SettingsTheme.tertiaryText
        }
    }
    MouseArea {
        id: trashMouse
        anchors.fill: parent
        onClicked: trash.clicked()
    }
}
