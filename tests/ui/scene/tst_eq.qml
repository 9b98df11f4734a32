import QtQuick 2.15
import QtQuick.XmlListModel 2.0
import QtTest 1.2
import "qrc:/javascript/RVEQBiquadFilter.js" as Eq
import "../../../resources/Views/Eq/EqEditorHelper.js" as Helper

// The EQ editor on the left channel: a band dragged on the plot ends as one EQ write with
// the nearest rows, the wheel steps Q, a locked or hardware-mode device refuses and says why,
// and a full EQ says so.
SceneTestCase {
    id: testCase
    name: "EqEditor"

    component ValueList: XmlListModel {
        query: "/paramList/paramValue"
        XmlRole { name: "deviceValue"; query: "deviceValue/number()" }
        XmlRole { name: "displayValue"; query: "displayValue/number()" }
    }
    ValueList { id: frequencyList; source: "qrc:/xml/frequencyList.xml" }
    ValueList { id: gainList; source: "qrc:/xml/gainList.xml" }
    ValueList { id: qList; source: "qrc:/xml/qList.xml" }

    readonly property QtObject eq: wdx.getPreProc(0).eq
    // Device slots of the bands the device starts with: a bell at 1 kHz, +6 dB, Q 1, and a
    // high pass at 100 Hz, Q 0.70.
    readonly property int bell: 0
    readonly property int highPass: 1

    function initTestCase() {
        startScene()
        tryCompare(frequencyList, "status", XmlListModel.Ready, waitMs)
        tryCompare(gainList, "status", XmlListModel.Ready, waitMs)
        tryCompare(qList, "status", XmlListModel.Ready, waitMs)
        virtualWdx.setEqBand(0, bell, 1, 68, 48, 20)
        virtualWdx.setEqBand(0, highPass, 2, 28, 36, 23)
        findAny("main").goTo(0)
        settle()
        click("eqThumbnail0")
        tryCompare(wdx, "activeScreen", "eq", waitMs)
        tryCompare(eq, "usedBandCount", 2, waitMs)
    }

    function cleanup() {
        var state = virtualWdx.state()
        if (state.locked || state.hwMode !== 1) {
            virtualWdx.setLocked(false, "")
            virtualWdx.setHwMode(false)
            tryCompare(wdx, "readOnlyMessage", "", waitMs)
        }
        findAny("readOnlyPopup").hide()
        findAny("maxBandsPopup").hide()
    }

    function plot() { return find("eqPlot") }
    function handleCenter(slot) {
        var handle = find("bandHandle" + slot)
        verify(handle, "handle " + slot)
        return { x: handle.x + handle.width / 2, y: handle.y + handle.height / 2 }
    }
    function lastEqWrite() {
        var frames = virtualWdx.writes(0x06, 0x30)
        return frames.length > 0 ? frames[frames.length - 1] : null
    }
    // One band of an EQ write's DATA: sub-code, on/off, then control, frequency, gain and Q
    // of each of the 8 slots.
    function writtenBand(data, slot) {
        var at = 2 + 4 * slot
        return { control: data[at], frequency: data[at + 1], gain: data[at + 2], q: data[at + 3] }
    }
    // Press on a handle's centre, move in steps, release: as a hand drags it.
    function drag(slot, dx, dy) {
        var c = handleCenter(slot)
        var x = Math.round(c.x), y = Math.round(c.y)
        mousePress(plot(), x, y)
        for (var i = 1; i <= 5; ++i)
            mouseMove(plot(), x + dx * i / 5, y + dy * i / 5, -1, Qt.LeftButton)
        mouseRelease(plot(), x + dx, y + dy)
        return c
    }

    // The handle ends where the hand left it; the device gets the rows nearest to that
    // point (gain only for types that have one).
    function test_dragWritesNearestRows_data() {
        return [
            { tag: "bell right and up", slot: bell, dx: 57, dy: -23, gain: true },
            { tag: "bell left and down", slot: bell, dx: -81, dy: 31, gain: true },
            { tag: "high pass, gain stays", slot: highPass, dx: 43, dy: -40, gain: false },
        ]
    }
    function test_dragWritesNearestRows(data) {
        var band = eq.bandAt(data.slot)
        var before = { frequency: band.frequency, gain: band.gain, q: band.qualityFactor, type: band.bandType }
        virtualWdx.clearLogs()
        var c = drag(data.slot, data.dx, data.dy)
        var g = Eq.rvEQPlotGeometry(plot().width, plot().height)
        var frequency = Eq.rvEQDeviceValue(frequencyList, Eq.rvEQFrequencyFromX(c.x + data.dx, g))
        var gain = data.gain ? Eq.rvEQDeviceValue(gainList, Eq.rvEQGainFromY(plot().height - (c.y + data.dy), g))
                             : before.gain
        verify(frequency !== before.frequency, "the drag moves the frequency")
        if (data.gain)
            verify(gain !== before.gain, "the drag moves the gain")

        tryVerify(function() {
            var b = virtualWdx.state().eqs[0].bands[data.slot]
            return b.frequency === frequency && b.gain === gain
        }, waitMs, "device band at frequency " + frequency + ", gain " + gain)
        var written = writtenBand(lastEqWrite(), data.slot)
        compare(written.frequency, frequency)
        compare(written.gain, gain)
        compare(written.q, before.q)
        compare(written.control, 0xC0 | before.type)
        compare(band.frequency, frequency)
        compare(band.gain, gain)
        compare(eq.selectedBandId, data.slot)
        verify(!eq.isEditing, "the edit ends with the release")
    }

    // One wheel step moves Q one row: up for a negative delta, down for a positive one.
    function test_wheelStepsQ_data() {
        return [
            { tag: "up", delta: -120, rows: 1 },
            { tag: "down", delta: 120, rows: -1 },
        ]
    }
    function test_wheelStepsQ(data) {
        var band = eq.bandAt(bell)
        var before = band.qualityFactor
        // Q device values run from Q 10 (0) to Q 0.10 (40): a higher Q is a lower value.
        var expected = before - data.rows
        var c = handleCenter(bell)
        mouseWheel(plot(), c.x, c.y, 0, data.delta)
        tryVerify(function() { return virtualWdx.state().eqs[0].bands[bell].q === expected }, waitMs,
                  "device Q " + expected)
        compare(band.qualityFactor, expected)
    }

    function test_readOnlyDrag_data() {
        return [
            { tag: "locked", locked: true, text: "Device is locked. Unlock to edit settings" },
            { tag: "hardware mode", locked: false,
              text: "Device in hardware mode. Please put mode switch in USER position to edit" },
        ]
    }
    function test_readOnlyDrag(data) {
        if (data.locked)
            virtualWdx.setLocked(true, "123456")
        else
            virtualWdx.setHwMode(true)
        tryCompare(wdx, "readOnlyMessage", data.text, waitMs)
        // The other band is selected first: a refused press must not change the selection.
        wdx.preProcList().setSelectedBandId(0, highPass)
        var band = eq.bandAt(bell)
        var before = JSON.stringify(virtualWdx.state().eqs[0])
        var values = [band.frequency, band.gain, band.qualityFactor]
        virtualWdx.clearLogs()
        drag(bell, 60, -30)
        var popup = findAny("readOnlyPopup")
        tryCompare(popup, "shown", true, waitMs)
        compare(popup.text, data.text)
        wait(1000)
        compare(virtualWdx.writes(0x06).length, 0)
        compare(JSON.stringify(virtualWdx.state().eqs[0]), before)
        compare([band.frequency, band.gain, band.qualityFactor], values)
        compare(eq.selectedBandId, highPass)
        verify(!eq.isEditing)
    }

    // Adding fills the EQ; one more says so and adds nothing.
    function test_maximumBands() {
        var added = []
        var addButton = find("addBandButton")
        while (eq.usedBandCount < eq.maxBandCount) {
            var count = eq.usedBandCount
            mouseClick(addButton)
            tryCompare(eq, "usedBandCount", count + 1, waitMs)
            added.push(eq.selectedBandId)
        }
        verify(added.length > 0)
        tryVerify(function() {
            return virtualWdx.state().eqs[0].bands.filter(function(b) { return b.used }).length === 8
        }, waitMs, "8 bands on the device")
        var popup = findAny("maxBandsPopup")
        verify(!popup.shown)
        virtualWdx.clearLogs()
        mouseClick(addButton)
        tryCompare(popup, "shown", true, waitMs)
        compare(popup.text, "Maximum number of bands reached")
        compare(eq.usedBandCount, 8)
        wait(500)
        compare(virtualWdx.writes(0x06, 0x30).length, 0)

        // Back to the two bands the other tests use.
        for (var i = 0; i < added.length; ++i) {
            wdx.preProcList().setSelectedBandId(0, added[i])
            click("removeBandButton")
        }
        tryCompare(eq, "usedBandCount", 2, waitMs)
        tryVerify(function() {
            return virtualWdx.state().eqs[0].bands.filter(function(b) { return b.used }).length === 2
        }, waitMs, "2 bands on the device again")
    }

    // A new band is a bell at 0 dB and Q 1, an octave above the highest band.
    function test_addedBand() {
        var count = eq.usedBandCount
        var top = eq.lastUsedFrequency
        click("addBandButton")
        tryCompare(eq, "usedBandCount", count + 1, waitMs)
        var band = eq.bandAt(eq.selectedBandId)
        compare([band.bandType, band.frequency, band.gain, band.qualityFactor], [1, top + 12, 36, 20])
        compare(find("bandFrequency", find("bandRow" + band.deviceIndex)).text,
                Helper.frequencyText(Eq.listValue(frequencyList, top + 12)))
        click("removeBandButton")
        tryCompare(eq, "usedBandCount", count, waitMs)
    }

    // The list shows each band's values from the value lists, with units.
    function test_bandRowTexts() {
        var row = find("bandRow" + bell)
        verify(row)
        compare(find("bandFrequency", row).text, Helper.frequencyText(Eq.listValue(frequencyList, eq.bandAt(bell).frequency)))
        verify(/ (Hz|kHz)$/.test(find("bandFrequency", row).text))
        verify(/ dB$/.test(find("bandGain", row).text))
        verify(/^Q \d+\.\d\d$/.test(find("bandQ", row).text))
    }

    // A type change reaches the device; leaving bell or notch raises Q to at most 1.4.
    function test_bandType_data() {
        return [
            { tag: "low shelf", type: 5 },
            { tag: "notch", type: 6 },
            { tag: "bell", type: 1 },
        ]
    }
    function test_bandType(data) {
        wdx.preProcList().setSelectedBandId(0, bell)
        click("bandType" + data.type)
        tryVerify(function() { return virtualWdx.state().eqs[0].bands[bell].type === data.type }, waitMs,
                  "device type " + data.type)
        var band = eq.bandAt(bell)
        if (data.type !== 1 && data.type !== 6)
            verify(band.qualityFactor >= 17, "Q " + band.qualityFactor)
    }

    function test_eqEnable() {
        var was = eq.isEnabled
        click("eqEnableButton")
        tryVerify(function() { return virtualWdx.state().eqs[0].enabled === !was }, waitMs)
        click("eqEnableButton")
        tryVerify(function() { return virtualWdx.state().eqs[0].enabled === was }, waitMs)
    }

    function test_channelSelector() {
        var editor = find("eqEditor")
        click("eqChannel1")
        compare(editor.channel, 1)
        compare(find("pageTitle", editor).text, "Right EQ")
        compare(find("eqPlot").eq, wdx.getPreProc(1).eq)
        compare(wdx.activeScreen, "eq")
        click("eqChannel0")
        compare(editor.channel, 0)
        compare(find("eqPlot").eq, eq)
    }

    function test_newBandFrequency_data() {
        return [
            { tag: "empty EQ", last: -1, taken: [], f: 68 },
            { tag: "an octave up", last: 40, taken: [40], f: 52 },
            { tag: "near the top", last: 115, taken: [115], f: 103 },
            { tag: "next free row", last: 40, taken: [40, 52, 53], f: 51 },
        ]
    }
    function test_newBandFrequency(data) {
        compare(Helper.newBandFrequency(data.last, 120, function(f) { return data.taken.indexOf(f) >= 0 }), data.f)
    }

    function test_handleAt_data() {
        var handles = [{ id: 3, x: 100, y: 100 }, { id: 5, x: 150, y: 100 }]
        return [
            { tag: "on a centre", handles: handles, x: 100, y: 100, id: 3 },
            { tag: "nearer the second", handles: handles, x: 130, y: 120, id: 5 },
            { tag: "edge of the reach", handles: handles, x: 100, y: 152.5, id: 3 },
            { tag: "out of reach", handles: handles, x: 100, y: 153, id: -1 },
            { tag: "none", handles: [], x: 0, y: 0, id: -1 },
        ]
    }
    function test_handleAt(data) {
        compare(Helper.handleAt(data.handles, data.x, data.y, 105), data.id)
    }

    function test_texts_data() {
        return [
            { tag: "low", f: 21.2, text: "21.2 Hz" },
            { tag: "hundreds", f: 250, text: "250 Hz" },
            { tag: "kilo", f: 1060, text: "1.06 kHz" },
            { tag: "ten kilo", f: 12500, text: "12.5 kHz" },
        ]
    }
    function test_texts(data) {
        compare(Helper.frequencyText(data.f), data.text)
        compare(Helper.gainText(6), "+6.0 dB")
        compare(Helper.gainText(-3.5), "-3.5 dB")
        compare(Helper.qText(0.7), "Q 0.70")
    }
}
