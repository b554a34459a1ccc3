import QtQuick
import Sonorvelle.AnswerCard

// The card's window content: the dark backdrop with rounded corners, and on it either the answer
// card or the error card. The controller sizes the window to this item's implicit height.
Item {
    id: root
    objectName: "answerCardRoot"
    required property AnswerCardModel card

    implicitWidth: card.cardWidth
    implicitHeight: loader.item ? (loader.item as Item).implicitHeight : 0

    Rectangle {
        anchors.fill: parent
        radius: 18
        color: root.card.translucent ? CardTheme.backdrop : CardTheme.opaqueBackdrop
    }

    Loader {
        id: loader
        width: parent.width
        sourceComponent: root.card.isError ? errorCard : answerCard
    }

    // qmllint disable unqualified
    Component {
        id: answerCard
        AnswerCardView { card: root.card }
    }
    Component {
        id: errorCard
        AnswerErrorView { card: root.card }
    }
    // qmllint enable unqualified
}
