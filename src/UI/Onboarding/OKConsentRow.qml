import QtQuick
import Sonorvelle.Onboarding
import Sonorvelle.Pills

// A consent on its panel: what it is, a short explanation, and its switch, which writes at once.
Item {
    id: row
    property string title
    property string body_
    property bool isOn: false
    property string switchName
    // Reports the switch's new position; the owner stores it.
    signal switched(bool on)

    width: parent ? parent.width : 296
    implicitHeight: Math.max(texts.implicitHeight, toggle.implicitHeight) + 24

    OKRowBackground { anchors.fill: parent }

    Column {
        id: texts
        x: 12
        y: 12
        width: row.width - 24 - 6 - toggle.width
        spacing: 2
        Text {
            width: parent.width
            wrapMode: Text.Wrap
            text: row.title
            font.pixelSize: 12
            font.weight: Font.Medium
            color: OKTheme.primary
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Text {
            width: parent.width
            wrapMode: Text.Wrap
            text: row.body_
            font.pixelSize: 10
            color: OKTheme.secondary
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
    SettingsSwitch {
        id: toggle
        objectName: row.switchName
        anchors.right: parent.right
        anchors.rightMargin: 12
        y: 12
        accessibleName: row.title
        checked: row.isOn
        onToggled: row.switched(checked)
    }
}
