import QtQuick
import Sonorvelle
import Sonorvelle.VoiceBar

// The notch bar: a near-black tab hanging from the top edge of the screen with the state and the
// level graph, and below it, while words come in, the live transcript on a chip.
Item {
    id: root
    objectName: "notchBar"
    required property DictationController controller
    required property VoiceBarModel model
    // Whether a compositor shows what lies behind the window.
    required property bool translucent
    // Set as the window appears: the tab slides down out of the top edge.
    property bool appeared: false
    // The window's fill where transparent pixels would show black; the window then keeps only the
    // tab and the chips.
    readonly property color opaqueFill: VoiceBarTheme.nearBlack
    readonly property var chips: chip.visible
        ? [Qt.rect(stack.x + chip.x, stack.y + chip.y, chip.width, chip.height)] : []
    readonly property bool recording: model.isRecording(controller.state)
    readonly property bool hasTranscript: controller.finalizedText.length > 0
                                          || controller.volatileText.length > 0

    implicitWidth: 480
    implicitHeight: 76

    Column {
        id: stack
        width: root.width
        y: root.appeared ? 0 : -27
        spacing: 8
        Behavior on y {
            NumberAnimation {
                duration: 220
                easing.type: Easing.BezierSpline
                easing.bezierCurve: VoiceBarTheme.easeOut
            }
        }

        NotchShape {
            objectName: "notchTab"
            anchors.horizontalCenter: parent.horizontalCenter
            width: 190
            height: 27

            Row {
                visible: root.recording
                anchors.centerIn: parent
                spacing: 9
                Rectangle {
                    objectName: "recordingDot"
                    anchors.verticalCenter: parent.verticalCenter
                    width: 7
                    height: 7
                    radius: 3.5
                    color: VoiceBarTheme.notchDot
                }
                NotchWaveformView {
                    objectName: "waveform"
                    anchors.verticalCenter: parent.verticalCenter
                    model: root.model
                    levels: root.model.notchLevels
                }
                Text {
                    objectName: "countdown"
                    visible: root.controller.hasSecondsRemaining
                    anchors.verticalCenter: parent.verticalCenter
                    text: root.model.countdownText(Math.max(0, root.controller.secondsRemaining))
                    font.pixelSize: 11
                    color: VoiceBarTheme.notchCountdown
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
            Row {
                visible: !root.recording
                anchors.centerIn: parent
                spacing: 9
                Spinner {
                    objectName: "spinner"
                    anchors.verticalCenter: parent.verticalCenter
                    size: 11
                    tint: Qt.rgba(1, 1, 1, 0.8)
                }
                Text {
                    objectName: "status"
                    anchors.verticalCenter: parent.verticalCenter
                    text: L10n.t("hud.processing") + L10n.retranslate
                    font.pixelSize: 11
                    color: Qt.rgba(1, 1, 1, 0.75)
                    maximumLineCount: 1
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }

        Rectangle {
            id: chip
            objectName: "transcriptChip"
            visible: root.recording && root.hasTranscript
            anchors.horizontalCenter: parent.horizontalCenter
            width: chipText.width + 24
            height: 28
            radius: 13
            color: Qt.rgba(VoiceBarTheme.nearBlack.r, VoiceBarTheme.nearBlack.g,
                           VoiceBarTheme.nearBlack.b, 0.92)

            TranscriptText {
                id: chipText
                objectName: "transcript"
                anchors.centerIn: parent
                model: root.model
                finalizedText: root.controller.finalizedText
                volatileText: root.controller.volatileText
                finalizedColor: Qt.rgba(1, 1, 1, 0.95)
                volatileColor: Qt.rgba(1, 1, 1, 0.55)
                maximumWidth: root.width - 24
            }
        }
    }
}
