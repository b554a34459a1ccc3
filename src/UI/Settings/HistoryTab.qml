import QtQuick
import QtQuick.Controls
import Sonorvelle
import Sonorvelle.Pills
import Sonorvelle.Settings

// The History tab: the history switch and the retention period, then the kept dictations (or the
// dashed empty state) and the Delete All pill, which asks before it deletes anything.
Column {
    id: tab
    required property HistoryTabModel model
    readonly property var settings: model.settings
    readonly property bool confirmingClear: confirm.visible
    spacing: 14

    SettingsCard {
        width: tab.width
        SettingsRow {
            title: L10n.t("hist.enabled") + L10n.retranslate
            subtitle: L10n.t("hist.enabledSub") + L10n.retranslate
            SettingsSwitch {
                objectName: "historySwitch"
                accessibleName: L10n.t("hist.enabled") + L10n.retranslate
                checked: tab.settings.historyEnabled
                onToggled: tab.settings.historyEnabled = checked
            }
        }
        RowDivider {}
        SettingsRow {
            title: L10n.t("hist.retention") + L10n.retranslate
            subtitle: L10n.t("hist.retentionSub") + L10n.retranslate
            PulldownPill {
                objectName: "retentionPicker"
                accessibleName: L10n.t("hist.retention") + L10n.retranslate
                width: 120
                height: 28
                options: tab.model.retentionOptions
                currentIndex: tab.model.retentionIndex
                onActivated: (index) => tab.model.chooseRetention(index)
            }
        }
    }

    // The empty state: a clock, a title and a line, in a dashed box.
    Item {
        objectName: "historyEmptyState"
        visible: tab.model.count === 0
        width: tab.width
        height: emptyColumn.implicitHeight + 52
        Accessible.role: Accessible.StaticText
        Accessible.name: emptyTitle.text + ". " + emptyBody.text

        DashedFrame {
            anchors.fill: parent
        }
        Column {
            id: emptyColumn
            anchors.centerIn: parent
            width: parent.width - 32
            spacing: 8
            // A clock face with two hands.
            Rectangle {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 22
                height: 22
                radius: 11
                color: "transparent"
                border.width: 1.6
                border.color: SettingsTheme.tertiaryText
                Rectangle {
                    x: parent.width / 2 - 0.8
                    y: 5
                    width: 1.6
                    height: parent.height / 2 - 5
                    color: SettingsTheme.tertiaryText
                }
                Rectangle {
                    x: parent.width / 2 - 0.8
                    y: parent.height / 2 - 0.8
                    width: 6
                    height: 1.6
                    color: SettingsTheme.tertiaryText
                }
            }
            Text {
                id: emptyTitle
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: L10n.t("hist.emptyTitle") + L10n.retranslate
                font.pixelSize: 12
                font.weight: Font.DemiBold
                color: SettingsTheme.foreground
            }
            Text {
                id: emptyBody
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: L10n.t("hist.emptyBody") + L10n.retranslate
                font.pixelSize: 11
                color: SettingsTheme.tertiaryText
            }
        }
    }

    // The kept dictations. Only the rows in sight (and a few beyond) exist, so a full history
    // opens and scrolls as quickly as a short one.
    SettingsCard {
        visible: tab.model.count > 0
        width: tab.width
        ListView {
            id: list
            objectName: "historyList"
            width: parent.width
            height: Math.min(contentHeight, 360)
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            model: tab.model
            cacheBuffer: 200
            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
            Accessible.role: Accessible.List
            Accessible.name: L10n.t("tab.history") + L10n.retranslate

            // qmllint disable unqualified
            delegate: Item {
                id: row
                objectName: "historyRow"
                required property int index
                required property string recordId
                required property string dateText
                required property string appName
                required property string firstLine
                width: ListView.view.width
                implicitHeight: rowContent.implicitHeight + 20
                height: implicitHeight
                Accessible.role: Accessible.ListItem
                Accessible.name: row.appName + ", " + row.dateText + ": " + row.firstLine

                // Keyboard focus on a row's button brings the row into sight.
                function reveal() {
                    list.positionViewAtIndex(row.index, ListView.Contain)
                }

                RowDivider {
                    visible: row.index > 0
                    anchors.top: parent.top
                    width: parent.width
                }
                Item {
                    id: rowContent
                    x: 16
                    width: parent.width - 32
                    y: 10
                    implicitHeight: Math.max(texts.implicitHeight, 24)
                    height: implicitHeight

                    Column {
                        id: texts
                        anchors.left: parent.left
                        anchors.right: copyButton.left
                        anchors.rightMargin: 12
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 3
                        Row {
                            spacing: 8
                            Text {
                                objectName: "historyDate"
                                text: row.dateText
                                textFormat: Text.PlainText
                                font.pixelSize: 11
                                color: SettingsTheme.tertiaryText
                            }
                            Text {
                                objectName: "historyApp"
                                text: row.appName
                                textFormat: Text.PlainText
                                font.pixelSize: 11
                                font.weight: Font.Medium
                                color: SettingsTheme.secondaryText
                            }
                        }
                        Text {
                            objectName: "historyText"
                            width: parent.width
                            text: row.firstLine
                            textFormat: Text.PlainText
                            font.pixelSize: 12
                            maximumLineCount: 1
                            elide: Text.ElideRight
                            color: SettingsTheme.foreground
                        }
                    }
                    PillButton {
                        id: copyButton
                        objectName: "historyCopy"
                        anchors.right: trash.left
                        anchors.rightMargin: 12
                        anchors.verticalCenter: parent.verticalCenter
                        height: 24
                        title: L10n.t("common.copy") + L10n.retranslate
                        onClicked: tab.model.copyRecord(row.index)
                        onActiveFocusChanged: if (activeFocus) row.reveal()
                    }
                    TrashButton {
                        id: trash
                        objectName: "historyDelete"
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        accessibleName: L10n.t("hist.delete") + L10n.retranslate
                        onClicked: tab.model.deleteRecord(row.index)
                        onActiveFocusChanged: if (activeFocus) row.reveal()
                    }
                }
            }
            // qmllint enable unqualified
        }
    }

    Item {
        visible: tab.model.count > 0
        width: tab.width
        height: 30
        PillButton {
            objectName: "historyDeleteAll"
            anchors.right: parent.right
            height: 30
            title: L10n.t("hist.deleteAll") + L10n.retranslate
            onClicked: confirm.open()
        }
    }

    // The delete-all question, inside the window.
    Popup {
        id: confirm
        objectName: "historyConfirm"
        parent: Overlay.overlay
        anchors.centerIn: parent
        modal: true
        focus: true
        width: 300
        padding: 20
        closePolicy: Popup.CloseOnEscape
        onOpened: cancelButton.forceActiveFocus()
        background: Rectangle {
            radius: 12
            // The card fill is see-through; the question must not show the list under it.
            color: SettingsTheme.background
            border.width: SettingsTheme.hairline
            border.color: SettingsTheme.cardBorder
        }
        Overlay.modal: Rectangle { color: "#40000000" }
        // The question's texts and buttons are named by id, so the content is made at once
        // rather than deferred; it is small.
        // qmllint disable deferred-property-id
        contentItem: Column {
            spacing: 8
            Accessible.role: Accessible.AlertMessage
            Accessible.name: confirmTitle.text
            Text {
                id: confirmTitle
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: L10n.t("hist.deleteAllConfirmTitle") + L10n.retranslate
                font.pixelSize: 13
                font.bold: true
                color: SettingsTheme.foreground
            }
            Text {
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: L10n.t("hist.deleteAllConfirmBody") + L10n.retranslate
                font.pixelSize: 11
                color: SettingsTheme.secondaryText
            }
            Item { width: 1; height: 6 }
            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 10
                PillButton {
                    id: cancelButton
                    objectName: "historyConfirmCancel"
                    height: 28
                    title: L10n.t("common.cancel") + L10n.retranslate
                    onClicked: confirm.close()
                }
                PillButton {
                    objectName: "historyConfirmDelete"
                    height: 28
                    filled: true
                    title: L10n.t("hist.deleteAll") + L10n.retranslate
                    onClicked: {
                        confirm.close()
                        tab.model.deleteAll()
                    }
                }
            }
        }
        // qmllint enable deferred-property-id
    }
}
