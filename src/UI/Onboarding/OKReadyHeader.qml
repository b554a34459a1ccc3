import QtQuick
import Sonorvelle.Onboarding

// The last page's header: a green check mark in a pale circle over the title and an optional
// short text.
Column {
    id: header
    property string title
    property string body_
    width: parent ? parent.width : 296
    spacing: 14

    Item { width: 1; height: 6 }
    Rectangle {
        anchors.horizontalCenter: parent.horizontalCenter
        width: 92
        height: 92
        radius: 46
        color: Qt.rgba(OKTheme.green.r, OKTheme.green.g, OKTheme.green.b, 0.14)
        OKSymbol {
            anchors.centerIn: parent
            name: "checkmark"
            tint: OKTheme.green
            size: 44
        }
    }
    Column {
        width: parent.width
        spacing: 8
        Text {
            objectName: "readyTitle"
            anchors.horizontalCenter: parent.horizontalCenter
            width: Math.min(implicitWidth, parent.width)
            wrapMode: Text.Wrap
            text: header.title
            font.pixelSize: 20
            font.bold: true
            color: OKTheme.primary
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
        Text {
            objectName: "readyBody"
            visible: header.body_.length > 0
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: header.body_
            font.pixelSize: 12
            color: OKTheme.secondary
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
    Item { width: 1; height: 14 }
}
