import QtQuick
import Sonorvelle.Pills

// The green capsule shown in place of a button once a permission is granted.
Rectangle {
    property alias text: label.text
    implicitWidth: label.implicitWidth + 20
    implicitHeight: label.implicitHeight + 8
    radius: height / 2
    color: SettingsTheme.successFill
    Accessible.role: Accessible.StaticText
    Accessible.name: text
    Text {
        id: label
        anchors.centerIn: parent
        font.pixelSize: 11
        font.bold: true
        color: SettingsTheme.success
    }
}
