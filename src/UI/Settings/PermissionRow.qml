import QtQuick
import Sonorvelle
import Sonorvelle.Pills
import Sonorvelle.Settings

// A permission: the "Granted" badge once given, else the filled "Allow" button.
SettingsRow {
    id: row
    property bool granted: false
    property string key
    signal grant()

    // Only the shown control takes room, so either sits at the row's trailing edge.
    Item {
        width: row.granted ? badge.implicitWidth : allow.implicitWidth
        height: 30
        GrantedBadge {
            id: badge
            objectName: row.key + "Granted"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            visible: row.granted
            text: L10n.t("perm.granted") + L10n.retranslate
        }
        PillButton {
            id: allow
            objectName: row.key + "Allow"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            visible: !row.granted
            filled: true
            height: 30
            title: L10n.t("common.grant") + L10n.retranslate
            onClicked: row.grant()
        }
    }
}
