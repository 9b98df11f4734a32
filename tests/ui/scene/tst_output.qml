import QtQuick 2.15
import QtTest 1.2

// The output screen driven like a user: gains, delays in every unit, sources, links and the
// compressor reach the virtual Wdx; screen names follow the panels; a locked device refuses.
SceneTestCase {
    id: testCase
    name: "Output"

    property var screenNames: []
    Connections {
        target: wdx
        function onActiveScreenChanged() { testCase.screenNames.push(wdx.activeScreen) }
    }

    function initTestCase() { startScene() }

    function init() {
        var view = findAny("main")
        if (findAny("outputScreen").openPanel !== "")
            findAny("outputScreen").closePanel()
        view.goTo(2)
        settle()
        compare(wdx.activeScreen, "output")
        screenNames = []
    }

    function strip(i) { return find("outputStrip" + i) }
    function device() { return virtualWdx.state() }
    function waitDevice(check, what) { tryVerify(function() { return check(device()) }, waitMs, what) }

    // Presses a slider where row `row` of its list lies; returns the row the slider takes for
    // the pixel the press lands on (the nearest row to it).
    function pressRow(slider, row) {
        var handle = find("handle", slider).width
        var span = slider.width - handle
        var x = handle / 2 + span * row / (slider.count - 1)
        // Events land on whole window pixels.
        var sceneX = slider.mapToItem(null, x, 0).x
        x += Math.round(sceneX) - sceneX
        mouseClick(slider, x, slider.height - handle / 2)
        var landed = Math.round((x - handle / 2) / span * (slider.count - 1))
        return slider.list.get(landed).deviceValue
    }

    function test_panelScreenNames_data() {
        var rows = []
        for (var i = 0; i < 3; ++i) {
            rows.push({ tag: "compressor " + i, output: i, button: "compressorButton", panel: "compressorPanel", screen: "compressor" })
            rows.push({ tag: "speaker " + i, output: i, button: "speakerButton", panel: "speakerPanel", screen: "speakerAndMode" })
        }
        return rows
    }
    function test_panelScreenNames(data) {
        click(data.button, strip(data.output))
        var panel = waitFor(data.panel)
        compare(wdx.activeScreen, data.screen)
        compare(panel.outputIndex, data.output)
        verify(find("pageTitle", panel).text.indexOf(wdx.getOutput(data.output).name) > 0)
        click("backButton", panel)
        compare(wdx.activeScreen, "output")
        verify(!find(data.panel))
        compare(screenNames, [data.screen, "output"])
    }

    // Leaving resets the panels with nothing polled meanwhile, then the main screen reports.
    function test_leavingResetsPanels() {
        click("backButton", find("outputHeader"))
        settle()
        compare(screenNames, ["invalid", "main"])
        compare(findAny("main").currentIndex, 1)

        findAny("main").goTo(2)
        settle()
        click("compressorButton", strip(2))
        waitFor("compressorPanel")
        findAny("main").goTo(1)
        settle()
        findAny("main").goTo(2)
        settle()
        verify(!find("compressorPanel"), "a panel stayed open after the screen was left")
        compare(wdx.activeScreen, "output")
    }

    function test_gainReachesDevice_data() {
        return [
            { tag: "main L up", output: 0, row: 48 },
            { tag: "sub down", output: 1, row: 10 },
            { tag: "main R top", output: 2, row: 72 },
            { tag: "main L bottom", output: 0, row: 0 },
        ]
    }
    function test_gainReachesDevice(data) {
        var slider = find("gainSlider", strip(data.output))
        var expected = pressRow(slider, data.row)
        compare(expected, data.row)
        waitDevice(function(s) { return s.outputGains[data.output] === expected }, "gain " + expected)
        compare(wdx.getOutput(data.output).gain, expected)
        var text = (expected - 36) / 2
        compare(find("valueText", slider).text, (text > 0 ? "+" : "") + text.toFixed(1) + " dB")
    }

    // One device value in three units, then an edit in each unit lands on the nearest row.
    function test_delayUnits_data() {
        return [
            { tag: "ms", unit: 0, text: "100.00 ms", row: 1740 },
            { tag: "m", unit: 1, text: "34.00 m", row: 333 },
            { tag: "ft", unit: 2, text: "111.55 ft", row: 2001 },
        ]
    }
    function test_delayUnits(data) {
        wdx.outputList().setDelay(1, 1200)
        waitDevice(function(s) { return s.outputDelays[1] === 1200 }, "delay 1200")
        click("unit" + data.unit, find("unitChoice"))
        for (var i = 0; i < 3; ++i)
            compare(wdx.getOutput(i).delayUnitOfMeasureIndex, data.unit)
        var slider = find("delaySlider", strip(1))
        tryCompare(find("valueText", slider), "text", data.text)

        var expected = pressRow(slider, data.row)
        verify(Math.abs(expected - data.row) <= 20, "pressed " + expected + " for " + data.row)
        waitDevice(function(s) { return s.outputDelays[1] === expected }, "delay " + expected)
        compare(wdx.getOutput(1).delay, expected)

        // The fine steps move one row.
        click("delayUp", strip(1))
        waitDevice(function(s) { return s.outputDelays[1] === expected + 1 }, "one row up")
        click("unit0", find("unitChoice"))
    }

    function test_patchReachesDevice_data() {
        return [
            { tag: "main L right", output: 0, patch: 1 },
            { tag: "sub left", output: 1, patch: 0 },
            { tag: "main R both", output: 2, patch: 2 },
            { tag: "main L left", output: 0, patch: 0 },
        ]
    }
    function test_patchReachesDevice(data) {
        virtualWdx.clearLogs()
        click("patch" + data.patch, strip(data.output))
        waitDevice(function(s) { return s.outputPatches[data.output] === data.patch }, "patch")
        var writes = virtualWdx.writes(0x05, 0x40 + data.output)
        compare(writes[writes.length - 1], [0x40 + data.output, data.patch])
        verify(find("patch" + data.patch, strip(data.output)).checked)
    }

    // Linked outputs follow by the same step (relative) or to the same value (absolute).
    function test_linkedGain_data() {
        return [
            { tag: "relative", absolute: false, start: [40, 36, 60], moved: 44, mainR: 64 },
            { tag: "relative, clamped", absolute: false, start: [40, 36, 70], moved: 46, mainR: 72 },
            { tag: "absolute", absolute: true, start: [40, 36, 60], moved: 44, mainR: 44 },
        ]
    }
    function test_linkedGain(data) {
        for (var i = 0; i < 3; ++i)
            wdx.outputList().setGain(i, data.start[i])
        waitDevice(function(s) { return s.outputGains[2] === data.start[2] }, "start gains")
        click("linkMode" + (data.absolute ? 1 : 0), find("linkModeChoice"))
        compare(wdx.isAbsoluteLink, data.absolute)
        click("linkButton", strip(0))
        click("linkButton", strip(2))
        verify(wdx.getOutput(0).isLinked && wdx.getOutput(2).isLinked && !wdx.getOutput(1).isLinked)

        pressRow(find("gainSlider", strip(0)), data.moved)
        waitDevice(function(s) { return s.outputGains[0] === data.moved && s.outputGains[2] === data.mainR }, "linked gains")
        compare(device().outputGains[1], data.start[1])

        click("linkButton", strip(0))
        click("linkButton", strip(2))
        click("linkMode0", find("linkModeChoice"))
        verify(!wdx.getOutput(0).isLinked && !wdx.getOutput(2).isLinked)
    }

    function openCompressor(output) {
        click("compressorButton", strip(output))
        return waitFor("compressorPanel")
    }

    function test_compressorReachesDevice_data() {
        return [
            { tag: "main L ratio", output: 0, slider: "ratioSlider", row: 7, field: "ratio", text: "3.3:1" },
            { tag: "sub threshold", output: 1, slider: "thresholdSlider", row: 100, field: "threshold" },
            { tag: "main R decay", output: 2, slider: "decaySlider", row: 128, field: "decay" },
        ]
    }
    function test_compressorReachesDevice(data) {
        var panel = openCompressor(data.output)
        virtualWdx.clearLogs()
        var expected = pressRow(find(data.slider, panel), data.row)
        compare(expected, data.row)
        waitDevice(function(s) { return s.compressors[data.output][data.field] === expected }, data.field)
        var writes = virtualWdx.writes(0x07, 0x40 + data.output)
        verify(writes.length > 0)
        if (data.text)
            compare(find("ratioText", panel).text, data.text)

        var enabled = device().compressors[data.output].enabled
        click("compressorEnable", panel)
        waitDevice(function(s) { return s.compressors[data.output].enabled === !enabled }, "enable")
        compare(find("compressorEnable", panel).checked, !enabled)
        click("backButton", panel)
    }

    // A backup brings ratio, threshold and decay back, on the device too.
    function test_compressorBackup() {
        var panel = openCompressor(0)
        var restore = find("restoreBackupButton", panel)
        click("saveBackupButton", panel)
        var saved = device().compressors[0].threshold
        verify(!restore.enabled)
        pressRow(find("thresholdSlider", panel), saved === 60 ? 80 : 60)
        waitDevice(function(s) { return s.compressors[0].threshold !== saved }, "moved threshold")
        tryVerify(function() { return restore.enabled })
        click("restoreBackupButton", panel)
        waitDevice(function(s) { return s.compressors[0].threshold === saved }, "restored threshold")
        verify(!restore.enabled)
        click("backButton", panel)
    }

    // The static curve follows threshold and ratio: the knee sits at the threshold, and a
    // ratio of 1:1 is one straight line.
    function test_compressorCurve() {
        var panel = openCompressor(1)
        var curve = find("compressorCurve", panel)
        var side = curve.width - curve.inset
        pressRow(find("ratioSlider", panel), 0)
        pressRow(find("thresholdSlider", panel), 60)
        tryVerify(function() { return Math.abs(curve.curve[1].x - side / 2) < 0.01 })
        compare(curve.curve[2].y, side)
        pressRow(find("ratioSlider", panel), 10)
        tryVerify(function() { return Math.abs(curve.curve[2].y - side / 2) < 0.01 })
        click("backButton", panel)
    }

    function test_frontPanelGainOnlyOnTypes0And1_data() {
        return [
            { tag: "type 0", name: "WDX-T-U 004217", shown: true },
            { tag: "type 2", name: "WDX-I-U 004217", shown: false },
            { tag: "type 3", name: "WDX-I-N 004217", shown: false },
            { tag: "type 1", name: "WDX-T-N 004217", shown: true },
        ]
    }
    function test_frontPanelGainOnlyOnTypes0And1(data) {
        virtualWdx.setName(data.name)
        // A lock read of the polling, re-posted across the replug, would answer before the
        // walk asks and leave it waiting in ReadLockStatus: poll nothing while replugging.
        wdx.activeScreen = "invalid"
        wait(600)
        virtualWdx.unplug()
        tryCompare(wdx, "isConnected", false, waitMs)
        virtualWdx.plug()
        tryCompare(wdx, "state", "Polling", waitMs)
        tryCompare(wdx, "name", data.name, waitMs)
        wdx.activeScreen = "output"
        for (var i = 0; i < 3; ++i) {
            var label = findAny("frontPanelGain", strip(i))
            compare(label.visible, data.shown)
            if (data.shown)
                tryCompare(label, "text", "Front panel 0.0 dB", waitMs)
        }
    }

    // Locked: touching any editing control shows why and changes nothing.
    function test_lockedRefuses_data() {
        return [
            { tag: "gain", press: function() { pressRow(find("gainSlider", strip(0)), 70) } },
            { tag: "delay", press: function() { pressRow(find("delaySlider", strip(2)), 2000) } },
            { tag: "patch", press: function() { click("patch2", strip(0)) } },
            { tag: "compressor", press: function() {
                var panel = openCompressor(1)
                pressRow(find("thresholdSlider", panel), 2)
                click("compressorEnable", panel)
            } },
        ]
    }
    function test_lockedRefuses(data) {
        virtualWdx.setLocked(true, "1234")
        tryCompare(wdx, "isLocked", true, waitMs)
        var before = JSON.stringify(device())
        virtualWdx.clearLogs()
        data.press()
        var popup = findAny("readOnlyPopup")
        tryCompare(popup, "shown", true)
        compare(popup.text, "Device is locked. Unlock to edit settings")
        wait(1200)
        compare(virtualWdx.writes(0x03).length + virtualWdx.writes(0x04).length + virtualWdx.writes(0x05).length
                + virtualWdx.writes(0x07).length, 0)
        var after = device()
        var was = JSON.parse(before)
        compare(after.outputGains, was.outputGains)
        compare(after.outputDelays, was.outputDelays)
        compare(after.outputPatches, was.outputPatches)
        compare(after.compressors, was.compressors)
        compare(wdx.getOutput(0).gain, was.outputGains[0])
        popup.hide()
        virtualWdx.setLocked(false, "1234")
        tryCompare(wdx, "isLocked", false, waitMs)
    }
}
