import QtQuick
import Sonorvelle.Pills
import Sonorvelle.Settings

// A rounded rectangle outlined inside its border with a dashed 1-point line (4 on, 3 off) in the
// foreground colour at a faint opacity: the frame of an empty list.
Canvas {
    id: frame
    property real radius: 10
    readonly property color stroke: Qt.rgba(SettingsTheme.foreground.r, SettingsTheme.foreground.g,
                                             SettingsTheme.foreground.b, 0.12)
    onStrokeChanged: requestPaint()
    onWidthChanged: requestPaint()
    onHeightChanged: requestPaint()
    onPaint: {
        const ctx = getContext("2d")
        ctx.reset()
        ctx.strokeStyle = frame.stroke
        ctx.lineWidth = 1
        ctx.setLineDash([4, 3])
        ctx.beginPath()
        ctx.roundedRect(0.5, 0.5, width - 1, height - 1, radius - 0.5, radius - 0.5)
        ctx.stroke()
    }
}
