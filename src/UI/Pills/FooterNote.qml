import QtQuick
import Sonorvelle.Pills

// An explanatory note directly under a card; long texts wrap.
Text {
    width: parent ? parent.width : implicitWidth
    leftPadding: SettingsTheme.footerPadding
    rightPadding: SettingsTheme.footerPadding
    wrapMode: Text.Wrap
    font.pixelSize: SettingsTheme.footerSize
    color: SettingsTheme.tertiaryText
    Accessible.role: Accessible.StaticText
    Accessible.name: text
}
