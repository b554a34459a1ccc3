import QtQuick
import QtQuick.Layouts
import Sonorvelle
import Sonorvelle.VoiceBar

// The classic bar: the session state, the level graph, the live transcript, the countdown of the
// last minute and the hint that Escape cancels, on the HUD background.
Rectangle {
    id: root
    objectName: "voiceBar"
    required property DictationController controller
    required property VoiceBarModel model
    // Whether a compositor shows what lies behind the window.
    required property bool translucent
    // Set as the window appears: the bar grows into place while the window fades in.
    property bool appeared: false
    // The window's fill where transparent pixels would show black.
    readonly property color opaqueFill: VoiceBarTheme.hudOpaqueFill
    readonly property bool recording: model.isRecording(controller.state)
    readonly property bool hasTranscript: controller.finalizedText.length > 0
                                          || controller.volatileText.length > 0

    implicitWidth: 380
    implicitHeight: 44
    radius: 14
    color: translucent ? VoiceBarTheme.hudFill : VoiceBarTheme.hudOpaqueFill
    scale: appeared ? 1 : 0.965
    Behavior on scale {
        NumberAnimation {
            duration: 140
            easing.type: Easing.BezierSpline
            easing.bezierCurve: VoiceBarTheme.easeOut
        }
    }

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 14
        anchors.rightMargin: 14
        spacing: 10

        Item {
            Layout.preferredWidth: 16
            Layout.preferredHeight: 16
            Rectangle {
                objectName: "recordingDot"
                visible: root.recording
                anchors.centerIn: parent
                width: 7
                height: 7
                radius: 3.5
                color: VoiceBarTheme.recordingRed
            }
            Spinner {
                objectName: "spinner"
                visible: !root.recording
                anchors.centerIn: parent
                size: 14
                tint: VoiceBarTheme.secondaryText
            }
        }

        WaveformView {
            objectName: "waveform"
            model: root.model
            levels: root.model.levels
            opacity: root.recording ? 1 : 0.4
        }

        Item {
            id: preview
            Layout.fillWidth: true
            Layout.fillHeight: true

            TranscriptText {
                objectName: "transcript"
                visible: root.recording && root.hasTranscript
                anchors.verticalCenter: parent.verticalCenter
                model: root.model
                finalizedText: root.controller.finalizedText
                volatileText: root.controller.volatileText
                finalizedColor: VoiceBarTheme.primaryText
                volatileColor: VoiceBarTheme.volatileText
                maximumWidth: preview.width
            }
            Text {
                objectName: "status"
                visible: !(root.recording && root.hasTranscript)
                anchors.verticalCenter: parent.verticalCenter
                width: preview.width
                text: (root.recording ? L10n.t("hud.listening") : L10n.t("hud.processing"))
                      + L10n.retranslate
                font.pixelSize: 12
                color: VoiceBarTheme.secondaryText
                elide: Text.ElideRight
                maximumLineCount: 1
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }

        CountdownBadge {
            objectName: "countdownBadge"
            visible: root.controller.hasSecondsRemaining
            model: root.model
            seconds: Math.max(0, root.controller.secondsRemaining)
        }

        Text {
            objectName: "cancelHint"
            text: L10n.t("hud.cancel_hint") + L10n.retranslate
            font.pixelSize: 9
            color: VoiceBarTheme.tertiaryText
            maximumLineCount: 1
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
}
