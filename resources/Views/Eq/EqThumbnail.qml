import QtQuick 2.15
import "../../qml-utils"
import "../../javascript/RVEQBiquadFilter.js" as Eq
import "../../javascript/PlotHelper.js" as Plot

// A small picture of one equaliser's curve, same scale as the editor's plot; a click opens
// the editor.
Rectangle {
    id: thumbnail
    property QtObject eq: null
    signal clicked()

    readonly property var lists: ({ frequency: ValueLists.frequency, gain: ValueLists.gain, q: ValueLists.q })
    readonly property bool ready: ValueLists.ready

    radius: Theme.radius * devicePixelRatio
    color: mouse.containsMouse ? "#1b3a4e" : "#14283a"
    border.color: mouse.containsMouse ? Theme.accent : Theme.line
    border.width: Math.max(1, devicePixelRatio / 2)

    onEqChanged: canvas.refresh()
    onReadyChanged: canvas.refresh()
    Connections {
        target: thumbnail.eq
        function onDataChanged() { canvas.refresh() }
        function onIsEnabledChanged() { canvas.refresh() }
    }

    Canvas {
        id: canvas
        anchors.fill: parent
        anchors.margins: 2 * devicePixelRatio
        opacity: thumbnail.eq && thumbnail.eq.isEnabled ? 1 : 0.45
        property var result: null
        // A hidden curve is drawn when it shows again, not on every change meanwhile.
        property bool stale: false
        function refresh() {
            if (visible) {
                requestPaint()
            } else {
                stale = true
            }
        }
        onVisibleChanged: {
            if (visible && stale) {
                stale = false
                requestPaint()
            }
        }
        onWidthChanged: requestPaint()
        onHeightChanged: requestPaint()
        onPaint: {
            var ctx = getContext("2d")
            ctx.reset()
            if (!thumbnail.eq || !thumbnail.ready || width < 2 || height < 2)
                return
            result = Eq.rvEQCurve(thumbnail.eq, thumbnail.lists, width, height, result)
            var r = result
            ctx.lineWidth = Math.max(1, devicePixelRatio / 2)
            ctx.strokeStyle = "#5f8aa0"
            Plot.drawLine(ctx, r.fillStartX, r.zeroY, r.fillEndX, r.zeroY, height)
            ctx.fillStyle = "#554fc3f7"
            Plot.fillCurve(ctx, r.xs, r.ys, r.geometry.count, height, r.fillStartX, r.fillEndX, r.zeroY)
            ctx.strokeStyle = String(Theme.accent)
            ctx.lineWidth = 1.5 * devicePixelRatio
            Plot.strokeCurve(ctx, r.xs, r.ys, r.geometry.count, height)
        }
    }

    Text {
        visible: thumbnail.eq !== null && !thumbnail.eq.isEnabled
        anchors.top: parent.top
        anchors.right: parent.right
        anchors.margins: 4 * devicePixelRatio
        text: "EQ off"
        color: Theme.warning
        font.family: applicationFont
        font.pixelSize: Theme.fontSmall * devicePixelRatio
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: thumbnail.clicked()
    }
}
