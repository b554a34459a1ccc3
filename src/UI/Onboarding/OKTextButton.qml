import QtQuick
import Sonorvelle.Onboarding

// A plain text button of the footer or a page: 11 points, secondary (or tertiary) text, or the
// accent colour for a link.
Item {
    id: button
    property string title
    property bool tertiary: false
    property bool link: false
    signal clicked()

    implicitWidth: label.implicitWidth + 8
    implicitHeight: label.implicitHeight + 4
    activeFocusOnTab: true

    Accessible.role: link ? Accessible.Link : Accessible.Button
    Accessible.name: title
    Accessible.onPressAction: if (button.enabled) clicked()
    Keys.onSpacePressed: clicked()
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()

    Text {
        id: label
        anchors.centerIn: parent
        width: Math.min(implicitWidth, button.parent ? button.parent.width : implicitWidth)
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        text: button.title
        font.pixelSize: 11
        font.underline: button.activeFocus
        opacity: mouse.pressed ? 0.6 : 1
        color: button.link ? OKTheme.accent : button.tertiary ? OKTheme.tertiary : OKTheme.secondary
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
}
