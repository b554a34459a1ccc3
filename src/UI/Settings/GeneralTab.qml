import QtQuick
import Sonorvelle
import Sonorvelle.Pills
import Sonorvelle.Settings

Column {
    id: tab
    required property GeneralTabModel model
    readonly property var settings: model.settings
    spacing: 14

    SettingsCard {
        width: tab.width
        SettingsRow {
            objectName: "launchAtLoginRow"
            title: L10n.t("gen.launchLogin") + L10n.retranslate
            subtitle: tab.model.launchAtLoginNote
            SettingsSwitch {
                id: launchSwitch
                objectName: "launchAtLoginSwitch"
                accessibleName: L10n.t("gen.launchLogin") + L10n.retranslate
                checked: tab.model.launchAtLogin
                onToggled: {
                    tab.model.launchAtLogin = checked
                    // The switch shows what really happened, which a failed change is not.
                    launchSwitch.checked = Qt.binding(() => tab.model.launchAtLogin)
                }
            }
        }
        RowDivider {}
        SettingsRow {
            title: L10n.t("gen.language") + L10n.retranslate
            subtitle: L10n.t("gen.languageSub") + L10n.retranslate
            PulldownPill {
                objectName: "languagePicker"
                accessibleName: L10n.t("gen.language") + L10n.retranslate
                width: 180
                height: 28
                options: tab.model.languageOptions
                currentIndex: tab.model.languageIndex
                onActivated: (index) => tab.model.chooseLanguage(index)
            }
        }
        RowDivider {}
        SettingsRow {
            title: L10n.t("gen.sounds") + L10n.retranslate
            subtitle: L10n.t("gen.soundsSub") + L10n.retranslate
            SettingsSwitch {
                objectName: "soundsSwitch"
                accessibleName: L10n.t("gen.sounds") + L10n.retranslate
                checked: tab.settings.playSounds
                onToggled: tab.settings.playSounds = checked
            }
        }
        RowDivider {}
        SettingsRow {
            title: L10n.t("gen.voiceBar") + L10n.retranslate
            subtitle: L10n.t("gen.voiceBarSub") + L10n.retranslate
            SettingsSwitch {
                objectName: "voiceBarSwitch"
                accessibleName: L10n.t("gen.voiceBar") + L10n.retranslate
                checked: tab.settings.showVoiceBar
                onToggled: tab.settings.showVoiceBar = checked
            }
        }
        RowDivider { visible: tab.settings.showVoiceBar }
        SettingsRow {
            objectName: "voiceBarStyleRow"
            visible: tab.settings.showVoiceBar
            title: L10n.t("gen.voiceBarStyle") + L10n.retranslate
            subtitle: L10n.t("gen.voiceBarStyleSub") + L10n.retranslate
            PulldownPill {
                objectName: "stylePicker"
                accessibleName: L10n.t("gen.voiceBarStyle") + L10n.retranslate
                width: 180
                height: 28
                options: tab.model.styleOptions
                currentIndex: tab.model.styleIndex
                onActivated: (index) => tab.model.chooseStyle(index)
            }
        }
    }
}
