import QtQuick 2.15
import "../../qml-utils"

// One choice in a picker column: an icon and/or a name, highlighted when selected.
Rectangle {
    id: row
    property alias text: label.text
    property url iconSource
    property bool iconOnly: false
    property bool selected: false
    readonly property bool pressed: mouse.pressed
    readonly property bool hovered: mouse.containsMouse
    signal clicked()

    height: 48 * devicePixelRatio
    radius: Theme.radius * devicePixelRatio
    color: pressed ? Theme.accentDim : selected ? Qt.darker(Theme.accentDim, 1.2) : hovered ? Theme.panelRaised : "transparent"
    border.width: selected ? Math.max(1, devicePixelRatio) : 0
    border.color: Theme.accent

    Image {
        id: icon
        visible: row.iconSource != ""
        anchors.left: parent.left
        anchors.leftMargin: 4 * devicePixelRatio
        anchors.verticalCenter: parent.verticalCenter
        anchors.verticalCenterOffset: row.iconOnly ? -label.height / 2 : 0
        anchors.horizontalCenter: row.iconOnly ? parent.horizontalCenter : undefined
        height: row.iconOnly ? row.height - label.height - 4 * devicePixelRatio : row.height - 8 * devicePixelRatio
        width: height
        source: row.iconSource
        sourceSize.width: width
        sourceSize.height: height
    }
    Text {
        id: label
        anchors.left: row.iconOnly || !icon.visible ? parent.left : icon.right
        anchors.right: parent.right
        anchors.leftMargin: 6 * devicePixelRatio
        anchors.rightMargin: 4 * devicePixelRatio
        anchors.verticalCenter: row.iconOnly ? undefined : parent.verticalCenter
        anchors.bottom: row.iconOnly ? parent.bottom : undefined
        horizontalAlignment: row.iconOnly ? Text.AlignHCenter : Text.AlignLeft
        elide: Text.ElideRight
        color: row.selected ? Theme.text : Theme.textDim
        font.family: applicationFont
        font.pixelSize: Theme.fontSmall * devicePixelRatio
        font.bold: row.selected
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: row.clicked()
    }
}
