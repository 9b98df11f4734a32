import QtQuick 2.15
import "../../qml-utils"
import "../../javascript/RVEQBiquadFilter.js" as Eq
import "../../javascript/PlotHelper.js" as Plot
import "EqEditorHelper.js" as Helper

// The response of one channel's equaliser over 20 Hz..20 kHz and -18..+18 dB, with the
// ranges of the outputs' loudspeakers behind it and a handle per band. A handle is dragged
// for frequency (and gain for bells and shelves), pinched or wheeled for Q. Every new value
// goes to the pre-processing list as the device value of the nearest row, so the link
// between the channels applies.
Item {
    id: plot
    property int channel: 0
    property QtObject eq: null
    readonly property QtObject preProc: wdx.preProcList()
    readonly property var geometry: Eq.rvEQPlotGeometry(Math.max(1, width), Math.max(1, height))
    readonly property var lists: ({ frequency: ValueLists.frequency, gain: ValueLists.gain, q: ValueLists.q })
    readonly property bool ready: ValueLists.ready
    readonly property real handleSize: 70 * devicePixelRatio
    readonly property real touchSize: handleSize * 1.5
    // deviceIndex of the band under the user's hand, -1 when none.
    property int heldBand: -1
    property real startQ: 1

    // Up to three outputs' loudspeaker ranges as [min, max] Hz; unknown ones are -1.
    readonly property var crossoverRanges: {
        var ranges = []
        var outputs = wdx.outputList()
        var n = Math.min(3, outputs.count)
        for (var i = 0; i < n; ++i) {
            var output = wdx.getOutput(i)
            if (output)
                ranges.push([speakerDb.getSpeakerCrossOverMinFrequency(output.speakerId, output.speakerVariant),
                             speakerDb.getSpeakerCrossOverMaxFrequency(output.speakerId, output.speakerVariant)])
        }
        return ranges
    }

    function displayValue(list, deviceValue) { return Eq.listValue(list, Number(deviceValue)) }
    function centerX(band) { return Eq.rvEQFrequencyToX(displayValue(ValueLists.frequency, band.frequency), geometry) }
    function centerY(band) { return height - Eq.rvEQGainToY(displayValue(ValueLists.gain, band.gain), geometry) }

    function bandUnder(x, y) {
        if (!eq || !ready)
            return -1
        var handles = []
        for (var i = 0; i < eq.maxBandCount; ++i) {
            var band = eq.bandAt(i)
            if (band && band.isUsed)
                handles.push({ id: i, x: centerX(band), y: centerY(band) })
        }
        return Helper.handleAt(handles, x, y, touchSize)
    }

    // Both EQs while linked, so a poll lands on neither while the user holds a band.
    function setEditing(on) {
        for (var ch = 0; ch < 2; ++ch) {
            var item = wdx.getPreProc(ch)
            if (item && (ch === channel || preProc.isEqLinked))
                item.eq.isEditing = on
        }
    }

    function grab(bandId) {
        heldBand = bandId
        preProc.setSelectedBandId(channel, bandId)
        startQ = displayValue(ValueLists.q, eq.bandAt(bandId).qualityFactor)
        setEditing(true)
    }
    function letGo() {
        if (heldBand < 0)
            return
        heldBand = -1
        setEditing(false)
    }

    // The held band to the handle position (x, y); `always` writes even unchanged values.
    function follow(x, y, always) {
        var band = eq ? eq.bandAt(heldBand) : null
        if (!band)
            return
        var f = Eq.rvEQDeviceValue(ValueLists.frequency, Eq.rvEQFrequencyFromX(x, geometry))
        if (f >= 0 && (always || f !== band.frequency))
            preProc.setSelectedBandFrequency(channel, f)
        if (Eq.rvEQTypeHasGain(band.bandType)) {
            var g = Eq.rvEQDeviceValue(ValueLists.gain, Eq.rvEQGainFromY(height - y, geometry))
            if (g >= 0 && (always || g !== band.gain))
                preProc.setSelectedBandGain(channel, g)
        }
        // Each edit lowers the EQ's flag when it is done; the hand is still on the band.
        setEditing(true)
    }

    function applyQ(q) {
        var band = eq ? eq.bandAt(heldBand) : null
        if (!band)
            return
        var value = Eq.rvEQDeviceValue(ValueLists.q, Eq.rvEQLimitQ(q, band.bandType))
        if (value >= 0 && value !== band.qualityFactor)
            preProc.setSelectedBandQ(channel, value)
        setEditing(true)
    }

    onEqChanged: { letGo(); curve.refresh() }
    onWidthChanged: { grid.requestPaint(); curve.refresh() }
    onHeightChanged: { grid.requestPaint(); curve.refresh() }
    onReadyChanged: curve.refresh()
    onCrossoverRangesChanged: grid.requestPaint()
    Connections {
        target: plot.eq
        function onDataChanged() { curve.refresh() }
        function onIsEnabledChanged() { curve.refresh() }
    }

    Rectangle {
        anchors.fill: parent
        radius: Theme.radius * devicePixelRatio
        color: "#14283a"
        border.color: Theme.line
        border.width: Math.max(1, devicePixelRatio / 2)
    }

    // Grid and loudspeaker ranges change rarely; the curve above them is redrawn on its own.
    Canvas {
        id: grid
        anchors.fill: parent
        onPaint: {
            var ctx = getContext("2d")
            ctx.reset()
            var g = plot.geometry
            var h = height
            ctx.lineWidth = Math.max(1, devicePixelRatio / 2)
            ctx.strokeStyle = "#2c4a5c"
            for (var i = 0; i < Helper.gridFrequencies.length; ++i) {
                var x = Eq.rvEQFrequencyToX(Helper.gridFrequencies[i], g)
                Plot.drawLine(ctx, x, Eq.rvEQGainToY(Eq.rvEQMinGain, g), x, Eq.rvEQGainToY(Eq.rvEQMaxGain, g), h)
            }
            var left = Eq.rvEQFrequencyToX(Eq.rvEQMinFrequency, g), right = Eq.rvEQFrequencyToX(Eq.rvEQMaxFrequency, g)
            var gains = [Eq.rvEQMinGain].concat(Helper.gridGains, [Eq.rvEQMaxGain])
            for (i = 0; i < gains.length; ++i) {
                ctx.strokeStyle = gains[i] === 0 ? "#5f8aa0" : "#2c4a5c"
                var y = Eq.rvEQGainToY(gains[i], g)
                Plot.drawLine(ctx, left, y, right, y, h)
            }
            var ranges = plot.crossoverRanges
            for (i = 0; i < ranges.length && i < Eq.rvEQCrossoverLineColors.length; ++i)
                Plot.drawOutline(ctx, Eq.rvEQCrossoverPoints(ranges[i][0], ranges[i][1], g), h,
                                 Eq.rvEQCrossoverLineColors[i], Eq.rvEQCrossoverFillColors[i])
        }
    }

    Repeater {
        model: Helper.labelledFrequencies
        Text {
            x: Eq.rvEQFrequencyToX(modelData, plot.geometry) - width / 2
            y: plot.height - height - 2 * devicePixelRatio
            text: Helper.gridFrequencyLabel(modelData)
            color: Theme.textDim
            font.family: applicationFont
            font.pixelSize: 10 * devicePixelRatio
        }
    }
    Repeater {
        model: Helper.gridGains
        Text {
            x: 3 * devicePixelRatio
            y: plot.height - Eq.rvEQGainToY(modelData, plot.geometry) - height
            text: (modelData > 0 ? "+" : "") + modelData + " dB"
            color: Theme.textDim
            font.family: applicationFont
            font.pixelSize: 10 * devicePixelRatio
        }
    }

    // Redrawn at most once per frame: requestPaint only marks it dirty.
    Canvas {
        id: curve
        objectName: "eqCurve"
        anchors.fill: parent
        opacity: plot.eq && plot.eq.isEnabled ? 1 : 0.45
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
        onPaint: {
            var ctx = getContext("2d")
            ctx.reset()
            if (!plot.eq || !plot.ready)
                return
            result = Eq.rvEQCurve(plot.eq, plot.lists, width, height, result)
            var r = result
            ctx.fillStyle = "#554fc3f7"
            Plot.fillCurve(ctx, r.xs, r.ys, r.geometry.count, height, r.fillStartX, r.fillEndX, r.zeroY)
            ctx.strokeStyle = String(Theme.accent)
            ctx.lineWidth = 2 * devicePixelRatio
            ctx.lineJoin = "round"
            Plot.strokeCurve(ctx, r.xs, r.ys, r.geometry.count, height)
        }
    }

    Text {
        visible: plot.eq !== null && !plot.eq.isEnabled
        anchors.top: parent.top
        anchors.right: parent.right
        anchors.margins: Theme.spacing * devicePixelRatio
        text: "EQ off"
        color: Theme.warning
        font.family: applicationFont
        font.pixelSize: Theme.fontNormal * devicePixelRatio
        font.bold: true
    }

    Repeater {
        model: plot.eq && plot.ready ? plot.eq.maxBandCount : 0
        Item {
            id: handle
            objectName: "bandHandle" + index
            readonly property QtObject band: plot.eq ? plot.eq.bandAt(index) : null
            readonly property bool selected: band !== null && band.isSelected
            readonly property real centerX: band ? plot.centerX(band) : 0
            readonly property real centerY: band ? plot.centerY(band) : 0
            visible: band !== null && band.isUsed
            width: plot.handleSize
            height: plot.handleSize
            x: centerX - width / 2
            y: centerY - height / 2
            z: selected ? 2 : 1

            // The reach of a selected handle, faintly.
            Rectangle {
                anchors.fill: parent
                radius: width / 2
                visible: handle.selected
                color: "#1a4fc3f7"
                border.color: "#404fc3f7"
                border.width: Math.max(1, devicePixelRatio / 2)
            }
            Rectangle {
                anchors.centerIn: parent
                width: 22 * devicePixelRatio
                height: width
                radius: width / 2
                color: handle.selected ? Theme.accent : "#cc1b3340"
                border.color: handle.band && handle.band.isEnabled ? Theme.text : Theme.textDim
                border.width: Math.max(1, 1.5 * devicePixelRatio)
                opacity: handle.band && handle.band.isEnabled ? 1 : 0.6
                Text {
                    anchors.centerIn: parent
                    text: handle.band ? handle.band.displayIndex : ""
                    color: handle.selected ? "#10202a" : Theme.text
                    font.family: applicationFont
                    font.pixelSize: Theme.fontSmall * devicePixelRatio
                    font.bold: true
                }
            }
        }
    }

    PinchArea {
        id: pinchArea
        anchors.fill: parent
        onPinchStarted: {
            var id = plot.bandUnder(pinch.center.x, pinch.center.y)
            if (id < 0 && plot.eq)
                id = plot.eq.selectedBandId
            if (id < 0 || !EditGuard.canEdit()) {
                pinch.accepted = false
                return
            }
            plot.grab(id)
        }
        onPinchUpdated: plot.applyQ(Eq.rvEQPinchQ(plot.startQ, pinch.scale, plot.eq.bandAt(plot.heldBand).bandType))
        onPinchFinished: plot.letGo()

        MouseArea {
            id: mouse
            objectName: "plotMouse"
            anchors.fill: parent
            preventStealing: true
            property real grabDx: 0
            property real grabDy: 0
            property bool moved: false
            onPressed: {
                var id = plot.bandUnder(mouse.x, mouse.y)
                if (id < 0 || !EditGuard.canEdit())
                    return
                var band = plot.eq.bandAt(id)
                grabDx = plot.centerX(band) - mouse.x
                grabDy = plot.centerY(band) - mouse.y
                moved = false
                plot.grab(id)
            }
            onPositionChanged: {
                if (plot.heldBand < 0)
                    return
                moved = true
                plot.follow(mouse.x + grabDx, mouse.y + grabDy, false)
            }
            onReleased: {
                if (plot.heldBand >= 0 && moved)
                    plot.follow(mouse.x + grabDx, mouse.y + grabDy, true)
                plot.letGo()
            }
            onCanceled: plot.letGo()
            onWheel: {
                var id = plot.bandUnder(wheel.x, wheel.y)
                if (id < 0 && plot.eq)
                    id = plot.eq.selectedBandId
                if (id < 0 || wheel.angleDelta.y === 0 || !EditGuard.canEdit())
                    return
                plot.grab(id)
                var band = plot.eq.bandAt(id)
                plot.applyQ(Eq.rvEQWheelQ(ValueLists.q, plot.startQ, wheel.angleDelta.y, band.bandType))
                plot.letGo()
            }
        }
    }
}
