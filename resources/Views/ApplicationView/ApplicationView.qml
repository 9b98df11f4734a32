import QtQuick 2.15

// The application view: the input, main and output pages arrive with the full scene.
Item {
    id: applicationView

    Text {
        anchors.centerIn: parent
        text: "Vela"
        color: "#ffffff"
        opacity: 0.85
        font.family: applicationFont
        font.pixelSize: 28 * devicePixelRatio
    }
}
