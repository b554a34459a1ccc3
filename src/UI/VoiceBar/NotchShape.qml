import QtQuick
import Sonorvelle.VoiceBar

// The notch tab's near-black background: square at the top, where it hangs from the screen's
// edge, round at the bottom.
Item {
    Rectangle {
        anchors.fill: parent
        radius: 13
        color: VoiceBarTheme.nearBlack
    }
    Rectangle {
        width: parent.width
        height: parent.height / 2
        color: VoiceBarTheme.nearBlack
    }
}
