import QtQuick
import Sonorvelle.Onboarding

// The faint rounded panel behind a row, with a thin border drawn inside its edge.
Rectangle {
    radius: 10
    color: OKTheme.rowFill
    border.width: 0.5
    border.color: OKTheme.rowStroke
}
