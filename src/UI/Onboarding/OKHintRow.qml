import QtQuick
import Sonorvelle.Onboarding

// A line of the tutorial: an optional symbol, the key caps to press, and what they do.
Row {
    id: row
    property var keys: []
    property string icon
    property string label
    // Names the caps for tests: "<key>Keycap".
    property string key
    spacing: 8

    OKSymbol {
        visible: row.icon.length > 0
        anchors.verticalCenter: parent.verticalCenter
        name: row.icon
        tint: OKTheme.accent
        size: 13
        width: 24
        fillMode: Image.PreserveAspectFit
    }
    Repeater {
        model: row.keys
        // qmllint disable unqualified
        OKKeycap {
            required property string modelData
            objectName: row.key + "Keycap"
            anchors.verticalCenter: parent.verticalCenter
            text: modelData
        }
        // qmllint enable unqualified
    }
    Text {
        anchors.verticalCenter: parent.verticalCenter
        width: Math.min(implicitWidth, (row.parent ? row.parent.width : 296) - x)
        wrapMode: Text.Wrap
        text: row.label
        font.pixelSize: 12
        color: OKTheme.secondary
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
}
