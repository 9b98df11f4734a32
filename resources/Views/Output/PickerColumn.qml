import QtQuick 2.15
import "../../qml-utils"

// A titled, scrolling column of the speaker picker.
Item {
    id: column
    property alias title: titleText.text
    property alias model: list.model
    property alias delegate: list.delegate
    property alias footer: list.footer

    Text {
        id: titleText
        color: Theme.textDim
        font.family: applicationFont
        font.pixelSize: Theme.fontSmall * devicePixelRatio
        font.bold: true
    }
    Rectangle {
        anchors.top: titleText.bottom
        anchors.topMargin: 4 * devicePixelRatio
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        radius: Theme.radius * devicePixelRatio
        color: Theme.panel
        border.color: Theme.line
        border.width: Math.max(1, devicePixelRatio / 2)
        ListView {
            id: list
            anchors.fill: parent
            anchors.margins: 4 * devicePixelRatio
            spacing: 2 * devicePixelRatio
            clip: true
            boundsBehavior: Flickable.StopAtBounds
        }
    }
}
