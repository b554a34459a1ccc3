import QtQuick

// One of the kit's symbols in a colour, `size` points square.
Image {
    id: symbol
    property string name
    property color tint: "black"
    property real size: 15
    width: size
    height: size
    sourceSize.width: size * 2
    sourceSize.height: size * 2
    smooth: true
    source: name.length > 0 ? "image://oksymbol/" + name + "/" + encodeURIComponent(tint.toString())
                            : ""
}
