import QtQuick
import Sonorvelle.Onboarding

// A page's title with an optional short text under it; without the text no room is kept for it.
Column {
    id: header
    property string title
    property string body_
    width: parent ? parent.width : 296
    spacing: 6
    bottomPadding: 6

    Text {
        objectName: "stepTitle"
        width: parent.width
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        text: header.title
        font.pixelSize: 17
        font.bold: true
        color: OKTheme.primary
        Accessible.role: Accessible.Heading
        Accessible.name: text
    }
    Text {
        objectName: "stepBody"
        visible: header.body_.length > 0
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
