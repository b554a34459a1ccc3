import QtQuick
import Sonorvelle.Pills

// The hairline between two rows of a card, from where the row titles start to the card's trailing
// edge. A row hidden by a condition hides the divider above it too (bind both to the condition).
Item {
    width: parent ? parent.width : 0
    height: SettingsTheme.hairline
    Rectangle {
        x: SettingsTheme.dividerInset
        width: parent.width - SettingsTheme.dividerInset
        height: SettingsTheme.hairline
        color: SettingsTheme.divider
    }
}
