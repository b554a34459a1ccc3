import QtQuick
import Sonorvelle.Settings

// The hairline between two rows, starting where the row titles start.
Item {
    width: parent ? parent.width : 0
    height: 0.5
    Rectangle {
        x: 16
        width: parent.width - 16
        height: 0.5
        color: Qt.rgba(SettingsTheme.foreground.r, SettingsTheme.foreground.g, SettingsTheme.foreground.b, 0.08)
    }
}
