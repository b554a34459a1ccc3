import QtQuick
import Sonorvelle.AnswerCard

// A text button of the card's footer in the accent colour, brighter under the pointer, with a
// checkmark in front while `showsCheck`.
Item {
    id: button
    required property string title
    required property bool showsCheck
    signal clicked()

    implicitWidth: label.implicitWidth
    implicitHeight: label.implicitHeight

    Accessible.role: Accessible.Button
    Accessible.name: title
    Accessible.onPressAction: if (button.enabled) button.clicked()

    Row {
        id: label
        spacing: 5
        opacity: mouse.containsMouse ? 1.0 : 0.85

        Image {
            objectName: "check"
            visible: button.showsCheck
            anchors.verticalCenter: parent.verticalCenter
            source: "checkmark.svg"
            sourceSize.width: 11
            sourceSize.height: 11
            width: 11
            height: 11
        }
        Text {
            objectName: "title"
            anchors.verticalCenter: parent.verticalCenter
            text: button.title
            font.pixelSize: 13
            font.weight: Font.Medium
            color: CardTheme.accent
        }
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
}
