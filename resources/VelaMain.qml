import QtQuick 2.15
import QtQuick.Controls 1.4

Item {
    id: root
    // Design size; the window scales it by the screen's resolution.
    width: 480 * devicePixelRatio
    height: 320 * devicePixelRatio

    Rectangle {
        anchors.fill: parent
        gradient: Gradient {
            GradientStop { position: 0.0; color: "#26536b" }
            GradientStop { position: 1.0; color: "#223e4c" }
        }
    }

    StackView {
        id: pageStack
        objectName: "pageStack"
        anchors.fill: parent

        delegate: StackViewDelegate {
            pushTransition: StackViewTransition {
                PropertyAnimation { target: enterItem; property: "x"; from: enterItem.width; to: 0; duration: 300 }
                PropertyAnimation { target: exitItem; property: "x"; from: 0; to: -exitItem.width; duration: 300 }
            }
            popTransition: StackViewTransition {
                PropertyAnimation { target: enterItem; property: "x"; from: -enterItem.width; to: 0; duration: 300 }
                PropertyAnimation { target: exitItem; property: "x"; from: 0; to: exitItem.width; duration: 300 }
            }
        }
    }

    Timer {
        interval: 1
        running: true
        onTriggered: pageStack.push({ item: Qt.resolvedUrl("Views/ApplicationView/ApplicationView.qml"),
                                      properties: { objectName: "main" } })
    }
}
