import QtQuick 2.15
import "../qml-utils"

// A round, borderless button showing one of our images; `text` is its tooltip-like caption
// under it when `showText` is set.
Item {
    id: button
    property url source
    property string text
    property bool showText: false
    property real size: 36
    signal clicked()

    implicitWidth: size * devicePixelRatio
    implicitHeight: size * devicePixelRatio + (showText ? caption.height : 0)
    opacity: enabled ? 1 : 0.4
    activeFocusOnTab: true

    Rectangle {
        id: disc
        width: button.size * devicePixelRatio
        height: width
        radius: width / 2
        anchors.horizontalCenter: parent.horizontalCenter
        color: mouse.pressed ? Theme.accentDim : mouse.containsMouse ? Theme.panelRaised : "transparent"
        border.width: button.activeFocus ? Math.max(1, devicePixelRatio) : 0
        border.color: Theme.accent
        Image {
            anchors.centerIn: parent
            width: parent.width * 0.66
            height: width
            source: button.source
            sourceSize.width: width
            sourceSize.height: height
        }
    }
    Text {
        id: caption
        visible: button.showText
        anchors.top: disc.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        text: button.text
        color: Theme.textDim
        font.family: applicationFont
        font.pixelSize: Theme.fontSmall * devicePixelRatio
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
    Keys.onSpacePressed: clicked()
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()
}
