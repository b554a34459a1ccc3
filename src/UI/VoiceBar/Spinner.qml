import QtQuick

// A small indeterminate progress spinner: an open ring turning once a second.
SymbolIcon {
    id: spinner
    name: "Spinner.svg"

    RotationAnimator on rotation {
        from: 0
        to: 360
        duration: 1000
        loops: Animation.Infinite
        running: spinner.visible
    }
}
