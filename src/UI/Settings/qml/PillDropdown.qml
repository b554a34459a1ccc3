import QtQuick
import QtQuick.Controls
import Sonorvelle.Settings

// A pill-shaped pop-up button: the selected option's label and a chevron. Any click on the pill
// opens the menu of options 4 points below it; choosing one reports its index. A selection that
// matches no option shows an empty label and no checked item.
Rectangle {
    id: pill
    property var options: []
    property int currentIndex: -1
    readonly property string label: currentIndex >= 0 && currentIndex < options.length
                                    ? options[currentIndex].label : ""
    readonly property alias menuOpen: menu.visible
    signal activated(int index)

    implicitWidth: 180
    implicitHeight: 28
    radius: height / 2
    color: Qt.rgba(SettingsTheme.foreground.r, SettingsTheme.foreground.g, SettingsTheme.foreground.b,
                   mouse.pressed ? 0.12 : 0.06)
    border.width: activeFocus ? 2 : 0.5
    border.color: activeFocus ? SettingsTheme.accent
                              : Qt.rgba(SettingsTheme.foreground.r, SettingsTheme.foreground.g,
                                        SettingsTheme.foreground.b, 0.14)
    activeFocusOnTab: true

    Accessible.role: Accessible.ComboBox
    Accessible.name: label
    Accessible.onPressAction: open()
    Keys.onSpacePressed: open()
    Keys.onReturnPressed: open()

    function open() {
        menu.popup(pill, 0, pill.height + 4)
    }

    Text {
        anchors.left: parent.left
        anchors.leftMargin: 12
        anchors.right: chevron.left
        anchors.rightMargin: 6
        anchors.verticalCenter: parent.verticalCenter
        text: pill.label
        elide: Text.ElideRight
        font.pixelSize: 13
        color: SettingsTheme.foreground
    }
    Text {
        id: chevron
        anchors.right: parent.right
        anchors.rightMargin: 10
        anchors.verticalCenter: parent.verticalCenter
        text: "\u25BE"
        font.pixelSize: 11
        color: Qt.rgba(SettingsTheme.foreground.r, SettingsTheme.foreground.g, SettingsTheme.foreground.b, 0.6)
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        onClicked: pill.open()
    }

    Menu {
        id: menu
        objectName: "dropdownMenu"
        width: Math.max(pill.width, implicitWidth)
        Repeater {
            model: pill.options
            delegate: MenuItem {
                required property var modelData
                required property int index
                objectName: "option_" + modelData.value
                text: modelData.label
                checkable: true
                checked: index === pill.currentIndex
                onTriggered: pill.activated(index)
            }
        }
    }
}
