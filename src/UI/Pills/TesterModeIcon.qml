import QtQuick
import Sonorvelle.Pills

// The application icon of the sidebar footer; a red ring shows while tester mode is on.
Item {
    id: icon
    property real size: 52
    property bool enabledRing: false
    signal tapped()
    width: size
    height: size
    Accessible.role: Accessible.Graphic
    Accessible.name: "Sonorvelle"

    AppIconView { anchors.fill: parent; size: icon.size }
    Rectangle {
        objectName: "testerRing"
        anchors.centerIn: parent
        width: icon.size + 8
        height: icon.size + 8
        radius: icon.size * 0.225 + 3
        color: "transparent"
        border.width: 2
        border.color: SettingsTheme.danger
        opacity: icon.enabledRing ? 1 : 0
    }
    MouseArea {
        anchors.fill: parent
        onClicked: icon.tapped()
    }
}
