import QtQuick 2.15

// The application view: the input, main and output pages arrive with the full scene. Until
// then it shows which device is there and where the start-up walk stands.
Item {
    id: applicationView

    Column {
        anchors.centerIn: parent
        spacing: 8 * devicePixelRatio

        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Vela"
            color: "#ffffff"
            opacity: 0.85
            font.family: applicationFont
            font.pixelSize: 28 * devicePixelRatio
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: wdx.isConnected ? wdx.name : wdx.name + " (Offline)"
            color: "#ffffff"
            opacity: 0.7
            font.family: applicationFont
            font.pixelSize: 14 * devicePixelRatio
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: wdx.state
            color: "#ffffff"
            opacity: 0.5
            font.family: applicationFont
            font.pixelSize: 11 * devicePixelRatio
        }
    }
}
