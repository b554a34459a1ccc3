import QtQuick

// A framed area with a blue-violet diagonal gradient, for a small demonstration on top.
Item {
    id: canvas
    property real canvasHeight: 120
    default property alias content: slot.data
    width: parent ? parent.width : 296
    implicitHeight: canvasHeight

    Canvas {
        anchors.fill: parent
        onWidthChanged: requestPaint()
        onHeightChanged: requestPaint()
        onPaint: {
            const ctx = getContext("2d");
            ctx.reset();
            const gradient = ctx.createLinearGradient(0, 0, width, height);
            gradient.addColorStop(0, Qt.rgba(0.23, 0.36, 0.63, 1));
            gradient.addColorStop(1, Qt.rgba(0.42, 0.31, 0.66, 1));
            ctx.fillStyle = gradient;
            ctx.beginPath();
            ctx.roundedRect(0, 0, width, height, 10, 10);
            ctx.fill();
        }
    }
    Item {
        id: slot
        anchors.fill: parent
    }
}
