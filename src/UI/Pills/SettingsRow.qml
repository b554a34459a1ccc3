import QtQuick
import Sonorvelle.Pills

// A row of a card: title, optional subtitle, and the control on the trailing side. The text
// column is never narrower than 180 and wraps long texts. A row that depends on another setting
// stays visible, dimmed, and takes no click while `available` is false.
Item {
    id: row
    property string title
    property string subtitle
    property int titleWeight: Font.Normal
    property bool available: true
    default property alias control: controlSlot.data

    width: parent ? parent.width : implicitWidth
    implicitHeight: Math.max(texts.implicitHeight, controlSlot.height) + 2 * SettingsTheme.rowPaddingV
    opacity: available ? 1 : 0.4
    enabled: available

    Column {
        id: texts
        x: SettingsTheme.rowPaddingH
        anchors.verticalCenter: parent.verticalCenter
        width: Math.max(SettingsTheme.rowTextMinWidth,
                        row.width - 2 * SettingsTheme.rowPaddingH - SettingsTheme.rowSpacing - controlSlot.width)
        spacing: SettingsTheme.rowTextSpacing
        Text {
            objectName: "rowTitle"
            width: parent.width
            text: row.title
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            font.pixelSize: SettingsTheme.titleSize
            font.weight: row.titleWeight
            color: SettingsTheme.foreground
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Text {
            visible: row.subtitle.length > 0
            width: parent.width
            text: row.subtitle
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            font.pixelSize: SettingsTheme.subtitleSize
            color: SettingsTheme.tertiaryText
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
    Item {
        id: controlSlot
        anchors.right: parent.right
        anchors.rightMargin: SettingsTheme.rowPaddingH
        anchors.verticalCenter: parent.verticalCenter
        width: childrenRect.width
        height: childrenRect.height
    }
}
