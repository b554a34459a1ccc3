import QtQuick
import Sonorvelle.Pills

// The key caps of one key combination, one chip per part in the order given; the caller splits
// the combination. Equal parts give separate chips.
Row {
    id: chips
    property var parts: []
    spacing: SettingsTheme.chipSpacing

    Accessible.role: Accessible.StaticText
    Accessible.name: parts.join(" ")

    Repeater {
        model: chips.parts.length
        delegate: Rectangle {
            required property int index
            objectName: "keyChip"
            anchors.verticalCenter: parent ? parent.verticalCenter : undefined
            width: Math.max(SettingsTheme.chipMinWidth, cap.implicitWidth) + 2 * SettingsTheme.chipPadding
            height: SettingsTheme.chipHeight
            radius: SettingsTheme.chipRadius
            color: SettingsTheme.chipFill
            border.width: SettingsTheme.hairline
            border.color: SettingsTheme.chipBorder
            // qmllint disable unqualified
            Text {
                id: cap
                anchors.centerIn: parent
                text: chips.parts[parent.index]
                font.pixelSize: SettingsTheme.chipFontSize
                color: SettingsTheme.foreground
            }
            // qmllint enable unqualified
        }
    }
}
