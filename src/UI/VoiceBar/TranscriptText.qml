import QtQuick
import Sonorvelle.VoiceBar

// The live transcript on one line, cut at its head so that the newest words stay visible: the
// finalized part, then the still-changing part in a fainter colour.
Item {
    id: transcript
    required property VoiceBarModel model
    required property string finalizedText
    required property string volatileText
    required property color finalizedColor
    required property color volatileColor
    // The widest the text may be; the item is as wide as the text it shows, up to this.
    property real maximumWidth: 100
    property int pixelSize: 12

    readonly property var parts: transcript.model.headTruncated(transcript.finalizedText,
                                                                transcript.volatileText,
                                                                shown.font,
                                                                transcript.maximumWidth)
    implicitWidth: Math.min(shown.implicitWidth + pending.implicitWidth, maximumWidth)
    implicitHeight: shown.implicitHeight
    Accessible.role: Accessible.StaticText
    Accessible.name: finalizedText + volatileText

    Row {
        anchors.verticalCenter: parent.verticalCenter
        Text {
            id: shown
            objectName: "transcriptFinalized"
            text: transcript.parts[0]
            font.pixelSize: transcript.pixelSize
            color: transcript.finalizedColor
            textFormat: Text.PlainText
        }
        Text {
            id: pending
            objectName: "transcriptVolatile"
            text: transcript.parts[1]
            font.pixelSize: transcript.pixelSize
            color: transcript.volatileColor
            textFormat: Text.PlainText
        }
    }
}
