import QtQuick
import Sonorvelle
import Sonorvelle.Onboarding

// Page three: how to dictate, with the hold key named as the keyboard has it.
Column {
    id: page
    property FirstRunContent model
    property int tick
    spacing: 14

    OKDemoCanvas {
        canvasHeight: 120
        OKSymbol {
            anchors.centerIn: parent
            name: "mic.fill"
            tint: "white"
            size: 38
        }
    }
    OKStepHeader {
        title: L10n.t("onb.tutTitle") + L10n.retranslate
        body_: L10n.t("onb.tutBody") + L10n.retranslate
    }
    Column {
        width: parent.width
        spacing: 6
        OKHintRow {
            key: "hold"
            keys: [page.model ? page.model.hotkeyLabel + L10n.retranslate : ""]
            label: L10n.t("onb.tutHold") + L10n.retranslate
        }
        OKHintRow {
            key: "esc"
            keys: ["esc"]
            label: L10n.t("onb.tutEsc") + L10n.retranslate
        }
    }
    Text {
        objectName: "layoutNote"
        visible: text.length > 0
        width: parent.width
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        textFormat: Text.PlainText
        text: page.model ? page.model.layoutNote + L10n.retranslate : ""
        font.pixelSize: 12
        color: OKTheme.secondary
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
}
