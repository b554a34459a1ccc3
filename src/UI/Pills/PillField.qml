import QtQuick
import QtQuick.Controls
import Sonorvelle.Pills

// A text field in the pill look: no bezel of its own, 10 inside on each side, on the pill-field
// fill and border. The using view gives the height (30 in the dictionary).
TextField {
    id: field
    property string accessibleName
    implicitHeight: 30
    leftPadding: SettingsTheme.pillFieldPadding
    rightPadding: SettingsTheme.pillFieldPadding
    topPadding: 0
    bottomPadding: 0
    verticalAlignment: TextInput.AlignVCenter
    font.pixelSize: 12
    color: SettingsTheme.foreground
    placeholderTextColor: SettingsTheme.tertiaryText
    selectionColor: SettingsTheme.accent
    selectedTextColor: "white"
    Accessible.name: accessibleName.length > 0 ? accessibleName : placeholderText
    background: Rectangle {
        radius: SettingsTheme.pillFieldRadius
        color: SettingsTheme.pillFieldFill
        border.width: field.activeFocus ? SettingsTheme.focusRingWidth : SettingsTheme.hairline
        border.color: field.activeFocus ? SettingsTheme.focusRing : SettingsTheme.pillFieldBorder
    }
}
