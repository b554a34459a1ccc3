import QtQuick
import Sonorvelle
import Sonorvelle.Pills
import Sonorvelle.Settings

Column {
    id: tab
    required property AboutTabModel model
    readonly property var settings: model.settings
    spacing: 14

    SettingsCard {
        width: tab.width
        Column {
            width: parent.width
            topPadding: 26
            bottomPadding: 26
            spacing: 10
            AppIconView { size: 72; anchors.horizontalCenter: parent.horizontalCenter }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: "Sonorvelle"
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                font.pixelSize: 20
                font.bold: true
                color: SettingsTheme.foreground
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: L10n.t("about.tagline") + L10n.retranslate
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                font.pixelSize: 12
                color: SettingsTheme.secondaryText
            }
            Text {
                objectName: "versionLine"
                anchors.horizontalCenter: parent.horizontalCenter
                text: tab.model.versionLine
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                font.pixelSize: 11
                color: SettingsTheme.tertiaryText
            }
            Text {
                objectName: "webLink"
                anchors.horizontalCenter: parent.horizontalCenter
                text: tab.model.webLabel
                font.pixelSize: 12
                color: SettingsTheme.accent
                font.underline: activeFocus
                activeFocusOnTab: true
                Accessible.role: Accessible.Link
                Accessible.name: text
                Accessible.onPressAction: if (enabled) tab.model.openWebPage()
                Keys.onSpacePressed: tab.model.openWebPage()
                Keys.onReturnPressed: tab.model.openWebPage()
                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: tab.model.openWebPage()
                }
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: L10n.t("about.copyright") + L10n.retranslate
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                font.pixelSize: 11
                color: SettingsTheme.tertiaryText
            }
        }
    }

    SettingsCard {
        objectName: "privacyCard"
        width: tab.width
        SettingsRow {
            objectName: "updateRow"
            visible: tab.model.hasUpdater
            title: L10n.t("gen.autoUpdate") + L10n.retranslate
            subtitle: L10n.t("gen.autoUpdateSub") + L10n.retranslate
            Row {
                spacing: 8
                PillButton {
                    objectName: "checkNowButton"
                    anchors.verticalCenter: parent.verticalCenter
                    title: L10n.t("common.checkNow") + L10n.retranslate
                    onClicked: tab.model.checkNow()
                }
                SettingsSwitch {
                    objectName: "autoCheckSwitch"
                    anchors.verticalCenter: parent.verticalCenter
                    accessibleName: L10n.t("gen.autoUpdate") + L10n.retranslate
                    checked: tab.model.autoCheck
                    onToggled: tab.model.autoCheck = checked
                }
            }
        }
        RowDivider { visible: tab.model.hasUpdater }
        SettingsRow {
            title: L10n.t("gen.crashReports") + L10n.retranslate
            subtitle: L10n.t("gen.crashReportsSub") + L10n.retranslate
            SettingsSwitch {
                objectName: "crashReportsSwitch"
                accessibleName: L10n.t("gen.crashReports") + L10n.retranslate
                checked: tab.settings.crashReportingEnabled
                onToggled: tab.settings.crashReportingEnabled = checked
            }
        }
        RowDivider {}
        SettingsRow {
            title: L10n.t("priv.improve") + L10n.retranslate
            subtitle: L10n.t("priv.improveSub") + L10n.retranslate
            SettingsSwitch {
                objectName: "improveSwitch"
                accessibleName: L10n.t("priv.improve") + L10n.retranslate
                checked: tab.settings.improveDataSharing
                onToggled: tab.settings.improveDataSharing = checked
            }
        }
    }
}
