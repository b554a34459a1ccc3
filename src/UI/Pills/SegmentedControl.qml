import QtQuick
import QtQuick.Controls
import Sonorvelle.Pills

// A capsule of equal icon segments, one selected. A press selects the segment under it (no drag
// is followed); the arrow keys move the selection; each segment is announced by its tooltip.
// `select` reports a user's choice; setting `selectedIndex` selects without reporting.
Item {
    id: control
    property alias images: capsule.images
    property alias cornerRadius: capsule.cornerRadius
    property alias selectedIndex: capsule.selectedIndex
    readonly property alias segmentCount: capsule.segmentCount
    property var tooltips: []
    property string accessibleName
    signal select(int index)

    function choose(index) { capsule.choose(index) }

    implicitWidth: 90
    implicitHeight: 24
    activeFocusOnTab: true

    Accessible.role: Accessible.PageTabList
    Accessible.name: accessibleName
    Keys.onLeftPressed: capsule.choose(capsule.selectedIndex - 1)
    Keys.onRightPressed: capsule.choose(capsule.selectedIndex + 1)

    CapsuleSegmentedControl {
        id: capsule
        objectName: "capsule"
        anchors.fill: parent
        onSelect: (index) => control.select(index)
    }
    Rectangle {
        anchors.fill: parent
        anchors.margins: -3
        radius: height / 2
        visible: control.activeFocus
        color: "transparent"
        border.width: SettingsTheme.focusRingWidth
        border.color: SettingsTheme.focusRing
    }
    Repeater {
        model: capsule.segmentCount
        // qmllint disable unqualified
        delegate: Item {
            required property int index
            readonly property string tip: index < control.tooltips.length ? control.tooltips[index] : ""
            objectName: "segment_" + index
            x: control.width / capsule.segmentCount * index
            width: control.width / capsule.segmentCount
            height: control.height
            Accessible.role: Accessible.PageTab
            Accessible.name: tip
            Accessible.selectable: true
            Accessible.selected: capsule.selectedIndex === index
            Accessible.onPressAction: if (enabled) capsule.choose(index)
            HoverHandler { id: hover }
            ToolTip.visible: hover.hovered && tip.length > 0
            ToolTip.text: tip
            ToolTip.delay: 600
        }
        // qmllint enable unqualified
    }
}
