import QtQuick
import Sonorvelle.Pills

// A rounded card; its rows and dividers are stacked in the order given, touching each other. The
// card has no padding of its own: the rows carry it.
Rectangle {
    id: card
    default property alias rows: column.data
    implicitHeight: column.implicitHeight
    radius: SettingsTheme.cardRadius
    color: SettingsTheme.cardFill
    border.width: SettingsTheme.hairline
    border.color: SettingsTheme.cardBorder
    Column {
        id: column
        width: card.width
        spacing: 0
    }
}
