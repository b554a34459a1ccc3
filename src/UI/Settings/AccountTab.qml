import QtQuick
import QtQuick.Controls
import Sonorvelle
import Sonorvelle.Pills
import Sonorvelle.Settings

Column {
    id: tab
    required property AccountTabModel model
    spacing: SettingsTheme.tabSpacing

    SettingsCard {
        objectName: "accountCard"
        width: tab.width

        // Signed out: one row with the sign-in pill.
        SettingsRow {
            objectName: "signedOutRow"
            visible: !tab.model.signedIn
            title: L10n.t("acct.signedOutTitle") + L10n.retranslate
            subtitle: L10n.t("acct.signedOutBody") + L10n.retranslate
            PillButton {
                objectName: "signInButton"
                height: 30
                title: L10n.t("acct.signIn") + L10n.retranslate
                onClicked: tab.model.signIn()
            }
        }

        // Signed in: the account with the sign-out pill, then the sync switch.
        SettingsRow {
            objectName: "accountRow"
            visible: tab.model.signedIn
            title: tab.model.accountTitle
            titleWeight: Font.DemiBold
            PillButton {
                objectName: "signOutButton"
                height: 30
                title: L10n.t("acct.signOut") + L10n.retranslate
                onClicked: tab.model.signOut()
            }
        }
        RowDivider { visible: tab.model.signedIn }
        SettingsRow {
            objectName: "syncRow"
            visible: tab.model.signedIn
            title: L10n.t("acct.sync") + L10n.retranslate
            subtitle: L10n.t("acct.syncBody") + L10n.retranslate
            SettingsSwitch {
                objectName: "syncSwitch"
                accessibleName: L10n.t("acct.sync") + L10n.retranslate
                checked: tab.model.syncEnabled
                onToggled: tab.model.syncEnabled = checked
            }
        }
    }

    // Today's use of the cloud AI quota; only while a cloud token is stored.
    SettingsCard {
        objectName: "usageCard"
        visible: tab.model.hasToken
        width: tab.width
        Column {
            width: parent.width
            padding: 16
            spacing: 12
            Column {
                width: parent.width - 32
                spacing: 2
                Text {
                    width: parent.width
                    wrapMode: Text.Wrap
                    text: L10n.t("acct.usageTitle") + L10n.retranslate
                    font.pixelSize: 13
                    font.weight: Font.Medium
                    color: SettingsTheme.foreground
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }
                Text {
                    width: parent.width
                    wrapMode: Text.Wrap
                    text: L10n.t("acct.usageSub") + L10n.retranslate
                    font.pixelSize: 11
                    color: SettingsTheme.tertiaryText
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
            UsageMeter {
                objectName: "requestsMeter"
                visible: tab.model.usageLoaded
                width: parent.width - 32
                title: L10n.t("acct.usageRequests") + L10n.retranslate
                detail: tab.model.requestsDetail
                fillWidth: tab.model.fillWidth(tab.model.requestsFraction, width)
                warn: tab.model.requestsWarn
            }
            UsageMeter {
                objectName: "costMeter"
                visible: tab.model.usageLoaded
                width: parent.width - 32
                title: L10n.t("acct.usageCost") + L10n.retranslate
                detail: tab.model.costDetail
                fillWidth: tab.model.fillWidth(tab.model.costFraction, width)
                warn: tab.model.costWarn
            }
            Text {
                objectName: "resetLine"
                visible: tab.model.usageLoaded
                         && tab.model.resetLine.length > 0
                width: parent.width - 32
                wrapMode: Text.Wrap
                text: tab.model.resetLine
                textFormat: Text.PlainText
                font.pixelSize: 11
                color: SettingsTheme.tertiaryText
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            Text {
                objectName: "usageStatus"
                visible: !tab.model.usageLoaded
                width: parent.width - 32
                topPadding: 8
                bottomPadding: 8
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: (tab.model.usageFailed
                       ? L10n.t("acct.usageUnavailable")
                       : L10n.t("acct.usageLoading")) + L10n.retranslate
                font.pixelSize: 11
                color: SettingsTheme.tertiaryText
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }
    }

    FooterNote {
        objectName: "accountFooter"
        width: tab.width
        text: L10n.t("acct.footer") + L10n.retranslate
    }
}
