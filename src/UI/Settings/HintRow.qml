import QtQuick
import Sonorvelle.Pills
import Sonorvelle.Settings

// One usage hint of the Dictation tab: the key chips, then what they do.
Row {
    id: hint
    property var parts: []
    property string text
    spacing: 8
    KeyComboChips {
        id: chips
        anchors.verticalCenter: parent.verticalCenter
        parts: hint.parts
    }
    Text {
        anchors.verticalCenter: parent.verticalCenter
        width: hint.width - chips.width - hint.spacing
        text: hint.text
        wrapMode: Text.Wrap
        font.pixelSize: 12
        color: SettingsTheme.secondaryText
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
}
