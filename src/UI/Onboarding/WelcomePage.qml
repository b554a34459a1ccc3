import QtQuick
import Sonorvelle
import Sonorvelle.Onboarding

// Page one: who we are and what the program does.
Column {
    id: page
    property FirstRunContent model
    property int tick
    spacing: 14

    OKWelcomeHeader {
        title: L10n.t("onb.tagline") + L10n.retranslate
        body_: L10n.t("onb.welcomeBody") + L10n.retranslate
    }
}
