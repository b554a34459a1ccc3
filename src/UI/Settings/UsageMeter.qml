import QtQuick
import Sonorvelle.Pills
import Sonorvelle.Settings

// One meter of the usage card: the title with its figure on the trailing side, and under them a
// bar whose fill the view model measures. The fill turns to the warning colour near the limit.
Column {
    id: meter
    property string title
    property string detail
    property real fillWidth
    property bool warn
    spacing: 5

    Item {
        width: meter.width
        height: Math.max(titleText.implicitHeight, detailText.implicitHeight)
        Text {
            id: titleText
            anchors.left: parent.left
            anchors.right: detailText.left
            anchors.rightMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            elide: Text.ElideRight
            text: meter.title
            font.pixelSize: 12
            color: SettingsTheme.foreground
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Text {
            id: detailText
            objectName: "meterDetail"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            text: meter.detail
            textFormat: Text.PlainText
            font.pixelSize: 11
            color: SettingsTheme.secondaryText
            Accessible.role: Accessible.StaticText
            Accessible.name: meter.title + ": " + text
        }
    }
    Rectangle {
        objectName: "meterTrack"
        width: meter.width
        height: 6
        radius: 3
        color: Qt.rgba(SettingsTheme.foreground.r, SettingsTheme.foreground.g,
                       SettingsTheme.foreground.b, 0.08)
        Rectangle {
            objectName: "meterFill"
            width: meter.fillWidth
            height: parent.height
            radius: 3
            color: meter.warn ? SettingsTheme.warn : SettingsTheme.accent
        }
    }
}
