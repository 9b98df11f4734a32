import QtQuick 2.15
import "../qml-utils"

// A message at the bottom of the window, 80 % of its width, that hides itself after a few
// seconds unless `persistent`. Children go in a row of actions after the text.
Rectangle {
    id: popup
    property alias text: message.text
    property bool persistent: false
    property int showMs: 3000
    default property alias actions: actionRow.data

    function show(newText) {
        if (newText !== undefined)
            text = newText
        shown = true
        if (!persistent)
            hideTimer.restart()
    }
    function hide() { shown = false }
    property bool shown: false

    width: parent ? parent.width * 0.8 : 400
    height: Math.max(44 * devicePixelRatio, message.implicitHeight + 2 * Theme.margin * devicePixelRatio)
    anchors.horizontalCenter: parent ? parent.horizontalCenter : undefined
    y: parent ? (shown ? parent.height - height - Theme.margin * devicePixelRatio : parent.height + 4) : 0
    visible: opacity > 0
    opacity: shown ? 1 : 0
    radius: Theme.radius * devicePixelRatio
    color: "#e6182c37"
    border.color: Theme.accent
    border.width: Math.max(1, devicePixelRatio)
    z: 50
    Behavior on y { NumberAnimation { duration: 200 * Theme.motion; easing.type: Easing.OutCubic } }
    Behavior on opacity { NumberAnimation { duration: 200 * Theme.motion } }

    Timer { id: hideTimer; interval: popup.showMs; onTriggered: popup.hide() }

    Text {
        id: message
        anchors.left: parent.left
        anchors.right: actionRow.left
        anchors.margins: Theme.margin * devicePixelRatio
        anchors.verticalCenter: parent.verticalCenter
        wrapMode: Text.WordWrap
        color: Theme.text
        font.family: applicationFont
        font.pixelSize: Theme.fontNormal * devicePixelRatio
    }
    Row {
        id: actionRow
        anchors.right: parent.right
        anchors.rightMargin: Theme.margin * devicePixelRatio
        anchors.verticalCenter: parent.verticalCenter
        spacing: Theme.spacing * devicePixelRatio
    }
}
