import QtQuick
import Sonorvelle
import Sonorvelle.Onboarding

// Page four: ready, and the two consents, each stored the moment its switch moves.
Column {
    id: page
    property FirstRunContent model
    property int tick
    spacing: 14

    OKReadyHeader {
        title: L10n.t("onb.readyTitle") + L10n.retranslate
    }
    Column {
        width: parent.width
        spacing: 10
        OKConsentRow {
            switchName: "improveSwitch"
            title: L10n.t("onb.improveTitle") + L10n.retranslate
            body_: L10n.t("onb.improveBody") + L10n.retranslate
            isOn: page.model ? page.model.improveDataSharing : false
            onSwitched: on => page.model.improveDataSharing = on
        }
        OKConsentRow {
            switchName: "crashSwitch"
            title: L10n.t("onb.crashTitle") + L10n.retranslate
            body_: L10n.t("onb.crashBody") + L10n.retranslate
            isOn: page.model ? page.model.crashReportingEnabled : false
            onSwitched: on => page.model.crashReportingEnabled = on
        }
    }
}
