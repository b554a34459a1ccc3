import QtQuick
import QtQuick.Controls
import Sonorvelle
import Sonorvelle.Onboarding

// The onboarding window's whole view: the current page's body, scrolled when it does not fit,
// above the footer with the primary button, the further text buttons and the page dots. It tells
// the window how tall it wants to be.
Rectangle {
    id: root
    objectName: "onboardingRoot"
    required property OnboardingFlow flow

    readonly property real contentHeight: page.implicitHeight + 34 + 6
    readonly property real footerHeight: footer.implicitHeight + 8 + 22
    readonly property bool fits: flow.pageFits(contentHeight, footerHeight)
    readonly property real pageHeight: flow.pageAreaHeight(contentHeight, footerHeight)
    readonly property real totalHeight: pageHeight + footerHeight

    implicitWidth: 360
    implicitHeight: totalHeight
    color: OKTheme.background
    onTotalHeightChanged: flow.reportHeight(totalHeight)
    Component.onCompleted: flow.reportHeight(totalHeight)

    Flickable {
        id: pageArea
        objectName: "pageArea"
        width: 360
        height: root.pageHeight
        contentWidth: 360
        contentHeight: root.contentHeight
        interactive: !root.fits
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {
            objectName: "pageScrollBar"
            policy: root.fits ? ScrollBar.AlwaysOff : ScrollBar.AlwaysOn
        }

        Loader {
            id: page
            objectName: "page"
            x: 32
            y: 34
            width: 296
            source: root.flow.content
            onLoaded: pageArea.contentY = 0
        }
        Binding {
            target: page.item
            property: "model"
            value: root.flow.contentModel
            when: page.status === Loader.Ready
        }
        Binding {
            target: page.item
            property: "tick"
            value: root.flow.tick
            when: page.status === Loader.Ready
        }

        // A page change eases in.
        NumberAnimation {
            id: arrival
            target: page
            property: "opacity"
            from: 0
            to: 1
            duration: root.flow.moveDuration
            easing.type: Easing.InOutQuad
        }
        Connections {
            target: root.flow
            function onIndexChanged() { arrival.restart() }
        }
    }

    Column {
        id: footer
        objectName: "footer"
        x: 32
        // Under the page, and at the bottom edge of a window taller than its page.
        y: Math.max(pageArea.height + 8, root.height - footer.implicitHeight - 22)
        width: 296
        spacing: 12

        OKWaitingDots {
            objectName: "waitingDots"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: root.flow.waitingForGrant
            text: root.flow.waitingText + L10n.retranslate
        }
        OKTextButton {
            objectName: "laterButton"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: root.flow.laterShown
            title: root.flow.laterTitle + L10n.retranslate
            onClicked: root.flow.pressLater()
        }
        OKPrimaryButton {
            objectName: "primaryButton"
            width: parent.width
            visible: !root.flow.waitingForGrant
            focus: true
            title: root.flow.primaryTitle + L10n.retranslate
            onClicked: root.flow.pressPrimary()
        }
        OKTextButton {
            objectName: "secondaryButton"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: root.flow.secondaryShown
            title: root.flow.secondaryTitle + L10n.retranslate
            onClicked: root.flow.pressSecondary()
        }
        OKTextButton {
            objectName: "backButton"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: root.flow.backShown
            tertiary: true
            title: root.flow.backTitle + L10n.retranslate
            onClicked: root.flow.goBack()
        }
        OKPageDots {
            objectName: "pageDots"
            anchors.horizontalCenter: parent.horizontalCenter
            index: root.flow.index
            count: root.flow.count
        }
    }
}
