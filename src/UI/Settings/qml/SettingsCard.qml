import QtQuick
import Sonorvelle.Settings

// A rounded card; its rows and dividers are stacked in the order given, touching each other.
Rectangle {
    id: card
    default property alias rows: column.data
    implicitHeight: column.implicitHeight
    radius: 12
    color: Qt.rgba(SettingsTheme.foreground.r, SettingsTheme.foreground.g, SettingsTheme.foreground.b, 0.055)
    border.width: 0.5
    border.color: Qt.rgba(SettingsTheme.foreground.r, SettingsTheme.foreground.g, SettingsTheme.foreground.b, 0.07)
    Column {
        id: column
        width: card.width
        spacing: 0
    }
}
