import QtQuick
import QtQuick.Controls
import Sonorvelle.Pills
import Sonorvelle.Settings

Rectangle {
    id: sidebar
    required property SettingsWindowModel windowModel
    color: SettingsTheme.sidebar

    Rectangle {
        anchors.right: parent.right
        width: 1
        height: parent.height
        color: SettingsTheme.sidebarDivider
    }

    Text {
        id: heading
        objectName: "sidebarHeading"
        x: 18
        y: 24
        text: sidebar.windowModel.sidebarHeading
        font.pixelSize: 12
        font.weight: Font.DemiBold
        color: SettingsTheme.secondaryText
        Accessible.role: Accessible.Heading
        Accessible.name: text
    }

    Flickable {
        id: list
        anchors.top: heading.bottom
        anchors.topMargin: 10
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        contentHeight: Math.max(height, inner.implicitHeight)
        clip: true
        boundsBehavior: Flickable.StopAtBounds

        Item {
            id: inner
            width: list.width
            height: list.contentHeight
            implicitHeight: rows.implicitHeight + 24 + footer.implicitHeight + 22

            Column {
                id: rows
                x: 10
                width: parent.width - 20
                spacing: 2
                Repeater {
                    model: sidebar.windowModel.tabs
                    // qmllint disable unqualified
                    delegate: Column {
                        required property var modelData
                        required property int index
                        width: rows.width
                        Item {
                            visible: modelData.dividerAbove
                            width: parent.width
                            height: visible ? 17 : 0
                            Rectangle {
                                x: 12
                                y: 8
                                width: parent.width - 24
                                height: 1
                                color: SettingsTheme.sidebarDivider
                            }
                        }
                        SidebarRow {
                            objectName: "sidebarRow_" + modelData.name
                            width: parent.width
                            title: modelData.title
                            glyph: modelData.glyph
                            chipTop: modelData.chipTop
                            chipBottom: modelData.chipBottom
                            selected: sidebar.windowModel.selectedIndex === index
                            onActivated: sidebar.windowModel.selectedIndex = index
                        }
                    }
                    // qmllint enable unqualified
                }
            }

            Column {
                id: footer
                anchors.bottom: parent.bottom
                anchors.bottomMargin: 22
                width: parent.width
                spacing: 6
                TesterModeIcon {
                    objectName: "testerIcon"
                    anchors.horizontalCenter: parent.horizontalCenter
                    size: 52
                    enabledRing: sidebar.windowModel.testerEnabled
                    onTapped: sidebar.windowModel.testerIconTapped()
                }
                Row {
                    anchors.horizontalCenter: parent.horizontalCenter
                    spacing: 5
                    Text {
                        text: "Sonorvelle"
                        font.pixelSize: 13
                        font.weight: Font.DemiBold
                        color: SettingsTheme.foreground
                    }
                    Text {
                        objectName: "appVersion"
                        anchors.baseline: parent.children[0].baseline
                        text: sidebar.windowModel.appVersion
                        font.pixelSize: 12
                        color: SettingsTheme.secondaryText
                    }
                }
            }
        }
    }
}
