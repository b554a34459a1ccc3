import QtQuick
import Sonorvelle
import Sonorvelle.Pills
import Sonorvelle.Settings

// A card's note that a cloud feature needs an account: a warning mark, the note and a Sign in
// button.
Item {
    id: note
    required property string text
    signal signIn()

    implicitHeight: Math.max(noteText.implicitHeight, signInButton.height) + 20

    Rectangle {
        id: warnMark
        x: 16
        anchors.verticalCenter: parent.verticalCenter
        width: 13
        height: 13
        radius: 6.5
        color: SettingsTheme.warn
        Text {
            anchors.centerIn: parent
            text: "!"
            font.pixelSize: 10
            font.bold: true
            color: "white"
        }
    }
    Text {
        id: noteText
        anchors.left: warnMark.right
        anchors.leftMargin: 8
        anchors.right: signInButton.left
        anchors.rightMargin: 8
        anchors.verticalCenter: parent.verticalCenter
        wrapMode: Text.Wrap
        text: note.text
        font.pixelSize: 11
        color: SettingsTheme.secondaryText
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
    PillButton {
        id: signInButton
        objectName: "signInButton"
        anchors.right: parent.right
        anchors.rightMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        height: 24
        title: L10n.t("clean.signIn") + L10n.retranslate
        onClicked: note.signIn()
    }
}
