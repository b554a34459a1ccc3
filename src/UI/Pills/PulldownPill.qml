import QtQml.Models
import QtQuick
import QtQuick.Controls
import Sonorvelle.Pills

// A pill-shaped pop-up button: the selected option's label and a chevron. A click anywhere on the
// pill opens the menu of options with its top-left corner 4 below the pill's lower-left corner
// (further left where the window has no room for it), at least as wide as the pill and its longest
// entry, the selected option checked; choosing one reports its index. A selection that matches no
// option (index -1) shows an empty label and no checked item. The using view gives the size.
Rectangle {
    id: pill
    // Each option is {value, label, available}; the view model gives them in menu order. An
    // unavailable option shows greyed and cannot be picked.
    property var options: []
    property int currentIndex: -1
    // What a screen reader calls the control (the row's title); the label is read as its value.
    property string accessibleName
    readonly property string label: currentIndex >= 0 && currentIndex < options.length
                                    ? options[currentIndex].label : ""
    readonly property alias menuOpen: menu.visible
    signal activated(int index)

    implicitWidth: 180
    implicitHeight: 28
    radius: SettingsTheme.pulldownRadius
    color: mouse.pressed ? SettingsTheme.fieldPressed : SettingsTheme.field
    border.width: SettingsTheme.pillBorderWidth
    border.color: SettingsTheme.fieldBorder
    activeFocusOnTab: true

    Accessible.role: Accessible.ComboBox
    Accessible.name: accessibleName.length > 0 ? accessibleName : label
    Accessible.description: label
    // A dimmed, inert pill opens for no one, a screen reader included.
    Accessible.onPressAction: if (pill.enabled && pill.opacity >= 0.01) pill.open()
    Keys.onSpacePressed: pill.open()
    Keys.onReturnPressed: pill.open()
    Keys.onEnterPressed: pill.open()

    function open() {
        // A menu wider than the room right of the pill moves left, so no entry is cut off.
        const room = pill.Window.width - pill.mapToItem(null, 0, 0).x - SettingsTheme.menuOffset
        menu.popup(pill, Math.min(0, room - menu.width), pill.height + SettingsTheme.menuOffset)
    }

    FocusRing { target: pill }
    Text {
        id: title
        objectName: "pillLabel"
        anchors.left: parent.left
        anchors.leftMargin: SettingsTheme.pulldownLeading
        anchors.right: chevron.left
        anchors.rightMargin: SettingsTheme.chevronGap
        anchors.verticalCenter: parent.verticalCenter
        text: pill.label
        textFormat: Text.PlainText
        horizontalAlignment: Text.AlignHCenter
        elide: Text.ElideRight
        font.pixelSize: SettingsTheme.pulldownFontSize
        font.weight: Font.Medium
        color: SettingsTheme.foreground
    }
    // A downward chevron of two strokes meeting at the bottom.
    Item {
        id: chevron
        anchors.right: parent.right
        anchors.rightMargin: SettingsTheme.chevronTrailing
        anchors.verticalCenter: parent.verticalCenter
        width: SettingsTheme.chevronSize
        height: SettingsTheme.chevronSize / 2
        Rectangle {
            x: 0.4
            y: chevron.height / 2 - height / 2
            width: chevron.width * 0.62
            height: 1.6
            radius: 0.8
            antialiasing: true
            rotation: 40
            color: SettingsTheme.tertiaryText
        }
        Rectangle {
            x: chevron.width - width - 0.4
            y: chevron.height / 2 - height / 2
            width: chevron.width * 0.62
            height: 1.6
            radius: 0.8
            antialiasing: true
            rotation: -40
            color: SettingsTheme.tertiaryText
        }
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        // A pill faded out of sight takes no click.
        enabled: pill.opacity >= 0.01
        onClicked: pill.open()
    }

    Menu {
        id: menu
        objectName: "dropdownMenu"
        // As wide as its longest entry, which says why it cannot be picked.
        readonly property real widestEntry: {
            let widest = 0
            for (let i = 0; i < count; ++i) {
                const entry = itemAt(i)
                // The check box stands in front of the text without counting in its width.
                if (entry)
                    widest = Math.max(widest, entry.implicitWidth
                                      + (entry.indicator ? entry.indicator.width + entry.spacing : 0))
            }
            return widest + leftPadding + rightPadding
        }
        width: Math.max(pill.width, implicitWidth, widestEntry)
        // The entries are made again when the options change (a microphone plugged in while the
        // menu is closed); an entry of the old list must leave the menu, not linger in it.
        Instantiator {
            model: pill.options
            // qmllint disable unqualified
            delegate: MenuItem {
                required property var modelData
                required property int index
                objectName: "option_" + modelData.value
                text: modelData.label
                enabled: modelData.available !== false
                checkable: true
                checked: index === pill.currentIndex
                onTriggered: {
                    // A click toggles a checkable entry, which would uncheck the chosen one when
                    // it is picked again and break the binding for good.
                    checked = Qt.binding(() => index === pill.currentIndex)
                    // Reported on the next turn, once the menu has closed: a pick that relabels the
                    // window (the interface language) makes the entries again, and this entry gone
                    // under its own click would leave the menu open.
                    Qt.callLater(pill.activated, index)
                }
            }
            // qmllint enable unqualified
            onObjectAdded: (index, entry) => menu.insertItem(index, entry)
            onObjectRemoved: (index, entry) => menu.removeItem(entry)
        }
    }
}
