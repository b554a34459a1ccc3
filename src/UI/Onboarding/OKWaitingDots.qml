import QtQuick
import Sonorvelle.Onboarding

// Three small dots, one lit at a time and walking left to right, beside a short text.
Row {
    id: dots
    property string text
    property int phase: 0
    spacing: 7

    Accessible.role: Accessible.StaticText
    Accessible.name: text

    Row {
        anchors.verticalCenter: parent.verticalCenter
        spacing: 3
        Repeater {
            model: 3
            // qmllint disable unqualified
            Rectangle {
                required property int index
                width: 4
                height: 4
                radius: 2
                color: OKTheme.accent
                opacity: index === dots.phase ? 1 : 0.25
            }
            // qmllint enable unqualified
        }
    }
    Text {
        anchors.verticalCenter: parent.verticalCenter
        width: Math.min(implicitWidth, 296 - 7 - 18)
        wrapMode: Text.Wrap
        horizontalAlignment: Text.AlignHCenter
        text: dots.text
        font.pixelSize: 11
        color: OKTheme.tertiary
    }
    Timer {
        interval: 400
        repeat: true
        running: dots.visible
        onTriggered: dots.phase = (dots.phase + 1) % 3
    }
}
