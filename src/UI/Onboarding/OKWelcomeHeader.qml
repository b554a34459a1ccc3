import QtQuick
import Sonorvelle.Onboarding

// The welcome page's header: the application icon over a large title and a short text.
Column {
    id: header
    property string title
    property string body_
    width: parent ? parent.width : 296
    spacing: 14

    Item { width: 1; height: 10 }
    OKAppIcon {
        size: 92
        anchors.horizontalCenter: parent.horizontalCenter
    }
    Column {
        width: parent.width
        spacing: 8
        Text {
            objectName: "welcomeTitle"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: header.title
            font.pixelSize: 20
            font.bold: true
            color: OKTheme.primary
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            lineHeightMode: Text.FixedHeight
            lineHeight: Math.ceil(font.pixelSize * 1.25) + 3
            text: header.body_
            font.pixelSize: 12
            color: OKTheme.secondary
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
    Item { width: 1; height: 26 }
}
