import QtQuick
import Sonorvelle
import Sonorvelle.Pills
import Sonorvelle.Settings

Column {
    id: tab
    required property DictationTabModel model
    readonly property var settings: model.settings
    spacing: SettingsTheme.tabSpacing

    SettingsCard {
        objectName: "hotkeyCard"
        width: tab.width
        SettingsRow {
            title: L10n.t("dict.hotkey") + L10n.retranslate
            subtitle: L10n.t("dict.hotkeySub") + L10n.retranslate
            PulldownPill {
                objectName: "holdKeyPicker"
                width: 140
                height: 28
                accessibleName: L10n.t("dict.hotkey") + L10n.retranslate
                options: tab.model.keyOptions
                currentIndex: tab.model.holdKeyIndex
                onActivated: (index) => tab.model.chooseHoldKey(index)
            }
        }
        RowDivider { visible: tab.model.showUsageHints }
        Column {
            objectName: "usageHints"
            visible: tab.model.showUsageHints
            width: parent.width
            topPadding: 12
            bottomPadding: 12
            leftPadding: 16
            rightPadding: 16
            spacing: 7
            HintRow {
                width: parent.width - 32
                parts: [tab.model.holdKeyLabel]
                text: L10n.t("dict.hold") + L10n.retranslate
            }
            HintRow {
                width: parent.width - 32
                parts: ["esc"]
                text: L10n.t("dict.escCancel") + L10n.retranslate
            }
            HintRow {
                width: parent.width - 32
                parts: [tab.model.holdKeyLabel, tab.model.holdKeyLabel]
                text: L10n.t("dict.doubleTapCancel") + L10n.retranslate
            }
        }
    }
    FooterNote {
        width: tab.width
        text: L10n.t("dict.hotkeyFooter") + L10n.retranslate
    }

    SettingsCard {
        objectName: "taskKeyCard"
        width: tab.width
        SettingsRow {
            title: L10n.t("dict.askKey") + L10n.retranslate
            subtitle: L10n.t("dict.askKeySub") + L10n.retranslate
            PulldownPill {
                objectName: "askKeyPicker"
                width: 140
                height: 28
                accessibleName: L10n.t("dict.askKey") + L10n.retranslate
                options: tab.model.keyOptions
                currentIndex: tab.model.askKeyIndex
                onActivated: (index) => tab.model.chooseAskKey(index)
            }
        }
        RowDivider {}
        SettingsRow {
            title: L10n.t("dict.translateKey") + L10n.retranslate
            subtitle: L10n.t("dict.translateKeySub") + L10n.retranslate
            PulldownPill {
                objectName: "translateKeyPicker"
                width: 140
                height: 28
                accessibleName: L10n.t("dict.translateKey") + L10n.retranslate
                options: tab.model.keyOptions
                currentIndex: tab.model.translateKeyIndex
                onActivated: (index) => tab.model.chooseTranslateKey(index)
            }
        }
        RowDivider { visible: tab.model.showTargetLanguage }
        SettingsRow {
            objectName: "targetLanguageRow"
            visible: tab.model.showTargetLanguage
            title: L10n.t("dict.translateLang") + L10n.retranslate
            subtitle: L10n.t("dict.translateLangSub") + L10n.retranslate
            PulldownPill {
                objectName: "targetLanguagePicker"
                width: 160
                height: 28
                accessibleName: L10n.t("dict.translateLang") + L10n.retranslate
                options: tab.model.targetLanguageOptions
                currentIndex: tab.model.targetLanguageIndex
                onActivated: (index) => tab.model.chooseTargetLanguage(index)
            }
        }
    }
    FooterNote {
        width: tab.width
        text: L10n.t("dict.aiHotkeyFooter") + L10n.retranslate
    }

    SettingsCard {
        objectName: "recognitionCard"
        width: tab.width
        SettingsRow {
            title: L10n.t("dict.microphone") + L10n.retranslate
            subtitle: L10n.t("dict.microphoneSub") + L10n.retranslate
            PulldownPill {
                objectName: "microphonePicker"
                width: 200
                height: 28
                accessibleName: L10n.t("dict.microphone") + L10n.retranslate
                options: tab.model.microphoneOptions
                currentIndex: tab.model.microphoneIndex
                onActivated: (index) => tab.model.chooseMicrophone(index)
            }
        }
        RowDivider {}
        SettingsRow {
            title: L10n.t("dict.recogLanguage") + L10n.retranslate
            subtitle: L10n.t("dict.recogLanguageSub") + L10n.retranslate
            PulldownPill {
                objectName: "localePicker"
                width: 180
                height: 28
                accessibleName: L10n.t("dict.recogLanguage") + L10n.retranslate
                options: tab.model.localeOptions
                currentIndex: tab.model.localeIndex
                onActivated: (index) => tab.model.chooseLocale(index)
            }
        }
        RowDivider {}
        SettingsRow {
            title: L10n.t("dict.cloudSTT") + L10n.retranslate
            subtitle: L10n.t("dict.cloudSTTSub") + L10n.retranslate
            SettingsSwitch {
                objectName: "cloudSTTSwitch"
                accessibleName: L10n.t("dict.cloudSTT") + L10n.retranslate
                checked: tab.settings.cloudSTT
                onToggled: tab.settings.cloudSTT = checked
            }
        }
        // Switched on while signed out: the note that cloud recognition needs an account.
        SignInNote {
            objectName: "cloudSTTSignInNote"
            visible: tab.model.showsCloudSignInNote
            width: parent.width
            text: L10n.t("dict.cloudSTTSignInNote") + L10n.retranslate
            onSignIn: tab.model.signIn()
        }
    }
    FooterNote {
        width: tab.width
        text: L10n.t("dict.cloudSTTFooter") + L10n.retranslate
    }

    SettingsCard {
        objectName: "insertionCard"
        width: tab.width
        SettingsRow {
            title: L10n.t("dict.insertMethod") + L10n.retranslate
            subtitle: L10n.t("dict.insertMethodSub") + L10n.retranslate
            PulldownPill {
                objectName: "insertionPicker"
                width: 160
                height: 28
                accessibleName: L10n.t("dict.insertMethod") + L10n.retranslate
                options: tab.model.insertionOptions
                currentIndex: tab.model.insertionIndex
                onActivated: (index) => tab.model.chooseInsertion(index)
            }
        }
        RowDivider {}
        SettingsRow {
            title: L10n.t("dict.restoreClipboard") + L10n.retranslate
            subtitle: L10n.t("dict.restoreClipboardSub") + L10n.retranslate
            SettingsSwitch {
                objectName: "restoreClipboardSwitch"
                accessibleName: L10n.t("dict.restoreClipboard") + L10n.retranslate
                checked: tab.settings.restoreClipboard
                onToggled: tab.settings.restoreClipboard = checked
            }
        }
        RowDivider {}
        SettingsRow {
            objectName: "restoreDelayRow"
            available: tab.settings.restoreClipboard
            title: L10n.t("dict.restoreDelay") + L10n.retranslate
            subtitle: L10n.t("dict.restoreDelaySub") + L10n.retranslate
            PulldownPill {
                objectName: "delayPicker"
                width: 110
                height: 28
                accessibleName: L10n.t("dict.restoreDelay") + L10n.retranslate
                options: tab.model.delayOptions
                currentIndex: tab.model.delayIndex
                onActivated: (index) => tab.model.chooseDelay(index)
            }
        }
    }
}
