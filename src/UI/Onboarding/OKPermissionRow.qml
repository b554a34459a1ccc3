import QtQuick
import Sonorvelle.Onboarding
import Sonorvelle.Pills

// A permission on its panel: the symbol's tile, what it is and why it is needed, and the grant
// button, or the green check and "Allowed" once it is given.
Item {
    id: row
    property string icon
    property string title
    property string body_
    property bool granted: false
    property string grantTitle
    property string grantedTitle
    // Names the row's parts for tests: "<key>Grant", "<key>Granted".
    property string key
    signal action()

    width: parent ? parent.width : 296
    implicitHeight: Math.max(36, texts.implicitHeight, trailing.height) + 24

    OKRowBackground { anchors.fill: parent }

    Rectangle {
        id: tile
        x: 12
        anchors.verticalCenter: parent.verticalCenter
        width: 36
        height: 36
        radius: 8
        color: row.granted ? Qt.rgba(OKTheme.green.r, OKTheme.green.g, OKTheme.green.b, 0.15)
                           : Qt.rgba(OKTheme.accent.r, OKTheme.accent.g, OKTheme.accent.b, 0.14)
        OKSymbol {
            objectName: row.key + "Symbol"
            anchors.centerIn: parent
            name: row.granted ? "checkmark" : row.icon
            tint: row.granted ? OKTheme.green : OKTheme.accent
            size: 17
        }
    }
    Column {
        id: texts
        anchors.left: tile.right
        anchors.leftMargin: 12
        anchors.right: trailing.left
        anchors.rightMargin: 6
        anchors.verticalCenter: parent.verticalCenter
        spacing: 2
        Text {
            width: parent.width
            wrapMode: Text.Wrap
            text: row.title
            font.pixelSize: 13
            font.weight: Font.DemiBold
            color: OKTheme.primary
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Text {
            width: parent.width
            wrapMode: Text.Wrap
            text: row.body_
            font.pixelSize: 11
            color: OKTheme.secondary
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
    Item {
        id: trailing
        anchors.right: parent.right
        anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        width: row.granted ? grantedLabel.implicitWidth : grant.implicitWidth
        height: row.granted ? grantedLabel.implicitHeight : grant.height
        Text {
            id: grantedLabel
            objectName: row.key + "Granted"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            visible: row.granted
            text: row.grantedTitle
            font.pixelSize: 11
            font.bold: true
            color: OKTheme.green
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        PillButton {
            id: grant
            objectName: row.key + "Grant"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            visible: !row.granted
            filled: true
            height: 24
            title: row.grantTitle
            Accessible.description: row.title
            onClicked: row.action()
        }
    }
}
