import QtQuick

// The application's icon: the artwork's central 824 of 1024 fills the square, its margin
// overflows it.
Item {
    id: icon
    property real size: 92
    implicitWidth: size
    implicitHeight: size
    Image {
        anchors.centerIn: parent
        width: icon.size * 1024 / 824
        height: width
        sourceSize.width: width * 2
        sourceSize.height: height * 2
        source: "qrc:/qt-project.org/imports/Sonorvelle/Pills/AppIcon.svg"
        smooth: true
        mipmap: true
    }
}
