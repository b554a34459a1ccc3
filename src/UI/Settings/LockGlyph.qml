import QtQuick

// A small padlock drawn from two shapes, so the note needs no icon font.
Item {
    id: glyph
    property color color: "gray"
    implicitWidth: 11
    implicitHeight: 12
    Rectangle {
        x: 2.5
        y: 0
        width: 6
        height: 8
        radius: 3
        color: "transparent"
        border.width: 1.3
        border.color: glyph.color
    }
    Rectangle {
        x: 0
        y: 5
        width: 11
        height: 7
        radius: 1.5
        color: glyph.color
    }
}
