import QtQuick 2.15
import "../../qml-utils"

// A row of exclusive choices (text or icon). `current` is what the model holds; a click
// reports `picked(index)` and leaves the change to the owner. `held` is true while a segment
// is pressed.
Rectangle {
    id: choice
    property var labels: []
    property var icons: []
    property int current: -1
    property string namePrefix: "choice"
    property real segmentWidth: 0
    readonly property bool held: pressedIndex >= 0
    property int pressedIndex: -1
    signal picked(int index)

    implicitWidth: segmentWidth > 0 ? segmentWidth * labels.length : row.implicitWidth
    implicitHeight: 28 * devicePixelRatio
    radius: Theme.radius * devicePixelRatio
    color: Theme.panel
    border.width: Math.max(1, devicePixelRatio / 2)
    border.color: Theme.line
    clip: true

    Row {
        id: row
        anchors.fill: parent
        Repeater {
            model: choice.labels.length
            delegate: Rectangle {
                id: segment
                objectName: choice.namePrefix + index
                readonly property bool checked: index === choice.current
                width: choice.segmentWidth > 0 ? choice.segmentWidth : Math.max(choice.width / choice.labels.length,
                                                                              content.implicitWidth + 12 * devicePixelRatio)
                height: choice.height
                radius: choice.radius
                color: mouse.pressed ? Theme.accentDim : checked ? Qt.darker(Theme.accentDim, 1.2)
                     : mouse.containsMouse ? Theme.panelRaised : "transparent"
                border.width: checked ? Math.max(1, devicePixelRatio) : 0
                border.color: Theme.accent
                Row {
                    id: content
                    anchors.centerIn: parent
                    spacing: 3 * devicePixelRatio
                    Image {
                        visible: choice.icons.length > index
                        anchors.verticalCenter: parent.verticalCenter
                        source: choice.icons.length > index ? choice.icons[index] : ""
                        width: segment.height * 0.7
                        height: width
                        sourceSize.width: width
                        sourceSize.height: height
                    }
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: choice.labels[index]
                        color: segment.checked ? Theme.text : Theme.textDim
                        font.family: applicationFont
                        font.pixelSize: Theme.fontSmall * devicePixelRatio
                        font.bold: segment.checked
                    }
                }
                MouseArea {
                    id: mouse
                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onPressedChanged: choice.pressedIndex = pressed ? index : -1
                    onClicked: choice.picked(index)
                }
            }
        }
    }
}
