import QtQuick 2.15
import "../../qml-utils"
import "../../Controls"
import "../../Buttons"
import "../../javascript/ParameterXmlModelHelper.js" as Values
import "OutputHelper.js" as Output

// The compressor of one output: its static curve with the live activity beside it, ratio,
// threshold, decay, enable, and a backup of the three values to return to.
Rectangle {
    id: panel
    property int outputIndex: 0
    readonly property var output: wdx.getOutput(outputIndex)
    readonly property var outputs: wdx.outputList()
    signal close()

    gradient: Gradient {
        GradientStop { position: 0.0; color: Theme.backgroundTop }
        GradientStop { position: 1.0; color: Theme.backgroundBottom }
    }
    // Takes the clicks meant for the output screen underneath.
    MouseArea { anchors.fill: parent; hoverEnabled: true; onWheel: wheel.accepted = true }

    // The device passes its decay code through as it is; every byte is a code.
    readonly property var decayCodes: ({
        count: 256,
        get: function(i) { return { deviceValue: i, displayValue: i } }
    })
    readonly property int ratioRow: Values.getIndexFromDeviceValue(ValueLists.ratio, output ? output.compressionRatio : 0)
    readonly property int thresholdRow: Values.getIndexFromDeviceValue(ValueLists.threshold, output ? output.compressionThreshold : 0)
    readonly property real inverseRatio: ratioRow >= 0 ? Number(ValueLists.ratio.get(ratioRow).decreasingDisplayValue) : 1
    readonly property real thresholdDb: thresholdRow >= 0 ? Number(ValueLists.threshold.get(thresholdRow).displayValue) : 0
    readonly property bool editing: ratioSlider.editing || thresholdSlider.editing || decaySlider.editing
    onEditingChanged: output.setIsEditingCompressor(editing)

    PageHeader {
        id: header
        title: "Compressor · " + (panel.output ? panel.output.name : "")
        onBack: panel.close()
        VelaButton {
            objectName: "compressorEnable"
            implicitWidth: 110 * devicePixelRatio
            text: checked ? "Enabled" : "Disabled"
            checked: panel.output ? panel.output.isCustomCompressionEnabled : false
            onClicked: {
                if (EditGuard.canEdit())
                    panel.output.isCustomCompressionEnabled = !checked
            }
        }
    }

    Item {
        id: plotArea
        anchors.top: header.bottom
        anchors.left: parent.left
        anchors.bottom: parent.bottom
        anchors.margins: Theme.margin * devicePixelRatio
        width: Math.min(parent.width * 0.5, height)

        Canvas {
            id: plot
            objectName: "compressorCurve"
            readonly property real inset: 30 * devicePixelRatio
            // Room above the plot for the top label.
            readonly property real topPad: 8 * devicePixelRatio
            anchors.left: parent.left
            anchors.top: parent.top
            width: parent.width - meter.width - Theme.spacing * devicePixelRatio
            height: width + topPad
            property var curve: Output.compressorCurve(panel.thresholdDb, -60, 0, panel.inverseRatio, width - inset)
            onCurveChanged: requestPaint()
            onWidthChanged: requestPaint()

            onPaint: {
                var ctx = getContext("2d")
                var side = width - inset
                ctx.reset()
                ctx.translate(0, topPad)
                ctx.lineWidth = Math.max(1, devicePixelRatio / 2)
                ctx.strokeStyle = Theme.line
                ctx.fillStyle = Theme.textDim
                ctx.font = Math.round(Theme.fontSmall * 0.9 * devicePixelRatio) + "px sans-serif"
                // A grid line every 12 dB, input along x, output up y.
                for (var db = -60; db <= 0; db += 12) {
                    var p = (db + 60) / 60 * side
                    ctx.beginPath(); ctx.moveTo(inset + p, 0); ctx.lineTo(inset + p, side); ctx.stroke()
                    ctx.beginPath(); ctx.moveTo(inset, side - p); ctx.lineTo(width, side - p); ctx.stroke()
                    ctx.textAlign = "right"
                    ctx.fillText(db, inset - 4 * devicePixelRatio, side - p + 4 * devicePixelRatio)
                    ctx.textAlign = "center"
                    if (db > -60)
                        ctx.fillText(db, inset + p - (db === 0 ? 8 * devicePixelRatio : 0), side + 14 * devicePixelRatio)
                }
                ctx.textAlign = "left"
                ctx.fillText("in dB →", inset + 4 * devicePixelRatio, side + 26 * devicePixelRatio)

                var pts = curve
                ctx.strokeStyle = Theme.accent
                ctx.lineWidth = 2.5 * devicePixelRatio
                ctx.beginPath()
                ctx.moveTo(inset + pts[0].x, side - pts[0].y)
                for (var i = 1; i < pts.length; ++i)
                    ctx.lineTo(inset + pts[i].x, side - pts[i].y)
                ctx.stroke()
                // The threshold knee.
                ctx.fillStyle = Theme.text
                ctx.beginPath()
                ctx.arc(inset + pts[1].x, side - pts[1].y, 4 * devicePixelRatio, 0, 2 * Math.PI)
                ctx.fill()
            }
        }
        Text {
            anchors.left: plot.left
            anchors.top: plot.top
            anchors.leftMargin: plot.inset + 4 * devicePixelRatio
            anchors.topMargin: plot.topPad + 2 * devicePixelRatio
            text: "out dB"
            color: Theme.textDim
            font.family: applicationFont
            font.pixelSize: Theme.fontSmall * devicePixelRatio
        }

        // How hard the compressor works, live.
        LevelMeter {
            id: meter
            objectName: "compressorMeter"
            anchors.right: parent.right
            anchors.top: plot.top
            anchors.topMargin: plot.topPad
            height: plot.width - plot.inset
            width: 16 * devicePixelRatio
            value: panel.output ? panel.output.compressionLevel : 0
        }
        Text {
            anchors.horizontalCenter: meter.horizontalCenter
            anchors.top: meter.bottom
            anchors.topMargin: 4 * devicePixelRatio
            text: "Active"
            color: Theme.textDim
            font.family: applicationFont
            font.pixelSize: Theme.fontSmall * 0.9 * devicePixelRatio
        }
    }

    Column {
        id: settings
        anchors.top: header.bottom
        anchors.left: plotArea.right
        anchors.right: parent.right
        anchors.margins: Theme.margin * devicePixelRatio
        anchors.leftMargin: 2 * Theme.margin * devicePixelRatio
        spacing: Theme.margin * devicePixelRatio

        Column {
            width: parent.width
            spacing: 2 * devicePixelRatio
            Item {
                width: parent.width
                height: ratioLabel.height
                Text {
                    id: ratioLabel
                    text: "Ratio"
                    color: Theme.textDim
                    font.family: applicationFont
                    font.pixelSize: Theme.fontSmall * devicePixelRatio
                }
                Text {
                    objectName: "ratioText"
                    anchors.right: parent.right
                    text: Output.ratioText(ValueLists.ratio, ratioSlider.count > 0 && ratioSlider.row >= 0
                                           ? ValueLists.ratio.get(ratioSlider.row).deviceValue : 0)
                    color: Theme.text
                    font.family: applicationFont
                    font.pixelSize: Theme.fontSmall * devicePixelRatio
                    font.bold: true
                }
            }
            ValueSlider {
                id: ratioSlider
                objectName: "ratioSlider"
                width: parent.width
                list: ValueLists.ratio
                deviceValue: panel.output ? panel.output.compressionRatio : 0
                onEdited: function(value) { panel.outputs.setCompressorRatio(panel.outputIndex, value) }
            }
        }

        ValueSlider {
            id: thresholdSlider
            objectName: "thresholdSlider"
            width: parent.width
            label: "Threshold"
            list: ValueLists.threshold
            unit: "dB"
            decimals: 1
            deviceValue: panel.output ? panel.output.compressionThreshold : 0
            onEdited: function(value) { panel.outputs.setCompressorThreshold(panel.outputIndex, value) }
        }

        ValueSlider {
            id: decaySlider
            objectName: "decaySlider"
            width: parent.width
            label: "Decay (device code)"
            list: panel.decayCodes
            decimals: 0
            deviceValue: panel.output ? panel.output.compressionDecay : 0
            onEdited: function(value) { panel.output.compressionDecay = value }
        }

        Text {
            width: parent.width
            wrapMode: Text.WordWrap
            text: "A backup keeps ratio, threshold and decay to come back to after trying other settings."
            color: Theme.textDim
            font.family: applicationFont
            font.pixelSize: Theme.fontSmall * devicePixelRatio
        }
        Row {
            spacing: Theme.spacing * devicePixelRatio
            VelaButton {
                objectName: "saveBackupButton"
                text: "Save backup"
                onClicked: panel.output.saveBackup()
            }
            VelaButton {
                objectName: "restoreBackupButton"
                text: "Restore"
                enabled: panel.output ? panel.output.hasBackup : false
                onClicked: {
                    if (EditGuard.canEdit())
                        panel.output.restoreBackup()
                }
            }
        }
    }
}
