import QtQuick 2.15
import "../qml-utils"
import "../javascript/ParameterXmlModelHelper.js" as Values

// A slider over one of the value lists: it shows the device value the model holds, in its
// unit, and reports the device value of the row the user picks. While the user holds it,
// `editing` is true (the owner passes that to the model's setIsEditing... so a poll cannot
// move it); when let go it shows the model's value again. Arrow keys step one row, Page keys
// ten; a refused edit (locked, hardware mode) changes nothing.
Item {
    id: slider
    property var list
    property int deviceValue: 0
    property string unit
    property int decimals: 1
    property string label
    property bool showSign: false
    readonly property bool editing: mouse.pressed && !mouse.refused
    readonly property int count: list ? list.count : 0
    readonly property int modelRow: count > 0 ? Values.getIndexFromDeviceValue(list, deviceValue) : -1
    property int row: modelRow
    signal edited(int deviceValue)

    implicitWidth: 200 * devicePixelRatio
    implicitHeight: (label !== "" ? 44 : 28) * devicePixelRatio
    activeFocusOnTab: true

    Binding on row { value: slider.modelRow; when: !slider.editing }

    function displayText(r) {
        if (r < 0 || r >= count)
            return "–"
        var v = list.get(r).displayValue
        var s = v.toFixed(decimals)
        if (showSign && v > 0)
            s = "+" + s
        return unit !== "" ? s + " " + unit : s
    }
    readonly property string valueText: displayText(row)

    function pick(r) {
        r = Math.max(0, Math.min(count - 1, r))
        if (r === row && editing)
            return
        row = r
        edited(list.get(r).deviceValue)
    }
    function step(delta) {
        if (count === 0 || !EditGuard.canEdit())
            return
        pick(modelRow + delta)
    }

    Text {
        id: labelText
        visible: slider.label !== ""
        anchors.left: parent.left
        anchors.top: parent.top
        text: slider.label
        color: Theme.textDim
        font.family: applicationFont
        font.pixelSize: Theme.fontSmall * devicePixelRatio
    }
    Text {
        objectName: "valueText"
        anchors.right: parent.right
        anchors.top: parent.top
        visible: slider.label !== ""
        text: slider.valueText
        color: Theme.text
        font.family: applicationFont
        font.pixelSize: Theme.fontSmall * devicePixelRatio
        font.bold: true
    }

    Item {
        id: track
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: 28 * devicePixelRatio
        readonly property real span: width - handle.width
        readonly property real fraction: slider.count > 1 && slider.row >= 0 ? slider.row / (slider.count - 1) : 0

        Rectangle {
            anchors.verticalCenter: parent.verticalCenter
            x: handle.width / 2
            width: parent.width - handle.width
            height: 4 * devicePixelRatio
            radius: height / 2
            color: Theme.line
            Rectangle {
                width: parent.width * track.fraction
                height: parent.height
                radius: parent.radius
                color: EditGuard.readOnly ? Theme.textDim : Theme.accent
            }
        }
        Rectangle {
            id: handle
            objectName: "handle"
            width: 18 * devicePixelRatio
            height: width
            radius: width / 2
            anchors.verticalCenter: parent.verticalCenter
            x: track.span * track.fraction
            color: slider.editing ? Theme.accent : Theme.text
            border.width: slider.activeFocus ? 2 * devicePixelRatio : 0
            border.color: Theme.accent
        }
        MouseArea {
            id: mouse
            property bool refused: false
            anchors.fill: parent
            preventStealing: true
            cursorShape: Qt.PointingHandCursor
            function follow(x) {
                if (slider.count > 1 && track.span > 0)
                    slider.pick(Math.round((x - handle.width / 2) / track.span * (slider.count - 1)))
            }
            onPressed: {
                slider.forceActiveFocus()
                refused = !EditGuard.canEdit()
                if (!refused)
                    follow(mouse.x)
            }
            onPositionChanged: if (!refused) follow(mouse.x)
            onReleased: refused = false
        }
    }

    Keys.onLeftPressed: step(-1)
    Keys.onDownPressed: step(-1)
    Keys.onRightPressed: step(1)
    Keys.onUpPressed: step(1)
    Keys.onPressed: {
        if (event.key === Qt.Key_PageUp) { step(10); event.accepted = true }
        else if (event.key === Qt.Key_PageDown) { step(-10); event.accepted = true }
    }
}
