import QtQuick

// The card's close button: a small cross in a 22 × 22 square that is wholly clickable.
Item {
    id: button
    required property string accessibleName
    signal clicked()

    width: 22
    height: 22

    Accessible.role: Accessible.Button
    Accessible.name: accessibleName
    Accessible.onPressAction: if (button.enabled) button.clicked()

    Image {
        anchors.centerIn: parent
        source: "xmark.svg"
        sourceSize.width: 11
        sourceSize.height: 11
        width: 11
        height: 11
        opacity: mouse.containsMouse ? 0.9 : 0.45
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
}
