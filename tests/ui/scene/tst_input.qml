import QtQuick 2.15
import QtTest 1.2

// The input patch screen: patches reach the device, the EQ editor opens and closes with the
// right screen names, channel EQs are copied, and the digital input selection exists only
// on the types that have one.
SceneTestCase {
    id: testCase
    name: "InputPatch"

    readonly property string defaultName: "WDX-T-N 004217"

    function initTestCase() {
        startScene()
        showInputScreen()
    }

    function showInputScreen() {
        var view = findAny("main")
        if (view.currentIndex !== 0)
            view.goTo(0)
        settle()
        compare(wdx.activeScreen, "input")
    }

    function init() {
        var editor = findAny("eqEditor")
        if (editor.opened)
            editor.close()
        showInputScreen()
    }

    // A test that locked the device leaves it unlocked for the next.
    function cleanup() {
        if (virtualWdx.state().locked) {
            virtualWdx.setLocked(false, "")
            tryCompare(wdx, "isLocked", false, waitMs)
        }
        findAny("readOnlyPopup").hide()
    }

    function lastWrite(op, sub) {
        var frames = virtualWdx.writes(op, sub)
        return frames.length > 0 ? frames[frames.length - 1] : null
    }

    function test_inputsWithNamesAndMeters() {
        var names = ["Analog L", "Analog R", "AES/EBU L", "AES/EBU R", "Digital L", "Digital R"]
        for (var i = 0; i < names.length; ++i) {
            var row = find("inputRow" + i)
            verify(row, "input row " + i)
            compare(find("inputName", row).text, names[i])
            verify(find("inputMeter", row))
        }
    }

    // Each toggle flips one bit of its channel's patch on the device (input i in bit i).
    function test_patchToggleReachesDevice_data() {
        return [
            { tag: "left, analog L", channel: 0, input: 0 },
            { tag: "left, digital R", channel: 0, input: 5 },
            { tag: "right, AES/EBU R", channel: 1, input: 3 },
            { tag: "right, analog L again", channel: 1, input: 0 },
        ]
    }
    function test_patchToggleReachesDevice(data) {
        var before = virtualWdx.state().preProcessingPatches[data.channel]
        var expected = before ^ (1 << data.input)
        virtualWdx.clearLogs()
        var toggle = click("patch_" + data.channel + "_" + data.input)
        tryVerify(function() { return virtualWdx.state().preProcessingPatches[data.channel] === expected },
                  waitMs, "patch " + expected)
        compare(lastWrite(0x05, 0x30 + data.channel), [0x30 + data.channel, expected])
        // The other channel is left alone.
        compare(virtualWdx.writes(0x05, 0x30 + 1 - data.channel).length, 0)
        tryCompare(toggle, "checked", (expected & (1 << data.input)) !== 0, waitMs)
    }

    function test_eqEditorOpensAndCloses_data() {
        return [
            { tag: "left", channel: 0, title: "Left EQ" },
            { tag: "right", channel: 1, title: "Right EQ" },
        ]
    }
    function test_eqEditorOpensAndCloses(data) {
        click("eqThumbnail" + data.channel)
        var editor = waitFor("eqEditor")
        compare(wdx.activeScreen, "eq")
        compare(editor.channel, data.channel)
        compare(find("pageTitle", editor).text, data.title)
        verify(find("eqPlot", editor))
        click("backButton", editor)
        tryCompare(editor, "visible", false, waitMs)
        compare(wdx.activeScreen, "input")
        compare(findAny("main").currentIndex, 0)
    }

    // The input screen's own back button still leads to the main screen afterwards.
    function test_backToMain() {
        click("eqThumbnail0")
        click("backButton", waitFor("eqEditor"))
        click("backButton", find("inputScreen"))
        settle()
        compare(wdx.activeScreen, "main")
        compare(findAny("main").currentIndex, 1)
    }

    function test_copyChannelEq() {
        virtualWdx.setEqBand(0, 0, 1, 68, 48, 20)
        virtualWdx.setEqBand(0, 1, 5, 20, 30, 25)
        var left = wdx.getPreProc(0).eq
        tryCompare(left, "usedBandCount", 2, waitMs)
        click("copyEq0")
        verify(wdx.preProcList().hasEqCopy)
        virtualWdx.clearLogs()
        click("pasteEq1")
        tryVerify(function() {
            var bands = virtualWdx.state().eqs[1].bands
            return bands[0].used && bands[0].frequency === 68 && bands[0].gain === 48 && bands[0].q === 20
                && bands[0].type === 1 && bands[1].used && bands[1].frequency === 20 && bands[1].type === 5
                && !bands[2].used
        }, waitMs, "right EQ holds the left EQ's bands")
        verify(virtualWdx.writes(0x06, 0x31).length > 0)
        compare(virtualWdx.writes(0x06, 0x30).length, 0)
        verify(wdx.preProcList().hasSameEq())
    }

    function test_linkToggle() {
        var list = wdx.preProcList()
        var linked = list.isEqLinked
        var button = click("linkEqButton")
        compare(list.isEqLinked, !linked)
        compare(button.checked, !linked)
        click("linkEqButton")
        compare(list.isEqLinked, linked)
    }

    // A locked device refuses the patch and says why.
    function test_lockedPatch() {
        virtualWdx.setLocked(true, "123456")
        tryCompare(wdx, "isLocked", true, waitMs)
        var before = virtualWdx.state().preProcessingPatches[0]
        virtualWdx.clearLogs()
        click("patch_0_1")
        var popup = findAny("readOnlyPopup")
        tryCompare(popup, "shown", true, waitMs)
        compare(popup.text, "Device is locked. Unlock to edit settings")
        wait(1200)
        compare(virtualWdx.writes(0x05, 0x30).length, 0)
        compare(virtualWdx.state().preProcessingPatches[0], before)
    }

    // The name's type code decides; a replug makes the walk read it again.
    function test_digitalInputByType_data() {
        return [
            { tag: "type 0", name: "WDX-T-U 004217", type: 0, shown: false },
            { tag: "type 1", name: "WDX-T-N 004217", type: 1, shown: true },
            { tag: "type 2", name: "WDX-I-U 004217", type: 2, shown: false },
            { tag: "type 3", name: "WDX-I-N 004217", type: 3, shown: true },
        ]
    }
    function test_digitalInputByType(data) {
        replugAs(data.name)
        compare(wdx.deviceType, data.type)
        compare(findAny("digitalInput").visible, data.shown)
        if (data.shown) {
            var target = virtualWdx.state().digitalMux === 0 ? 1 : 0
            click("digitalSource" + target)
            tryVerify(function() { return virtualWdx.state().digitalMux === target }, waitMs, "digital mux " + target)
            tryCompare(find("digitalSource" + target), "checked", true, waitMs)
        }
    }
    function cleanupTestCase() {
        if (wdx.name !== defaultName)
            replugAs(defaultName)
    }

    function replugAs(deviceName) {
        virtualWdx.setName(deviceName)
        virtualWdx.unplug()
        tryCompare(wdx, "isConnected", false, waitMs)
        // Out of the socket for a moment, as a hand would do it.
        wait(500)
        virtualWdx.plug()
        tryCompare(wdx, "state", "Polling", waitMs)
        tryCompare(wdx, "name", deviceName, waitMs)
        showInputScreen()
    }
}
