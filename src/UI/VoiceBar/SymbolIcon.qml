import QtQuick

// One of our symbols in one colour.
Image {
    id: icon
    required property string name
    required property color tint
    property real size: 14

    width: size
    height: size
    sourceSize.width: Math.ceil(size * 2)
    sourceSize.height: Math.ceil(size * 2)
    // The colour as hexadecimal digits: a "#" would start the address's fragment.
    source: "image://voicebaricon/" + name + "/" + String(tint).substring(1)
    smooth: true
}
