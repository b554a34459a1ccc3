import QtQuick

// The application icon, drawn a little larger than the square it takes in layout, as the icon's
// artwork has a margin of its own.
Item {
    id: view
    property real size: 72
    implicitWidth: size
    implicitHeight: size
    Image {
        anchors.centerIn: parent
        width: view.size * 1024 / 824
        height: width
        sourceSize.width: width * 2
        sourceSize.height: height * 2
        source: "qrc:/qt-project.org/imports/Sonorvelle/Pills/AppIcon.svg"
        smooth: true
        mipmap: true
    }
}
