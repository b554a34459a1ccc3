import QtQuick
import Sonorvelle.Pills
import Sonorvelle.Settings

// One tab in the sidebar: the coloured chip and the title; the whole row takes the click.
Rectangle {
    id: row
    property string title
    property string glyph
    property color chipTop
    property color chipBottom
    property bool selected: false
    signal activated()

    implicitHeight: 36
    radius: 8
    color: selected ? SettingsTheme.accent : "transparent"
    activeFocusOnTab: true

    Accessible.role: Accessible.PageTab
    Accessible.name: title
    Accessible.selectable: true
    Accessible.selected: selected
    Accessible.onPressAction: if (row.enabled) activated()
    Keys.onSpacePressed: activated()
    Keys.onReturnPressed: activated()

    Rectangle {
        anchors.fill: parent
        radius: 8
        color: "transparent"
        border.width: row.activeFocus ? 2 : 0
        border.color: SettingsTheme.focusRing
    }

    Rectangle {
        id: chip
        x: 8
        anchors.verticalCenter: parent.verticalCenter
        width: 26
        height: 26
        radius: 6
        gradient: Gradient {
            GradientStop { position: 0; color: row.chipTop }
            GradientStop { position: 1; color: row.chipBottom }
        }
        border.width: 0.5
        border.color: Qt.rgba(1, 1, 1, 0.18)
        Text {
            anchors.centerIn: parent
            text: row.glyph
            color: "white"
            font.pixelSize: 13
            font.weight: Font.DemiBold
        }
    }
    Text {
        anchors.left: chip.right
        anchors.leftMargin: 10
        anchors.right: parent.right
        anchors.rightMargin: 8
        anchors.verticalCenter: parent.verticalCenter
        text: row.title
        elide: Text.ElideRight
        font.pixelSize: 13
        font.weight: Font.Medium
        color: row.selected ? "white" : SettingsTheme.foreground
    }
    MouseArea {
        anchors.fill: parent
        onClicked: row.activated()
    }
}
