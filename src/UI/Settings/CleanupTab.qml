import QtQuick
import QtQuick.Controls
import Sonorvelle
import Sonorvelle.Pills
import Sonorvelle.Settings

Column {
    id: tab
    required property CleanupTabModel model
    readonly property var settings: model.settings
    spacing: SettingsTheme.tabSpacing

    SettingsCard {
        objectName: "cleanupCard"
        width: tab.width
        SettingsRow {
            title: L10n.t("clean.polish") + L10n.retranslate
            subtitle: L10n.t("clean.polishSub") + L10n.retranslate
            SettingsSwitch {
                objectName: "polishSwitch"
                accessibleName: L10n.t("clean.polish") + L10n.retranslate
                checked: tab.model.polish
                onToggled: tab.model.polish = checked
            }
        }
        Column {
            objectName: "intensityBlock"
            visible: tab.model.polish
            width: parent.width
            leftPadding: 12
            rightPadding: 12
            bottomPadding: 8
            spacing: 6
            Row {
                width: parent.width - 24
                spacing: 8
                Text {
                    id: lightLabel
                    anchors.verticalCenter: parent.verticalCenter
                    text: L10n.t("clean.intensityLight") + L10n.retranslate
                    font.pixelSize: 11
                    color: SettingsTheme.secondaryText
                    Accessible.ignored: true
                }
                Slider {
                    id: slider
                    objectName: "intensitySlider"
                    anchors.verticalCenter: parent.verticalCenter
                    width: parent.width - lightLabel.width - fullLabel.width - 2 * parent.spacing
                    from: 1
                    to: 3
                    stepSize: 1
                    snapMode: Slider.SnapAlways
                    value: tab.model.intensity
                    activeFocusOnTab: true
                    Accessible.name: L10n.t("clean.intensityLight") + " – "
                                     + L10n.t("clean.intensityFull") + L10n.retranslate
                    Accessible.description: tab.model.intensityCaption
                    onMoved: tab.model.moveIntensity(value)
                    background: Rectangle {
                        x: slider.leftPadding
                        y: slider.topPadding + slider.availableHeight / 2 - height / 2
                        width: slider.availableWidth
                        height: 4
                        radius: 2
                        color: SettingsTheme.switchTrack
                        Rectangle {
                            width: slider.visualPosition * parent.width
                            height: parent.height
                            radius: 2
                            color: SettingsTheme.accent
                        }
                        Repeater {
                            model: 3
                            Rectangle {
                                required property int index
                                x: index * (parent.width - width) / 2
                                y: parent.height + 4
                                width: 2
                                height: 4
                                color: SettingsTheme.tertiaryText
                            }
                        }
                    }
                    handle: Rectangle {
                        x: slider.leftPadding + slider.visualPosition * (slider.availableWidth - width)
                        y: slider.topPadding + slider.availableHeight / 2 - height / 2
                        implicitWidth: 18
                        implicitHeight: 18
                        radius: 9
                        color: "white"
                        border.width: slider.visualFocus ? SettingsTheme.focusRingWidth : 0.5
                        border.color: slider.visualFocus ? SettingsTheme.focusRing : SettingsTheme.fieldBorder
                    }
                }
                Text {
                    id: fullLabel
                    anchors.verticalCenter: parent.verticalCenter
                    text: L10n.t("clean.intensityFull") + L10n.retranslate
                    font.pixelSize: 11
                    color: SettingsTheme.secondaryText
                    Accessible.ignored: true
                }
            }
            Text {
                objectName: "intensityCaption"
                width: parent.width - 24
                wrapMode: Text.Wrap
                text: tab.model.intensityCaption
                font.pixelSize: 11
                color: SettingsTheme.tertiaryText
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }
        RowDivider {}

        // Signed in: learning, the reset of what was learned, and the privacy note.
        SettingsRow {
            objectName: "learnRow"
            visible: tab.model.hasToken
            title: L10n.t("clean.learn") + L10n.retranslate
            subtitle: L10n.t("clean.learnSub") + L10n.retranslate
            SettingsSwitch {
                objectName: "learnSwitch"
                accessibleName: L10n.t("clean.learn") + L10n.retranslate
                checked: tab.settings.cloudLearning
                onToggled: tab.settings.cloudLearning = checked
            }
        }
        RowDivider { visible: tab.model.hasToken && tab.settings.cloudLearning }
        SettingsRow {
            objectName: "resetRow"
            visible: tab.model.hasToken && tab.settings.cloudLearning
            title: L10n.t("clean.resetMemory") + L10n.retranslate
            subtitle: (tab.model.resetFailed ? L10n.t("clean.resetFailed")
                                             : L10n.t("clean.resetMemorySub")) + L10n.retranslate
            PillButton {
                objectName: "resetButton"
                height: 24
                title: (tab.model.resetting ? L10n.t("clean.resetting")
                                            : L10n.t("clean.reset")) + L10n.retranslate
                enabled: !tab.model.resetting
                onClicked: tab.model.resetMemory()
            }
        }
        Row {
            objectName: "privacyNote"
            visible: tab.model.hasToken
            width: parent.width
            topPadding: 10
            bottomPadding: 10
            leftPadding: 16
            rightPadding: 16
            spacing: 8
            LockGlyph {
                anchors.verticalCenter: parent.verticalCenter
                color: SettingsTheme.secondaryText
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width - 32 - 8 - 11
                wrapMode: Text.Wrap
                text: L10n.t("clean.cloudPrivacy") + L10n.retranslate
                font.pixelSize: 11
                color: SettingsTheme.tertiaryText
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }

        // Signed out: the note that cloud cleanup needs an account.
        SignInNote {
            objectName: "signInNote"
            visible: !tab.model.hasToken
            width: parent.width
            text: L10n.t("clean.cloudSignInNote") + L10n.retranslate
            onSignIn: tab.model.signIn()
        }
        RowDivider {}
        SettingsRow {
            title: L10n.t("clean.focusContext") + L10n.retranslate
            subtitle: L10n.t("clean.focusContextSub") + L10n.retranslate
            SettingsSwitch {
                objectName: "focusContextSwitch"
                accessibleName: L10n.t("clean.focusContext") + L10n.retranslate
                checked: tab.settings.useFocusContext
                onToggled: tab.settings.useFocusContext = checked
            }
        }
    }

    SettingsCard {
        objectName: "instructionsCard"
        width: tab.width
        Column {
            width: parent.width
            padding: 16
            spacing: 4
            Text {
                width: parent.width - 32
                text: L10n.t("clean.customTitle") + L10n.retranslate
                font.pixelSize: 13
                font.weight: Font.Medium
                color: SettingsTheme.foreground
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            Text {
                width: parent.width - 32
                wrapMode: Text.Wrap
                text: L10n.t("clean.customSub") + L10n.retranslate
                font.pixelSize: 11
                color: SettingsTheme.tertiaryText
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            Item { width: 1; height: 2 }
            Rectangle {
                width: parent.width - 32
                height: 88
                radius: 8
                color: Qt.rgba(SettingsTheme.foreground.r, SettingsTheme.foreground.g,
                               SettingsTheme.foreground.b, 0.06)
                border.width: editor.activeFocus ? SettingsTheme.focusRingWidth : 0.5
                border.color: editor.activeFocus
                              ? SettingsTheme.focusRing
                              : Qt.rgba(SettingsTheme.foreground.r, SettingsTheme.foreground.g,
                                        SettingsTheme.foreground.b, 0.12)
                ScrollView {
                    anchors.fill: parent
                    anchors.margins: 1
                    TextArea {
                        id: editor
                        objectName: "instructionsEditor"
                        padding: 6
                        wrapMode: TextEdit.Wrap
                        font.pixelSize: 12
                        color: SettingsTheme.foreground
                        selectByMouse: true
                        background: null
                        text: tab.settings.customInstructions
                        textFormat: TextEdit.PlainText
                        activeFocusOnTab: true
                        Accessible.name: L10n.t("clean.customTitle") + L10n.retranslate
                        Accessible.description: L10n.t("clean.customSub") + L10n.retranslate
                        // Every keystroke is kept at once.
                        onTextChanged: {
                            if (text !== tab.settings.customInstructions)
                                tab.settings.customInstructions = text
                        }
                        // Tab leaves the editor so the keyboard reaches what follows.
                        Keys.onTabPressed: (event) => {
                            editor.nextItemInFocusChain(true).forceActiveFocus(Qt.TabFocusReason)
                        }
                        Keys.onBacktabPressed: (event) => {
                            editor.nextItemInFocusChain(false).forceActiveFocus(Qt.BacktabFocusReason)
                        }
                    }
                }
            }
        }
    }
    FooterNote {
        width: tab.width
        text: L10n.t("clean.footer") + L10n.retranslate
    }
}
