import QtQuick
import Sonorvelle.Onboarding

// One small dot per page, the current one in the accent colour.
Row {
    id: dots
    property int index: 0
    property int count: 0
    spacing: 5

    Repeater {
        model: Math.max(0, dots.count)
        // qmllint disable unqualified
        Rectangle {
            required property int index
            objectName: "pageDot_" + index
            width: 6
            height: 6
            radius: 3
            color: index === dots.index
                   ? OKTheme.accent
                   : Qt.rgba(OKTheme.primary.r, OKTheme.primary.g, OKTheme.primary.b, 0.2)
        }
        // qmllint enable unqualified
    }
}
