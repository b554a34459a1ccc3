import QtQuick
import QtQuick.Controls
import Sonorvelle.Pills
import Sonorvelle.Settings

// The whole window: the sidebar on the left, the selected tab's heading and view on the right.
Rectangle {
    id: root
    objectName: "settingsRoot"
    required property SettingsWindowModel windowModel
    required property GeneralTabModel general
    required property DictationTabModel dictation
    required property AboutTabModel about
    required property HistoryTabModel history
    required property CleanupTabModel cleanup

    implicitWidth: 760
    implicitHeight: 520
    color: SettingsTheme.background
    // The keyboard moves the focus onto controls below the fold too: the pane follows it, so
    // the focused control is always in sight.
    Window.onActiveFocusItemChanged: if (Window.activeFocusItem) content.reveal(Window.activeFocusItem)

    SettingsSidebar {
        id: sidebar
        objectName: "sidebar"
        width: 220
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        windowModel: root.windowModel
    }

    Flickable {
        id: content
        objectName: "contentPane"
        anchors.left: sidebar.right
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        contentWidth: width
        contentHeight: column.implicitHeight
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        readonly property bool overflows: contentHeight > height + 0.5
        // Shown for as long as the tab is taller than the window, not only while it moves: a
        // mouse user sees that there is more below, and where they are in it.
        ScrollBar.vertical: ScrollBar {
            objectName: "contentScrollBar"
            policy: content.overflows ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
        }

        // Brings `item` (somewhere in the tab) fully into view, with a little room around it.
        function reveal(item) {
            let inside = item
            while (inside && inside !== column)
                inside = inside.parent
            if (!inside || !overflows)
                return
            const margin = 12
            const top = item.mapToItem(column, 0, 0).y
            const bottom = top + item.height
            const most = Math.max(0, contentHeight - height)
            if (top - margin < contentY)
                contentY = Math.max(0, top - margin)
            else if (bottom + margin > contentY + height)
                contentY = Math.min(most, Math.min(top - margin, bottom + margin - height))
        }

        Column {
            id: column
            width: content.width
            spacing: 0

            Item { width: 1; height: 30 }
            Text {
                objectName: "heading"
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: root.windowModel.heading
                font.pixelSize: 22
                font.bold: true
                color: SettingsTheme.foreground
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
            Item { width: 1; height: 4 }
            Text {
                objectName: "subtitle"
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: root.windowModel.subtitle
                font.pixelSize: 13
                color: SettingsTheme.secondaryText
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            Item { width: 1; height: 22 }

            Loader {
                id: tabLoader
                objectName: "tabLoader"
                x: 28
                width: parent.width - 56
                sourceComponent: root.windowModel.selectedName === "general" ? generalTab
                               : root.windowModel.selectedName === "dictation" ? dictationTab
                               : root.windowModel.selectedName === "about" ? aboutTab
                               : root.windowModel.selectedName === "permissions" ? permissionsTab
                               : root.windowModel.selectedName === "history" && root.history ? historyTab
                               : root.windowModel.selectedName === "cleanup" ? cleanupTab
                               : root.windowModel.selectedName === "dictionary"
                                 && root.windowModel.hasDictionary ? dictionaryTab
                               : root.windowModel.selectedName === "account" ? accountTab
                               : emptyTab
            }
            Item { width: 1; height: 28 }
        }
    }

    // Why a button that hands something to the desktop (a sign-in, a web link) opened nothing.
    // It stays at the foot of the content until a later hand-off works or the user clicks it
    // away.
    Rectangle {
        objectName: "handOffNotice"
        visible: root.windowModel.handOffNotice !== ""
        anchors.left: sidebar.right
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 12
        height: noticeText.implicitHeight + 16
        radius: 8
        color: SettingsTheme.cardFill
        border.color: SettingsTheme.warn
        border.width: 1
        Accessible.role: Accessible.AlertMessage
        Accessible.name: noticeText.text

        Text {
            id: noticeText
            objectName: "handOffNoticeText"
            x: 12
            width: parent.width - 24
            anchors.verticalCenter: parent.verticalCenter
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
            text: root.windowModel.handOffNotice
            font.pixelSize: 12
            color: SettingsTheme.foreground
        }
        MouseArea {
            anchors.fill: parent
            onClicked: root.windowModel.dismissHandOffNotice()
        }
    }

    // The tabs are made on demand and bind to the window's models through its id.
    // qmllint disable unqualified
    Component {
        id: generalTab
        GeneralTab { model: root.general }
    }
    Component {
        id: dictationTab
        DictationTab { model: root.dictation }
    }
    Component {
        id: permissionsTab
        PermissionsTab {
            id: permissions
            model: root.windowModel.makePermissionsModel(permissions)
        }
    }
    Component {
        id: aboutTab
        AboutTab { model: root.about }
    }
    Component {
        id: historyTab
        HistoryTab { model: root.history }
    }
    Component {
        id: cleanupTab
        CleanupTab { model: root.cleanup }
    }
    Component {
        id: dictionaryTab
        DictionaryTab {
            id: dictionary
            model: root.windowModel.makeDictionaryModel(dictionary)
        }
    }
    Component {
        id: accountTab
        AccountTab {
            id: account
            model: root.windowModel.makeAccountModel(account)
        }
    }
    // qmllint enable unqualified
    // A tab whose services the window was not given shows its heading over an empty page.
    Component {
        id: emptyTab
        Item { objectName: "emptyTab"; implicitHeight: 1 }
    }
}
