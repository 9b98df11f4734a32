import QtQuick 2.15
import QtTest 1.2

// Each kind of control, driven like a user, reaches the virtual Wdx; locked or in hardware
// mode, each refuses, says why and writes nothing.
SceneTestCase {
    name: "Editing"
    readonly property QtObject eq: wdx.getPreProc(0).eq

    function initTestCase() {
        startScene()
        // Left EQ: a bell at 1 kHz, +6 dB, Q 1 in slot 0, a high pass at 100 Hz in slot 1.
        virtualWdx.setEqBand(0, 0, 1, 68, 48, 20)
        virtualWdx.setEqBand(0, 1, 2, 28, 36, 23)
        goTo(0)
        tryCompare(eq, "usedBandCount", 2, waitMs)
    }

    function cleanup() {
        findAny("readOnlyPopup").hide()
        findAny("maxBandsPopup").hide()
        findAny("eqEditor").close()
        findAny("outputScreen").closePanel()
        backToMain()
    }

    function strip(i) { return find("outputStrip" + i) }
    // Presses a slider where row `row` of its list lies; returns the device value of the row
    // the press lands on (events land on whole pixels).
    function pressRow(slider, row) {
        var handle = find("handle", slider).width
        var span = slider.width - handle
        var x = handle / 2 + span * row / (slider.count - 1)
        var sceneX = slider.mapToItem(null, x, 0).x
        x += Math.round(sceneX) - sceneX
        mouseClick(slider, x, slider.height - handle / 2)
        return slider.list.get(Math.round((x - handle / 2) / span * (slider.count - 1))).deviceValue
    }
    function openEditor() { goTo(0); click("eqThumbnail0"); return waitFor("eqEditor") }
    // Press on a band's handle, move in steps, release: as a hand drags it.
    function drag(slot, dx, dy) {
        var plot = find("eqPlot")
        var handle = find("bandHandle" + slot)
        var x = Math.round(handle.x + handle.width / 2), y = Math.round(handle.y + handle.height / 2)
        mousePress(plot, x, y)
        for (var i = 1; i <= 5; ++i)
            mouseMove(plot, x + dx * i / 5, y + dy * i / 5, -1, Qt.LeftButton)
        mouseRelease(plot, x + dx, y + dy)
    }
    function band(s, slot) { return s.eqs[0].bands[slot] }

    // `act` edits on page `page` and returns what the device must then hold.
    function test_control_data() {
        return [
            { tag: "output gain", page: 2, act: function() {
                compare(pressRow(find("gainSlider", strip(2)), 48), 48)
                compare(find("valueText", find("gainSlider", strip(2))).text, "+6.0 dB")
                return function(s) { return s.outputGains[2] === 48 } } },
            { tag: "output delay, fine step", page: 2, act: function() {
                var d = pressRow(find("delaySlider", strip(1)), 1740)
                verify(Math.abs(d - 1740) <= 20, "pressed " + d)
                waitDevice(function(s) { return s.outputDelays[1] === d }, "delay " + d)
                click("delayUp", strip(1))
                return function(s) { return s.outputDelays[1] === d + 1 && wdx.getOutput(1).delay === d + 1 } } },
            { tag: "output patch", page: 2, act: function() {
                tryCompare(wdx.getOutput(1), "patch", device().outputPatches[1], waitMs)
                click("patch0", strip(1))
                return function(s) { return s.outputPatches[1] === 0
                    && JSON.stringify(lastWrite(0x05, 0x41)) === "[65,0]" } } },
            { tag: "input patch", page: 0, act: function() {
                var expected = device().preProcessingPatches[1] ^ (1 << 3)
                tryCompare(find("patch_1_3"), "checked", (expected & (1 << 3)) === 0, waitMs)
                click("patch_1_3")
                return function(s) { return s.preProcessingPatches[1] === expected
                    && JSON.stringify(lastWrite(0x05, 0x31)) === JSON.stringify([0x31, expected])
                    && virtualWdx.writes(0x05, 0x30).length === 0 } } },
            { tag: "digital input source", page: 0, act: function() {
                var target = device().digitalMux === 0 ? 1 : 0
                tryCompare(find("digitalSource" + (1 - target)), "checked", true, waitMs)
                click("digitalSource" + target)
                return function(s) { return s.digitalMux === target && find("digitalSource" + target).checked } } },
            { tag: "compressor ratio and switch", page: 2, act: function() {
                click("compressorButton", strip(1))
                var panel = waitFor("compressorPanel")
                compare(pressRow(find("ratioSlider", panel), 7), 7)
                compare(find("ratioText", panel).text, "3.3:1")
                var on = device().compressors[1].enabled
                tryCompare(find("compressorEnable", panel), "checked", on, waitMs)
                click("compressorEnable", panel)
                return function(s) { return s.compressors[1].ratio === 7 && s.compressors[1].enabled === !on
                    && s.compressors[0].ratio !== 7 } } },
            { tag: "variant, mains together", page: 2, act: function() {
                click("speakerButton", strip(2))
                click("variant2", waitFor("speakerPanel"))
                return function(s) { return s.mainMode === 2 && wdx.getOutput(0).speakerVariant === 2 } } },
            { tag: "EQ band dragged right and up", page: 0, act: function() {
                openEditor()
                drag(0, 57, -23)
                return function(s) { return band(s, 0).frequency > 68 && band(s, 0).gain > 48 && band(s, 0).q === 20
                    && band(s, 0).frequency === eq.bandAt(0).frequency && !eq.isEditing } } },
            { tag: "EQ high pass dragged left, gain stays", page: 0, act: function() {
                openEditor()
                drag(1, -40, -40)
                return function(s) { return band(s, 1).frequency < 28 && band(s, 1).gain === 36 && band(s, 1).type === 2 } } },
            { tag: "EQ wheel raises Q", page: 0, act: function() {
                openEditor()
                var q = eq.bandAt(0).qualityFactor
                var handle = find("bandHandle0")
                mouseWheel(find("eqPlot"), handle.x + handle.width / 2, handle.y + handle.height / 2, 0, -120)
                return function(s) { return band(s, 0).q === q - 1 } } },
            { tag: "EQ band type", page: 0, act: function() {
                openEditor()
                wdx.preProcList().setSelectedBandId(0, 0)
                click("bandType5")
                return function(s) { return band(s, 0).type === 5 } } },
            { tag: "EQ switch", page: 0, act: function() {
                openEditor()
                var on = device().eqs[0].enabled
                tryCompare(eq, "isEnabled", on, waitMs)
                click("eqEnableButton")
                return function(s) { return s.eqs[0].enabled === !on } } },
            { tag: "EQ copied to the right channel", page: 0, act: function() {
                click("copyEq0")
                click("pasteEq1")
                return function(s) { return JSON.stringify(s.eqs[1].bands) === JSON.stringify(s.eqs[0].bands)
                    && virtualWdx.writes(0x06, 0x30).length === 0 } } },
            { tag: "delay units, for every output", page: 2, act: function() {
                wdx.outputList().setDelay(1, 1200)
                var text = find("valueText", find("delaySlider", strip(1)))
                click("unit2", find("unitChoice"))
                compare([text.text, wdx.getOutput(0).delayUnitOfMeasureIndex], ["111.55 ft", 2])
                click("unit1", find("unitChoice"))
                compare(text.text, "34.00 m")
                click("unit0", find("unitChoice"))
                compare(text.text, "100.00 ms")
                return function(s) { return s.outputDelays[1] === 1200 } } },
            // Absolute: linked outputs take the same value (relative, they would move by the same step).
            { tag: "linked gains", page: 2, act: function() {
                wdx.outputList().setGain(2, 60)
                click("linkMode1", find("linkModeChoice"))
                click("linkButton", strip(0))
                click("linkButton", strip(2))
                pressRow(find("gainSlider", strip(0)), 44)
                return function(s) { return s.outputGains[0] === 44 && s.outputGains[2] === 44 && s.outputGains[1] !== 44 } } },
        ]
    }
    function test_control(data) {
        goTo(data.page)
        virtualWdx.clearLogs()
        waitDevice(data.act(), data.tag)
    }

    // The type (from the name) decides: digital input on types 1 and 3, the front panel gain
    // on 0 and 1.
    function test_deviceTypes_data() {
        return [
            { tag: "type 0", name: "WDX-T-U 004217", digital: false, frontPanel: true },
            { tag: "type 2", name: "WDX-I-U 004217", digital: false, frontPanel: false },
            { tag: "type 3", name: "WDX-I-N 004217", digital: true, frontPanel: false },
            { tag: "type 1", name: "WDX-T-N 004217", digital: true, frontPanel: true },
        ]
    }
    function test_deviceTypes(data) {
        wdx.updateDeviceName(data.name)
        compare(findAny("digitalInput").visible, data.digital)
        for (var i = 0; i < 3; ++i)
            compare(findAny("frontPanelGain", findAny("outputStrip" + i)).visible, data.frontPanel)
        goTo(2)
        if (data.frontPanel)
            tryCompare(find("frontPanelGain", strip(1)), "text", "Front panel 0.0 dB", waitMs)
    }

    // Adding fills the EQ; one more says so and writes nothing. A new band is a bell at 0 dB
    // and Q 1, an octave above the highest band.
    function test_eqBands() {
        openEditor()
        var top = eq.lastUsedFrequency
        click("addBandButton")
        tryCompare(eq, "usedBandCount", 3, waitMs)
        var added = eq.bandAt(eq.selectedBandId)
        compare([added.bandType, added.frequency, added.gain, added.qualityFactor], [1, top + 12, 36, 20])
        while (eq.usedBandCount < 8)
            click("addBandButton")
        waitDevice(function(s) { return s.eqs[0].bands.filter(function(b) { return b.used }).length === 8 }, "8 bands")
        virtualWdx.clearLogs()
        click("addBandButton")
        compare([findAny("maxBandsPopup").shown, findAny("maxBandsPopup").text], [true, "Maximum number of bands reached"])
        compare(eq.usedBandCount, 8)
        flush()
        compare(virtualWdx.writes(0x06).length, 0)
    }

    // The picker offers only presets the carried firmware loads on that output (full range on
    // the mains, subwoofers on the sub); a change runs the preset upload, its progress over the
    // pages, and the mains change together.
    function test_picker_data() {
        return [
            { tag: "mains from main R", output: 2, families: ["A", "C", "M", "T"], cabinetsOfA: ["AA", "AB", "AC"],
              mode: "CB2", field: "mainPreset", rows: [0, 2] },
            { tag: "sub", output: 1, families: ["A", "C", "M", "S", "T"], cabinetsOfA: ["AS"],
              mode: "SB1", field: "subPreset", rows: [1] },
        ]
    }
    function test_picker(data) {
        goTo(2)
        click("speakerButton", strip(data.output))
        click("changeSpeakerButton", waitFor("speakerPanel"))
        var picker = waitFor("speakerPicker")
        compare(picker.familyIds, data.families)
        click("familyA", picker)
        compare(picker.cabinetIds, data.cabinetsOfA)
        click("family" + data.mode[0], picker)
        click("cabinet" + data.mode.substring(0, 2), picker)
        click("mode" + data.mode, picker)
        click("loadSpeakerButton", picker)
        tryVerify(function() { return findAny("uploadView").active }, waitMs, "no upload progress")
        waitDevice(function(s) { return s[data.field] === data.mode }, "preset on the device")
        tryCompare(wdx, "state", "Polling", waitMs)
        for (var r = 0; r < data.rows.length; ++r)
            tryCompare(wdx.getOutput(data.rows[r]), "speakerId", data.mode, waitMs)
        compare(waitFor("panelCabinetName", find("speakerPanel")).text, speakerDb.getCabinetName(data.mode))
    }

    // Last in the document (it leaves the device read-only): each control refuses.
    function test_readOnly_data() {
        var rows = [
            { tag: "gain", page: 2, hw: true, act: function() { pressRow(find("gainSlider", strip(0)), 70) } },
            { tag: "delay", page: 2, act: function() { pressRow(find("delaySlider", strip(2)), 2000) } },
            { tag: "output patch", page: 2, act: function() { click("patch2", strip(0)) } },
            { tag: "input patch", page: 0, act: function() { click("patch_0_1") } },
            { tag: "digital input", page: 0, act: function() { click("digitalSource" + (device().digitalMux === 0 ? 1 : 0)) } },
            { tag: "compressor", page: 2, act: function() {
                click("compressorButton", strip(1))
                pressRow(find("thresholdSlider", waitFor("compressorPanel")), 2) } },
            { tag: "variant", page: 2, hw: true, act: function() {
                click("speakerButton", strip(0))
                click("variant1", waitFor("speakerPanel")) } },
            { tag: "EQ drag", page: 0, hw: true, act: function() {
                openEditor()
                wdx.preProcList().setSelectedBandId(0, 1)
                drag(0, 60, -30)
                compare(eq.selectedBandId, 1, "a refused press selects") } },
            { tag: "remove band", page: 0, act: function() { openEditor(); click("removeBandButton") } },
        ]
        var out = []
        for (var i = 0; i < rows.length; ++i) {
            out.push({ tag: "locked, " + rows[i].tag, page: rows[i].page, act: rows[i].act, hw: false })
            if (rows[i].hw)
                out.push({ tag: "hardware mode, " + rows[i].tag, page: rows[i].page, act: rows[i].act, hw: true })
        }
        return out
    }
    function test_readOnly(data) {
        virtualWdx.setLocked(!data.hw, "1234")
        virtualWdx.setHwMode(data.hw)
        tryCompare(wdx, "readOnlyMessage", data.hw ? hwModeText : lockedText, waitMs)
        goTo(data.page)
        var before = JSON.stringify(device())
        virtualWdx.clearLogs()
        data.act()
        tryCompare(findAny("readOnlyPopup"), "shown", true, waitMs)
        compare(findAny("readOnlyPopup").text, data.hw ? hwModeText : lockedText)
        flush()
        compare(virtualWdx.writes(-1).length, 0)
        compare(JSON.stringify(device()), before)
        verify(!eq.isEditing)
    }
}
