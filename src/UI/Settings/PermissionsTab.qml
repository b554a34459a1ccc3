import QtQuick
import Sonorvelle
import Sonorvelle.Pills
import Sonorvelle.Settings

Column {
    id: tab
    required property PermissionsTabModel model
    spacing: 14

    SettingsCard {
        width: tab.width
        PermissionRow {
            key: "mic"
            title: L10n.t("perm.mic") + L10n.retranslate
            subtitle: L10n.t("perm.micWhy") + L10n.retranslate
            granted: tab.model.micGranted
            onGrant: tab.model.grantMicrophone()
        }
        RowDivider {}
        PermissionRow {
            key: "ax"
            title: L10n.t("perm.ax") + L10n.retranslate
            subtitle: L10n.t("perm.axWhy") + L10n.retranslate
            granted: tab.model.axGranted
            onGrant: tab.model.grantAccessibility()
        }
        RowDivider {}
        PermissionRow {
            key: "speech"
            title: L10n.t("perm.speech") + L10n.retranslate
            subtitle: L10n.t("perm.speechWhy") + L10n.retranslate
            granted: tab.model.speechGranted
            onGrant: tab.model.grantSpeech()
        }
    }
    FooterNote {
        width: tab.width
        text: L10n.t("gen.permFooter") + L10n.retranslate
    }
    SettingsCard {
        objectName: "languageModelCard"
        visible: tab.model.aiStatus !== 0
        width: tab.width
        SettingsRow {
            title: L10n.t("perm.ai") + L10n.retranslate
            subtitle: L10n.t("perm.aiWhy") + L10n.retranslate
            GrantedBadge {
                visible: tab.model.aiStatus === 3
                text: L10n.t("perm.granted") + L10n.retranslate
            }
            Text {
                visible: tab.model.aiStatus === 2
                text: L10n.t("perm.aiDownloading") + L10n.retranslate
                font.pixelSize: 11
                color: SettingsTheme.secondaryText
            }
            PillButton {
                visible: tab.model.aiStatus === 1
                height: 30
                title: L10n.t("common.open") + L10n.retranslate
                onClicked: tab.model.openLanguageModelSettings()
            }
        }
    }
}
