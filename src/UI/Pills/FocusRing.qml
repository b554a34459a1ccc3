import QtQuick
import Sonorvelle.Pills

// The keyboard focus ring of a custom control, drawn just outside its shape.
Rectangle {
    required property Rectangle target
    anchors.fill: parent
    anchors.margins: -3
    radius: target.radius + 3
    visible: target.activeFocus
    color: "transparent"
    border.width: SettingsTheme.focusRingWidth
    border.color: SettingsTheme.focusRing
}
