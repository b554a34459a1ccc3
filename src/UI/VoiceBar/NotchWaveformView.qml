import QtQuick
import Sonorvelle.VoiceBar

// The notch tab's level graph: the newest twelve levels, white, shorter bars.
WaveformView {
    spacing: 3
    barScale: 15
    base: 2
    frameHeight: 17
    barColor: Qt.rgba(1, 1, 1, 0.85)
}
