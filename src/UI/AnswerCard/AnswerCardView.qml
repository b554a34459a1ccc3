import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Sonorvelle.AnswerCard

// The answer: the question as a one-line header with the close button, the answer as selectable
// text that scrolls when it is long (with hairlines above and below), and the footer with Copy,
// Read Aloud or Stop, Ask Again and the "esc" hint.
Rectangle {
    id: view
    objectName: "answerCardView"
    required property AnswerCardModel card

    implicitHeight: column.implicitHeight
    color: CardTheme.fill
    radius: 18

    Column {
        id: column
        width: parent.width
        spacing: 0

        Item {
            id: header
            width: parent.width
            implicitHeight: 14 + Math.max(question.implicitHeight, closeButton.height) + 12
            height: implicitHeight

            Text {
                id: question
                objectName: "question"
                x: 20
                width: closeButton.x - 10 - x
                anchors.verticalCenter: closeButton.verticalCenter
                text: view.card.question
                textFormat: Text.PlainText
                font.pixelSize: 13
                color: CardTheme.white(0.55)
                maximumLineCount: 1
                wrapMode: Text.NoWrap
                elide: Text.ElideRight
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            CloseXButton {
                id: closeButton
                objectName: "closeButton"
                x: parent.width - 20 - width
                y: 14 + Math.max(0, (question.implicitHeight - height) / 2)
                accessibleName: view.card.closeTitle
                onClicked: view.card.close()
            }
        }

        Rectangle {
            objectName: "hairlineAbove"
            visible: view.card.scrolls
            width: parent.width
            height: 1
            color: CardTheme.hairline
        }

        Flickable {
            id: textArea
            objectName: "answerArea"
            width: parent.width
            height: view.card.scrolls ? view.card.scrollHeight + 28 : view.card.scrollHeight + 4
            contentWidth: width
            contentHeight: answer.height + 2 * answer.y
            clip: true
            interactive: view.card.scrolls
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {
                objectName: "answerScrollBar"
                policy: view.card.scrolls ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
            }

            TextEdit {
                id: answer
                objectName: "answerText"
                x: 20
                y: view.card.scrolls ? 14 : 2
                width: textArea.width - 40
                text: view.card.shownAnswer
                textFormat: TextEdit.PlainText
                wrapMode: TextEdit.Wrap
                readOnly: true
                selectByMouse: true
                font.pixelSize: 15
                color: CardTheme.white(0.95)
                selectionColor: CardTheme.accent
                selectedTextColor: "white"
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                Component.onCompleted: view.card.styleAnswer(textDocument)
            }
        }

        Rectangle {
            objectName: "hairlineBelow"
            visible: view.card.scrolls
            width: parent.width
            height: 1
            color: CardTheme.hairline
        }

        Item {
            width: parent.width
            implicitHeight: 12 + footer.implicitHeight + 14
            height: implicitHeight

            RowLayout {
                id: footer
                x: 20
                y: 12
                width: parent.width - 40
                spacing: 22

                FooterTextButton {
                    objectName: "copyButton"
                    title: view.card.copyTitle
                    showsCheck: view.card.copied
                    onClicked: view.card.copy()
                }
                FooterTextButton {
                    objectName: "speakButton"
                    title: view.card.speakTitle
                    showsCheck: false
                    onClicked: view.card.toggleSpeech()
                }
                FooterTextButton {
                    objectName: "askAgainButton"
                    title: view.card.askAgainTitle
                    showsCheck: false
                    onClicked: view.card.askAgain()
                }
                Item {
                    Layout.fillWidth: true
                    Layout.minimumWidth: 0
                }
                EscBadge {}
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
