import QtQuick 2.15
import "../qml-utils"

// A live level bar for a raw meter value (0..255), vertical by default. `overlay` shows a
// second, thinner bar (compressor activity) beside it.
Item {
    id: meter
    property int value: 0
    property int overlay: -1
    property bool horizontal: false

    implicitWidth: (horizontal ? 120 : 10) * devicePixelRatio
    implicitHeight: (horizontal ? 10 : 120) * devicePixelRatio
    readonly property real fraction: Math.max(0, Math.min(1, value / 255))

    Rectangle {
        id: trough
        anchors.fill: parent
        anchors.rightMargin: !meter.horizontal && meter.overlay >= 0 ? parent.width * 0.4 : 0
        anchors.bottomMargin: meter.horizontal && meter.overlay >= 0 ? parent.height * 0.4 : 0
        radius: 2 * devicePixelRatio
        color: "#10202a"
        border.width: Math.max(1, devicePixelRatio / 2)
        border.color: Theme.line
        Rectangle {
            objectName: "level"
            anchors.left: parent.left
            anchors.bottom: parent.bottom
            anchors.margins: 1
            width: meter.horizontal ? (parent.width - 2) * meter.fraction : parent.width - 2
            height: meter.horizontal ? parent.height - 2 : (parent.height - 2) * meter.fraction
            radius: 1
            color: meter.fraction > 0.9 ? Theme.meterHigh : meter.fraction > 0.7 ? Theme.meterMid : Theme.meterLow
        }
    }
    Rectangle {
        visible: meter.overlay >= 0
        objectName: "compression"
        readonly property real fraction: Math.max(0, Math.min(1, meter.overlay / 255))
        anchors.right: parent.right
        anchors.top: meter.horizontal ? undefined : parent.top
        anchors.bottom: parent.bottom
        anchors.left: meter.horizontal ? parent.left : undefined
        width: meter.horizontal ? parent.width * fraction : parent.width * 0.3
        height: meter.horizontal ? parent.height * 0.3 : parent.height * fraction
        anchors.topMargin: meter.horizontal ? 0 : parent.height * (1 - fraction)
        color: Theme.compression
        radius: 1
    }
}
