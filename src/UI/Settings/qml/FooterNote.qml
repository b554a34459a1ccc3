import QtQuick
import Sonorvelle.Settings

Text {
    width: parent ? parent.width : implicitWidth
    leftPadding: 4
    rightPadding: 4
    wrapMode: Text.Wrap
    font.pixelSize: 11
    color: Qt.rgba(SettingsTheme.foreground.r, SettingsTheme.foreground.g, SettingsTheme.foreground.b, 0.45)
}
