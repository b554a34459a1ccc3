import QtQuick
import Sonorvelle.AnswerCard

// The card of an ask session that recognised nothing (the title, the hint to try again) or that
// needs an account (the title, why, and a Sign in button in the footer); then a divider and a
// footer with the "esc" hint and Close.
Rectangle {
    id: view
    objectName: "answerErrorView"
    required property AnswerCardModel card

    implicitHeight: column.implicitHeight
    color: CardTheme.fill
    radius: 18

    Column {
        id: column
        width: parent.width
        spacing: 0

        Item {
            width: parent.width
            implicitHeight: 26 + texts.implicitHeight + 22
            height: implicitHeight

            Column {
                id: texts
                x: 20
                y: 26
                width: parent.width - 40
                spacing: 8

                Text {
                    objectName: "errorTitle"
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    text: view.card.errorTitle
                    font.pixelSize: 15
                    font.weight: Font.DemiBold
                    color: CardTheme.white(0.95)
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }
                Text {
                    objectName: "errorHint"
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    text: view.card.hint
                    font.pixelSize: 13
                    color: CardTheme.white(0.5)
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }

        Rectangle {
            objectName: "divider"
            width: parent.width
            height: 1
            color: CardTheme.hairline
        }

        Item {
            width: parent.width
            implicitHeight: 12 + Math.max(badge.implicitHeight, closeText.implicitHeight) + 12
            height: implicitHeight

            FooterTextButton {
                objectName: "signInButton"
                visible: view.card.needsSignIn
                anchors.left: parent.left
                anchors.leftMargin: 20
                anchors.verticalCenter: parent.verticalCenter
                title: view.card.signInTitle
                showsCheck: false
                onClicked: view.card.signIn()
            }

            Row {
                anchors.right: parent.right
                anchors.rightMargin: 20
                anchors.verticalCenter: parent.verticalCenter
                spacing: 8

                EscBadge {
                    id: badge
                    anchors.verticalCenter: parent.verticalCenter
                }
                Text {
                    id: closeText
                    objectName: "closeButton"
                    anchors.verticalCenter: parent.verticalCenter
                    text: view.card.closeTitle
                    font.pixelSize: 13
                    color: CardTheme.white(0.5)
                    Accessible.role: Accessible.Button
                    Accessible.name: text
                    Accessible.onPressAction: if (closeText.enabled) view.card.close()

                    MouseArea {
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                        onClicked: view.card.close()
                    }
                }
            }
        }
    }

    Rectangle {
        anchors.fill: parent
        radius: 18
        color: "transparent"
        border.color: CardTheme.border
        border.width: 1
    }
}
