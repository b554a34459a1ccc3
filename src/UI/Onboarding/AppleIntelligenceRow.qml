import QtQuick
import Sonorvelle
import Sonorvelle.Onboarding
import Sonorvelle.Pills

// The optional on-device model: its state at the trailing side, "Open" while it is switched off.
Item {
    id: row
    objectName: "aiRow"
    // 1 disabled, 2 downloading, 3 ready.
    property int status: 1
    signal open()

    width: parent ? parent.width : 296
    implicitHeight: Math.max(texts.implicitHeight, trailing.height) + 20

    Rectangle {
        anchors.fill: parent
        radius: 8
        color: "transparent"
        border.width: 1
        border.color: Qt.rgba(OKTheme.primary.r, OKTheme.primary.g, OKTheme.primary.b, 0.1)
    }
    OKSymbol {
        id: sparkles
        x: 10 + (22 - width) / 2
        anchors.verticalCenter: parent.verticalCenter
        name: "sparkles"
        tint: OKTheme.secondary
        size: 16
    }
    Column {
        id: texts
        x: 10 + 22 + 10
        anchors.verticalCenter: parent.verticalCenter
        width: row.width - x - 8 - trailing.width - 10
        spacing: 1
        Text {
            width: parent.width
            wrapMode: Text.Wrap
            text: L10n.t("perm.ai") + L10n.retranslate
            font.pixelSize: 12
            font.weight: Font.Medium
            color: OKTheme.primary
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Text {
            width: parent.width
            wrapMode: Text.Wrap
            text: L10n.t("perm.aiWhy") + L10n.retranslate
            font.pixelSize: 11
            color: OKTheme.tertiary
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
    Item {
        id: trailing
        anchors.right: parent.right
        anchors.rightMargin: 10
        anchors.verticalCenter: parent.verticalCenter
        width: row.status === 2 ? preparing.implicitWidth : row.status === 3 ? 16 : openButton.implicitWidth
        height: 24
        Text {
            id: preparing
            objectName: "aiPreparing"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            visible: row.status === 2
            text: L10n.t("perm.aiDownloading") + L10n.retranslate
            font.pixelSize: 11
            color: OKTheme.secondary
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        OKSymbol {
            objectName: "aiReady"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            visible: row.status === 3
            name: "checkmark.circle.fill"
            tint: Qt.rgba(52 / 255, 199 / 255, 89 / 255, 1)
            size: 16
        }
        PillButton {
            id: openButton
            objectName: "aiOpen"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            visible: row.status !== 2 && row.status !== 3
            filled: false
            height: 24
            title: L10n.t("common.open") + L10n.retranslate
            onClicked: row.open()
        }
    }
}
