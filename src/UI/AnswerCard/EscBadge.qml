import QtQuick
import Sonorvelle.AnswerCard

// The "esc" hint: Escape closes the card (through the hotkeys, not through this badge, which
// reacts to nothing).
Rectangle {
    implicitWidth: label.implicitWidth + 14
    implicitHeight: label.implicitHeight + 6
    radius: 5
    color: "transparent"
    border.color: CardTheme.white(0.25)
    border.width: 1

    Text {
        id: label
        anchors.centerIn: parent
        text: "esc"
        font.pixelSize: 11
        font.weight: Font.Medium
        font.family: "monospace"
        color: CardTheme.white(0.4)
    }
}
