import QtQuick
import Sonorvelle.VoiceBar

// The classic bar's level graph: one bar per level, oldest on the left, growing up and down from
// the middle line.
Row {
    id: waveform
    required property VoiceBarModel model
    required property var levels
    property real barScale: 25
    property real base: 3
    property real frameHeight: 28
    property color barColor: VoiceBarTheme.accent

    spacing: 2
    height: frameHeight

    Repeater {
        model: waveform.levels.length
        // qmllint disable unqualified
        Rectangle {
            required property int index
            anchors.verticalCenter: parent.verticalCenter
            width: 2
            radius: 1
            color: waveform.barColor
            height: waveform.model.barHeight(waveform.levels[index], waveform.barScale,
                                             waveform.base)
            Behavior on height { NumberAnimation { duration: 60; easing.type: Easing.Linear } }
        }
        // qmllint enable unqualified
    }
}
