import QtQuick
import Sonorvelle.Settings

// A row of a card: title, optional subtitle, and the control on the trailing side. A row that
// depends on another setting is dimmed and takes no click while `available` is false.
Item {
    id: row
    property string title
    property string subtitle
    property int titleWeight: Font.Normal
    property bool available: true
    default property alias control: controlSlot.data

    width: parent ? parent.width : implicitWidth
    implicitHeight: Math.max(texts.implicitHeight, controlSlot.childrenRect.height) + 26
    opacity: available ? 1 : 0.4
    enabled: available

    Column {
        id: texts
        x: 16
        anchors.verticalCenter: parent.verticalCenter
        width: Math.max(180, row.width - 32 - 12 - controlSlot.width)
        spacing: 2
        Text {
            width: parent.width
            text: row.title
            wrapMode: Text.Wrap
            font.pixelSize: 13
            font.weight: row.titleWeight
            color: SettingsTheme.foreground
        }
        Text {
            visible: row.subtitle.length > 0
            width: parent.width
            text: row.subtitle
            wrapMode: Text.Wrap
            font.pixelSize: 11
            color: Qt.rgba(SettingsTheme.foreground.r, SettingsTheme.foreground.g, SettingsTheme.foreground.b, 0.45)
        }
    }
    Item {
        id: controlSlot
        anchors.right: parent.right
        anchors.rightMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        width: childrenRect.width
        height: childrenRect.height
    }
}
