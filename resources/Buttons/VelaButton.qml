import QtQuick 2.15
import "../qml-utils"

// A text button (optionally with an icon in front). Space and Enter press it when it has focus.
Rectangle {
    id: button
    property alias text: label.text
    property url iconSource
    property bool highlighted: false
    property bool checkable: false
    property bool checked: false
    property real fontSize: Theme.fontNormal
    signal clicked()

    implicitWidth: Math.max(Theme.buttonHeight * 2.5 * devicePixelRatio, row.implicitWidth + 2 * Theme.margin * devicePixelRatio)
    implicitHeight: Theme.buttonHeight * devicePixelRatio
    radius: Theme.radius * devicePixelRatio
    opacity: enabled ? 1 : 0.4
    color: mouse.pressed ? Theme.accentDim
         : (highlighted || checked) ? Qt.darker(Theme.accentDim, 1.2)
         : mouse.containsMouse ? Theme.panelRaised : Theme.panel
    border.width: Math.max(1, devicePixelRatio)
    border.color: activeFocus ? Theme.accent : (checked || highlighted) ? Theme.accent : Theme.line
    activeFocusOnTab: true

    Row {
        id: row
        anchors.centerIn: parent
        spacing: Theme.spacing * devicePixelRatio * 0.75
        Image {
            visible: button.iconSource != ""
            source: button.iconSource
            anchors.verticalCenter: parent.verticalCenter
            width: button.height * 0.55
            height: width
            sourceSize.width: width
            sourceSize.height: height
        }
        Text {
            id: label
            anchors.verticalCenter: parent.verticalCenter
            color: Theme.text
            font.family: applicationFont
            font.pixelSize: button.fontSize * devicePixelRatio
            elide: Text.ElideRight
        }
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: button.activate()
    }

    function activate() {
        if (checkable)
            checked = !checked
        clicked()
    }

    Keys.onSpacePressed: activate()
    Keys.onReturnPressed: activate()
    Keys.onEnterPressed: activate()
}
