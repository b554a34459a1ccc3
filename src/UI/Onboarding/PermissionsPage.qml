import QtQuick
import Sonorvelle
import Sonorvelle.Onboarding

// Page two: the permissions dictation needs, each with its grant button, read again on every
// tick of the window so grants made elsewhere show within a second.
Column {
    id: page
    property FirstRunContent model
    property int tick
    spacing: 14
    onTickChanged: if (model) model.refresh()
    onModelChanged: if (model) model.refresh()

    // Says what is true: once every row reads allowed, nothing is needed and nothing moves on by
    // itself any more.
    OKStepHeader {
        objectName: "permissionsHeader"
        readonly property bool allGranted: page.model !== null && page.model.allGranted
        title: L10n.t(allGranted ? "onb.permGrantedTitle" : "onb.permTitle") + L10n.retranslate
        body_: L10n.t(allGranted ? "onb.permGrantedBody" : "onb.permBody") + L10n.retranslate
    }
    OKPermissionRow {
        key: "mic"
        icon: "mic.fill"
        title: L10n.t("perm.mic") + L10n.retranslate
        body_: L10n.t("perm.micWhy") + L10n.retranslate
        granted: page.model ? page.model.micGranted : false
        grantTitle: L10n.t("common.grant") + L10n.retranslate
        grantedTitle: L10n.t("common.granted") + L10n.retranslate
        onAction: page.model.grantMicrophone()
    }
    OKPermissionRow {
        key: "ax"
        icon: "accessibility"
        title: L10n.t("perm.ax") + L10n.retranslate
        body_: L10n.t("perm.axWhy") + L10n.retranslate
        granted: page.model ? page.model.axGranted : false
        grantTitle: L10n.t("common.grant") + L10n.retranslate
        grantedTitle: L10n.t("common.granted") + L10n.retranslate
        onAction: page.model.grantAccessibility()
    }
    OKPermissionRow {
        key: "speech"
        icon: "waveform"
        title: L10n.t("perm.speech") + L10n.retranslate
        body_: L10n.t("perm.speechWhy") + L10n.retranslate
        granted: page.model ? page.model.speechGranted : false
        grantTitle: L10n.t("common.grant") + L10n.retranslate
        grantedTitle: L10n.t("common.granted") + L10n.retranslate
        onAction: page.model.grantSpeech()
    }
    Loader {
        objectName: "aiRowLoader"
        width: parent.width
        active: page.model !== null && page.model.aiStatus !== 0
        visible: active
        // qmllint disable unqualified
        sourceComponent: AppleIntelligenceRow {
            status: page.model.aiStatus
            onOpen: page.model.openLanguageModelSettings()
        }
        // qmllint enable unqualified
    }
    Text {
        objectName: "missingNote"
        visible: text.length > 0
        width: parent.width
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        text: page.model ? page.model.missingText : ""
        font.pixelSize: 12
        color: OKTheme.secondary
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
    OKTextButton {
        objectName: "settingsLink"
        anchors.horizontalCenter: parent.horizontalCenter
        link: true
        title: L10n.t("onb.openSettings") + L10n.retranslate
        onClicked: page.model.openAccessibilitySettings()
    }
    // The link opened nothing: the page says so rather than failing silently.
    Text {
        objectName: "settingsLinkNotice"
        visible: text !== ""
        width: parent.width
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        textFormat: Text.PlainText
        text: page.model ? page.model.settingsLinkNotice : ""
        font.pixelSize: 12
        color: OKTheme.secondary
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
}
