import QtQuick 2.15
import QtTest 1.2

// The speaker-and-mode panel and the speaker picker: screen names, what the picker offers on a
// main and on the sub output, a loudspeaker change that runs the preset upload, the variant.
SceneTestCase {
    id: testCase
    name: "Speaker"

    function initTestCase() { startScene() }

    function init() {
        var stack = find("pageStack")
        while (stack.depth > 1)
            stack.pop(null)
        var screen = findAny("outputScreen")
        if (screen.openPanel !== "")
            screen.closePanel()
        findAny("main").goTo(2)
        settle()
        tryCompare(wdx, "state", "Polling", waitMs)
        tryVerify(function() { return find("uploadView") === null }, waitMs)
    }

    function device() { return virtualWdx.state() }

    function openPanel(output) {
        click("speakerButton", find("outputStrip" + output))
        var panel = waitFor("speakerPanel")
        compare(panel.outputIndex, output)
        settle()
        return panel
    }
    function openPicker(output) {
        click("changeSpeakerButton", openPanel(output))
        var picker = waitFor("speakerPicker")
        settle()
        return picker
    }

    function test_screenNames() {
        var panel = openPanel(2)
        compare(wdx.activeScreen, "speakerAndMode")
        click("changeSpeakerButton", panel)
        settle()
        compare(wdx.activeScreen, "speaker")
        compare(find("pageStack").depth, 2)
        compare(find("speakerPicker").outputIndex, 2)
        click("backButton", find("speakerPicker"))
        settle()
        compare(wdx.activeScreen, "speakerAndMode")
        compare(find("pageStack").depth, 1)
        verify(find("speakerPanel"))
        click("backButton", find("speakerPanel"))
        compare(wdx.activeScreen, "output")

        // Escape leaves the picker the way its back button does.
        openPicker(0)
        scene.forceActiveFocus()
        keyClick(Qt.Key_Escape)
        settle()
        compare(wdx.activeScreen, "speakerAndMode")
        compare(find("pageStack").depth, 1)
    }

    // Only presets the carried firmware can load on that output: full-range on the mains,
    // subwoofers on the sub; the neutral flat entry has no preset in the package.
    function test_pickerOffers_data() {
        return [
            { tag: "main L", output: 0, families: ["A", "C", "M", "T"], cabinetsOfA: ["AA", "AB", "AC"], opensOn: "AA1" },
            { tag: "sub", output: 1, families: ["A", "C", "M", "S", "T"], cabinetsOfA: ["AS"], opensOn: "AS1" },
            { tag: "main R", output: 2, families: ["A", "C", "M", "T"], cabinetsOfA: ["AA", "AB", "AC"], opensOn: "AA1" },
        ]
    }
    function test_pickerOffers(data) {
        var picker = openPicker(data.output)
        compare(picker.modeId, wdx.getOutput(data.output).speakerId)
        compare(picker.familyIds, data.families)
        for (var f = 0; f < data.families.length; ++f) {
            click("family" + data.families[f], picker)
            compare(picker.familyId, data.families[f])
            verify(picker.cabinetIds.length > 0)
            for (var c = 0; c < picker.cabinetIds.length; ++c) {
                click("cabinet" + picker.cabinetIds[c], picker)
                verify(picker.modeIds.length > 0)
                for (var m = 0; m < picker.modeIds.length; ++m) {
                    var id = picker.modeIds[m]
                    verify((data.output === 1 ? firmwareDb.subIds : firmwareDb.mainSpeakerIds).indexOf(id) >= 0, id)
                    verify(find("mode" + id, picker), "no row for " + id)
                }
            }
        }
        click("familyA", picker)
        compare(picker.cabinetIds, data.cabinetsOfA)
        // The variants of the chosen mode, with their ranges.
        click("cabinet" + data.cabinetsOfA[0], picker)
        var variants = speakerDb.getCabinetModeVariantList(picker.modeId)
        verify(variants.length > 0)
        for (var v = 0; v < variants.length; ++v)
            verify(find("variantInfo" + variants[v], picker))
        click("backButton", picker)
    }

    // Loading another loudspeaker runs the preset upload (its progress over the pages) and
    // ends with the device holding the preset; the two mains change together.
    function test_speakerChange_data() {
        return [
            { tag: "mains from main R", output: 2, family: "C", cabinet: "CB", mode: "CB2", field: "mainPreset", rows: [0, 2] },
            { tag: "sub", output: 1, family: "S", cabinet: "SB", mode: "SB1", field: "subPreset", rows: [1] },
            { tag: "mains back", output: 0, family: "A", cabinet: "AA", mode: "AA1", field: "mainPreset", rows: [0, 2] },
        ]
    }
    function test_speakerChange(data) {
        var picker = openPicker(data.output)
        click("family" + data.family, picker)
        click("cabinet" + data.cabinet, picker)
        click("mode" + data.mode, picker)
        click("loadSpeakerButton", picker)
        settle()
        compare(wdx.activeScreen, "speakerAndMode")
        compare(find("pageStack").depth, 1)
        tryVerify(function() { return find("uploadView") !== null }, waitMs, "no upload progress")
        tryVerify(function() { return device()[data.field] === data.mode }, 60000, "preset not on the device")
        tryCompare(wdx, "state", "Polling", waitMs)
        tryVerify(function() { return find("uploadView") === null }, waitMs)
        for (var r = 0; r < data.rows.length; ++r)
            tryCompare(wdx.getOutput(data.rows[r]), "speakerId", data.mode, waitMs)
        compare(find("panelCabinetName", find("speakerPanel")).text, speakerDb.getCabinetName(data.mode))
    }

    function test_variant_data() {
        return [
            { tag: "main L", output: 0, variant: 2, field: "mainMode", follows: 2 },
            { tag: "main R", output: 2, variant: 1, field: "mainMode", follows: 0 },
            { tag: "sub", output: 1, variant: 2, field: "subMode", follows: -1 },
            { tag: "main L back", output: 0, variant: 0, field: "mainMode", follows: 2 },
        ]
    }
    function test_variant(data) {
        var panel = openPanel(data.output)
        click("variant" + data.variant, panel)
        tryVerify(function() { return device()[data.field] === data.variant }, waitMs)
        compare(wdx.getOutput(data.output).speakerVariant, data.variant)
        if (data.follows >= 0)
            compare(wdx.getOutput(data.follows).speakerVariant, data.variant)
        tryVerify(function() { return find("variant" + data.variant, panel).checked })
    }

    // Locked: neither a loudspeaker nor a variant changes.
    function test_lockedRefuses() {
        virtualWdx.setLocked(true, "1234")
        tryCompare(wdx, "isLocked", true, waitMs)
        var before = device()
        var panel = openPanel(0)
        click("variant1", panel)
        var popup = findAny("readOnlyPopup")
        tryCompare(popup, "shown", true)
        popup.hide()
        var picker = openPicker(0)
        click("familyT", picker)
        click("loadSpeakerButton", picker)
        tryCompare(popup, "shown", true)
        compare(find("pageStack").depth, 2)
        wait(1000)
        compare(device().mainPreset, before.mainPreset)
        compare(device().mainMode, before.mainMode)
        compare(wdx.getOutput(0).speakerId, before.mainPreset)
        compare(firmwareUpdater.state, "Idle")
        popup.hide()
        click("backButton", picker)
        virtualWdx.setLocked(false, "1234")
        tryCompare(wdx, "isLocked", false, waitMs)
    }
}
