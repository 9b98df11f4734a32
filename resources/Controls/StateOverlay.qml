import QtQuick 2.15
import "../qml-utils"

// A full-window view over the three pages for an application state; it takes every click
// and fades in and out over 200 ms. Children are laid out in a centred column.
Rectangle {
    id: overlay
    property bool active: false
    default property alias content: column.data

    anchors.fill: parent
    gradient: Gradient {
        GradientStop { position: 0.0; color: Theme.backgroundTop }
        GradientStop { position: 1.0; color: Theme.backgroundBottom }
    }
    opacity: active ? 1 : 0
    visible: opacity > 0
    z: 40
    Behavior on opacity { NumberAnimation { duration: 200 * Theme.motion } }

    MouseArea { anchors.fill: parent; hoverEnabled: true; onWheel: wheel.accepted = true }

    Column {
        id: column
        anchors.centerIn: parent
        width: parent.width * 0.8
        spacing: 2 * Theme.margin * devicePixelRatio
    }
}
