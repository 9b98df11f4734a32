import QtQuick 2.15
import "../../qml-utils"

// A labelled on/off switch for an application setting. It only shows `checked`: the owner
// writes the model in onToggled and the binding brings the switch along.
Item {
    id: toggle
    property alias text: label.text
    property bool checked: false
    signal toggled(bool checked)

    implicitHeight: Math.max(label.implicitHeight, track.height) + Theme.spacing * devicePixelRatio
    activeFocusOnTab: true
    opacity: enabled ? 1 : 0.4

    Text {
        id: label
        anchors.left: parent.left
        anchors.right: track.left
        anchors.rightMargin: Theme.spacing * devicePixelRatio
        anchors.verticalCenter: parent.verticalCenter
        wrapMode: Text.WordWrap
        color: Theme.text
        font.family: applicationFont
        font.pixelSize: Theme.fontNormal * devicePixelRatio
    }

    Rectangle {
        id: track
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        width: 40 * devicePixelRatio
        height: 22 * devicePixelRatio
        radius: height / 2
        color: toggle.checked ? Theme.accentDim : Theme.panel
        border.width: Math.max(1, devicePixelRatio)
        border.color: toggle.activeFocus || toggle.checked ? Theme.accent : Theme.line
        Rectangle {
            width: parent.height - 6 * devicePixelRatio
            height: width
            radius: width / 2
            anchors.verticalCenter: parent.verticalCenter
            x: toggle.checked ? parent.width - width - 3 * devicePixelRatio : 3 * devicePixelRatio
            color: toggle.checked ? Theme.text : Theme.textDim
            Behavior on x { NumberAnimation { duration: 120 * Theme.motion } }
        }
    }

    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: toggle.toggled(!toggle.checked)
    }
    Keys.onSpacePressed: toggled(!checked)
    Keys.onReturnPressed: toggled(!checked)
    Keys.onEnterPressed: toggled(!checked)
}
