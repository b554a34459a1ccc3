import QtQuick
import QtQuick.Controls
import Sonorvelle
import Sonorvelle.Pills
import Sonorvelle.Settings

// The Dictionary tab: the vocabulary terms and the replacement rules, each in a card with its entry
// row and its list, then the footer. Rows are edited and deleted by their key, never by position.
Column {
    id: tab
    required property DictionaryTabModel model
    spacing: SettingsTheme.tabSpacing

    // The lists scroll inside their cards beyond this height, so that a long vocabulary opens as
    // quickly as a short one: only the rows in sight exist.
    readonly property int listHeight: 320

    component CardHeader: Column {
        property string title
        property string subtitle
        x: 16
        width: parent.width - 32
        spacing: 2
        Text {
            width: parent.width
            wrapMode: Text.Wrap
            text: parent.title
            font.pixelSize: 13
            font.weight: Font.Medium
            color: SettingsTheme.foreground
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
        Text {
            width: parent.width
            wrapMode: Text.Wrap
            text: parent.subtitle
            font.pixelSize: 11
            color: SettingsTheme.tertiaryText
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }

    component EmptyNote: Text {
        width: parent.width
        topPadding: 10
        bottomPadding: 10
        horizontalAlignment: Text.AlignHCenter
        font.pixelSize: 11
        color: SettingsTheme.tertiaryText
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }

    // A row's own field: no border or fill, only the text.
    component PlainField: TextField {
        padding: 0
        leftPadding: 0
        rightPadding: 0
        font.pixelSize: 12
        color: SettingsTheme.foreground
        selectionColor: SettingsTheme.accent
        selectedTextColor: "white"
        selectByMouse: true
        background: Item {}
    }

    component Arrow: Text {
        text: "→"
        font.pixelSize: 10
        font.weight: Font.DemiBold
        color: SettingsTheme.tertiaryText
        Accessible.ignored: true
    }

    // The hairline above every row but the first, from the card's leading edge.
    component ListDivider: Rectangle {
        width: parent.width
        height: SettingsTheme.hairline
        color: SettingsTheme.divider
    }

    SettingsCard {
        objectName: "termsCard"
        width: tab.width
        Column {
            width: parent.width
            topPadding: 16
            bottomPadding: 16
            spacing: 10

            CardHeader {
                title: L10n.t("dic.termsTitle") + L10n.retranslate
                subtitle: L10n.t("dic.termsSub") + L10n.retranslate
            }
            Row {
                x: 16
                width: parent.width - 32
                spacing: 8
                PillField {
                    objectName: "termField"
                    width: parent.width - addTerm.width - parent.spacing
                    height: 30
                    placeholderText: L10n.t("dic.termPlaceholder") + L10n.retranslate
                    text: tab.model.newTerm
                    onTextEdited: tab.model.newTerm = text
                    onAccepted: tab.model.addTerm()
                }
                PillButton {
                    id: addTerm
                    objectName: "addTermButton"
                    height: 30
                    filled: true
                    title: L10n.t("common.add") + L10n.retranslate
                    onClicked: tab.model.addTerm()
                }
            }
            Row {
                objectName: "duplicateNote"
                visible: tab.model.duplicateNote.length > 0
                x: 16
                width: parent.width - 32
                spacing: 5
                Rectangle {
                    anchors.verticalCenter: parent.verticalCenter
                    width: 12
                    height: 12
                    radius: 6
                    color: "transparent"
                    border.width: 1.2
                    border.color: SettingsTheme.warn
                    Text {
                        anchors.centerIn: parent
                        text: "!"
                        font.pixelSize: 9
                        font.bold: true
                        color: SettingsTheme.warn
                    }
                }
                Text {
                    objectName: "duplicateNoteText"
                    anchors.verticalCenter: parent.verticalCenter
                    width: parent.width - 17
                    wrapMode: Text.Wrap
                    text: tab.model.duplicateNote
                    textFormat: Text.PlainText
                    font.pixelSize: 11
                    color: SettingsTheme.warn
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
            EmptyNote {
                objectName: "termsEmpty"
                visible: tab.model.terms.count === 0
                text: L10n.t("dic.termsEmpty") + L10n.retranslate
            }
            ListView {
                id: termsList
                objectName: "termsList"
                visible: tab.model.terms.count > 0
                width: parent.width - 16
                height: Math.min(contentHeight, tab.listHeight)
                clip: true
                boundsBehavior: Flickable.StopAtBounds
                model: tab.model.terms
                ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
                Accessible.role: Accessible.List
                Accessible.name: L10n.t("dic.termsTitle") + L10n.retranslate

                // qmllint disable unqualified
                delegate: Item {
                    id: termRow
                    objectName: "termRow"
                    required property int index
                    required property int rowKey
                    required property string text
                    width: ListView.view.width
                    height: termContent.height + termContent.y

                    function reveal() {
                        termsList.positionViewAtIndex(termRow.index, ListView.Contain)
                    }

                    ListDivider { visible: termRow.index > 0 }
                    Row {
                        id: termContent
                        x: 16
                        y: termRow.index > 0 ? SettingsTheme.hairline : 0
                        width: parent.width - 16
                        height: 36
                        spacing: 8
                        PlainField {
                            objectName: "termText"
                            anchors.verticalCenter: parent.verticalCenter
                            width: parent.width - termTrash.width - parent.spacing
                            text: termRow.text
                            Accessible.name: L10n.t("dic.termsTitle") + L10n.retranslate
                            onTextEdited: tab.model.editTerm(termRow.rowKey, text)
                            onActiveFocusChanged: if (activeFocus) termRow.reveal()
                        }
                        TrashButton {
                            id: termTrash
                            objectName: "termDelete"
                            anchors.verticalCenter: parent.verticalCenter
                            accessibleName: L10n.t("hist.delete") + " " + termRow.text + L10n.retranslate
                            onClicked: tab.model.deleteTerm(termRow.rowKey)
                            onActiveFocusChanged: if (activeFocus) termRow.reveal()
                        }
                    }
                }
                // qmllint enable unqualified
            }
        }
    }

    SettingsCard {
        objectName: "replacementsCard"
        width: tab.width
        Column {
            width: parent.width
            topPadding: 16
            bottomPadding: 16
            spacing: 10

            CardHeader {
                title: L10n.t("dic.replTitle") + L10n.retranslate
                subtitle: L10n.t("dic.replSub") + L10n.retranslate
            }
            Row {
                x: 16
                width: parent.width - 32
                spacing: 8
                PillField {
                    id: phraseField
                    objectName: "phraseField"
                    width: (parent.width - addReplacement.width - entryArrow.width
                            - 3 * parent.spacing) / 2
                    height: 30
                    placeholderText: L10n.t("dic.phrasePlaceholder") + L10n.retranslate
                    text: tab.model.newPhrase
                    onTextEdited: tab.model.newPhrase = text
                }
                Arrow {
                    id: entryArrow
                    anchors.verticalCenter: parent.verticalCenter
                }
                PillField {
                    objectName: "expansionField"
                    width: phraseField.width
                    height: 30
                    placeholderText: L10n.t("dic.expansionPlaceholder") + L10n.retranslate
                    text: tab.model.newExpansion
                    onTextEdited: tab.model.newExpansion = text
                    onAccepted: tab.model.addReplacement()
                }
                PillButton {
                    id: addReplacement
                    objectName: "addReplacementButton"
                    height: 30
                    filled: true
                    title: L10n.t("common.add") + L10n.retranslate
                    onClicked: tab.model.addReplacement()
                }
            }
            EmptyNote {
                objectName: "replacementsEmpty"
                visible: tab.model.replacements.count === 0
                text: L10n.t("dic.replEmpty") + L10n.retranslate
            }
            ListView {
                id: replacementsList
                objectName: "replacementsList"
                visible: tab.model.replacements.count > 0
                width: parent.width - 16
                height: Math.min(contentHeight, tab.listHeight)
                clip: true
                boundsBehavior: Flickable.StopAtBounds
                model: tab.model.replacements
                ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
                Accessible.role: Accessible.List
                Accessible.name: L10n.t("dic.replTitle") + L10n.retranslate

                // qmllint disable unqualified
                delegate: Item {
                    id: ruleRow
                    objectName: "replacementRow"
                    required property int index
                    required property int rowKey
                    required property string text
                    required property string expansion
                    required property bool isEnabled
                    width: ListView.view.width
                    height: ruleContent.height + ruleContent.y

                    function reveal() {
                        replacementsList.positionViewAtIndex(ruleRow.index, ListView.Contain)
                    }

                    ListDivider { visible: ruleRow.index > 0 }
                    // The whole rule dims while it is off; it stays editable.
                    Row {
                        id: ruleContent
                        objectName: "replacementContent"
                        x: 16
                        y: ruleRow.index > 0 ? SettingsTheme.hairline : 0
                        width: parent.width - 16
                        height: 36
                        spacing: 8
                        opacity: ruleRow.isEnabled ? 1.0 : 0.5
                        // The small switch of a list row.
                        Item {
                            anchors.verticalCenter: parent.verticalCenter
                            width: 27
                            height: 16
                            SettingsSwitch {
                                objectName: "replacementSwitch"
                                anchors.centerIn: parent
                                scale: 0.7
                                accessibleName: ruleRow.text
                                checked: ruleRow.isEnabled
                                onToggled: tab.model.setReplacementEnabled(ruleRow.rowKey, checked)
                                onActiveFocusChanged: if (activeFocus) ruleRow.reveal()
                            }
                        }
                        PlainField {
                            id: rulePhrase
                            objectName: "replacementPhrase"
                            anchors.verticalCenter: parent.verticalCenter
                            width: (parent.width - 27 - ruleArrow.width - ruleTrash.width
                                    - 4 * parent.spacing) / 2
                            text: ruleRow.text
                            Accessible.name: L10n.t("dic.phrasePlaceholder") + L10n.retranslate
                            onTextEdited: tab.model.editPhrase(ruleRow.rowKey, text)
                            onActiveFocusChanged: if (activeFocus) ruleRow.reveal()
                        }
                        Arrow {
                            id: ruleArrow
                            anchors.verticalCenter: parent.verticalCenter
                        }
                        PlainField {
                            objectName: "replacementExpansion"
                            anchors.verticalCenter: parent.verticalCenter
                            width: rulePhrase.width
                            text: ruleRow.expansion
                            Accessible.name: L10n.t("dic.expansionPlaceholder") + L10n.retranslate
                            onTextEdited: tab.model.editExpansion(ruleRow.rowKey, text)
                            onActiveFocusChanged: if (activeFocus) ruleRow.reveal()
                        }
                        TrashButton {
                            id: ruleTrash
                            objectName: "replacementDelete"
                            anchors.verticalCenter: parent.verticalCenter
                            accessibleName: L10n.t("hist.delete") + " " + ruleRow.text + L10n.retranslate
                            onClicked: tab.model.deleteReplacement(ruleRow.rowKey)
                            onActiveFocusChanged: if (activeFocus) ruleRow.reveal()
                        }
                    }
                }
                // qmllint enable unqualified
            }
        }
    }

    FooterNote {
        width: tab.width
        text: L10n.t("dic.footer") + L10n.retranslate
    }
}
