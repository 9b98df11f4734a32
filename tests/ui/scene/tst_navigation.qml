import QtQuick 2.15
import QtTest 1.2
import "../../../resources/Views/FirmwareUpdate/FirmwareFile.js" as FirmwareFile

// Every way through the screens with the screen names it reports, the hidden developer switch,
// and the pages pushed from the settings.
SceneTestCase {
    name: "Navigation"

    function initTestCase() {
        // As the application names itself; the update row depends on it.
        Qt.application.version = "2.01"
        startScene()
        compare([wdx.activeScreen, pages.currentIndex], ["main", 1])
        compare(find("deviceName").text, "WDX-T-N 004217")
    }

    function cleanup() {
        findAny("tutorial").hide()
        backToMain()
        wdx.devModeEnabled = false
        screens = []
    }

    // A step clicks "name" or "name@scope", presses Escape, or runs a function. Each row ends
    // on the main screen, and the screen names reported on the way are exactly `screens`.
    function test_paths_data() {
        var dev = function() { wdx.devModeEnabled = true }
        return [
            { tag: "input", steps: ["inputPatchButton", "backButton@inputScreen"], screens: ["input", "main"] },
            { tag: "input, EQ editor", steps: ["inputPatchButton", "eqThumbnail1", "backButton@eqEditor",
                  "backButton@inputScreen"], screens: ["input", "eq", "input", "main"] },
            { tag: "output leaves through invalid", steps: ["outputSettingsButton", "backButton@outputHeader"],
              screens: ["output", "invalid", "main"] },
            { tag: "compressor panel", steps: ["outputSettingsButton", "compressorButton@outputStrip2",
                  "backButton@compressorPanel", "backButton@outputHeader"],
              screens: ["output", "compressor", "output", "invalid", "main"] },
            { tag: "speaker on the main screen", steps: ["speakerButton@outputCard1",
                  function() { compare(waitFor("speakerPanel").outputIndex, 1) }, "changeSpeakerButton",
                  function() { compare(waitFor("speakerPicker").outputIndex, 1) }, "backButton@speakerPicker",
                  "backButton@speakerPanel", "backButton@outputHeader"],
              screens: ["output", "speakerAndMode", "speaker", "speakerAndMode", "output", "invalid", "main"] },
            { tag: "escape steps back", steps: ["inputPatchButton", "eqThumbnail0", "escape", "escape",
                  "outputSettingsButton", "speakerButton@outputStrip0", "changeSpeakerButton", "escape", "escape", "escape"],
              screens: ["input", "eq", "input", "main", "output", "speakerAndMode", "speaker", "speakerAndMode", "output",
                        "invalid", "main"] },
            { tag: "settings", steps: ["settingsButton", "backButton@settingsView"], screens: ["settings", "main"] },
            { tag: "settings, escape", steps: ["settingsButton", "escape"], screens: ["settings", "main"] },
            { tag: "PIN", steps: ["settingsButton", "lockToggleButton", "backButton@pinView"],
              screens: ["settings", "main"] },
            { tag: "test page", steps: [dev, "settingsButton", "testCommunicationButton",
                  "backButton@communicationTestPage"], screens: ["settings", "test", "main"] },
            { tag: "firmware page", steps: [dev, "settingsButton", "changeFirmwareButton",
                  "backButton@firmwareUpdatePage"], screens: ["settings", "main"] },
        ]
    }
    function test_paths(data) {
        screens = []
        for (var i = 0; i < data.steps.length; ++i) {
            var step = data.steps[i]
            if (typeof step === "function") {
                step()
            } else if (step === "escape") {
                settle()
                scene.forceActiveFocus()
                keyClick(Qt.Key_Escape)
            } else {
                var at = step.split("@")
                click(at[0], at.length > 1 ? waitFor(at[1]) : undefined)
            }
        }
        settle()
        compare(screens, data.screens)
        compare(stack.depth, 1)
        compare(pages.currentIndex, 1)
        verify(pages.interactive)
    }

    // A swipe up from the main screen lands on the output screen and locks swiping there;
    // the buttons lock it too.
    function test_swipeLocksOnOtherPages_data() {
        return [
            { tag: "swipe", index: 2, go: function() {
                mouseDrag(pages, pages.width / 2, pages.height * 0.8, 0, -pages.height * 0.6, Qt.LeftButton,
                          Qt.NoModifier, 40) } },
            { tag: "input button", index: 0, go: function() { click("inputPatchButton") } },
            { tag: "output button", index: 2, go: function() { click("outputSettingsButton") } },
        ]
    }
    function test_swipeLocksOnOtherPages(data) {
        verify(pages.interactive)
        data.go()
        tryCompare(pages, "currentIndex", data.index, waitMs)
        settle()
        verify(!pages.interactive)
        click("backButton", find(data.index === 0 ? "inputScreen" : "outputHeader"))
        settle()
        compare([wdx.activeScreen, pages.interactive], ["main", true])
    }

    // The 6th click, each within a second of the one before, switches developer mode on; a
    // longer pause starts the count again. `gaps`: milliseconds before each click.
    function test_developerMode_data() {
        return [
            { tag: "six", gaps: [0, 0, 0, 0, 0, 0], enabled: true },
            { tag: "five", gaps: [0, 0, 0, 0, 0], enabled: false },
            { tag: "six, 400 ms apart", gaps: [0, 400, 400, 400, 400, 400], enabled: true },
            { tag: "five, 1400 ms, five", gaps: [0, 0, 0, 0, 0, 1400, 0, 0, 0, 0], enabled: false },
        ]
    }
    function test_developerMode(data) {
        for (var i = 0; i < data.gaps.length; ++i) {
            wait(data.gaps[i])
            mouseClick(find("developerButton"))
        }
        compare(wdx.devModeEnabled, data.enabled)
        if (!data.enabled)
            wait(1100)
    }

    // The developer's rows only in developer mode; no update row in a beta (a major version
    // of more than one digit).
    function test_settingsRows_data() {
        return [
            { tag: "user", developer: false, version: "2.01", update: true },
            { tag: "developer", developer: true, version: "2.01", update: true },
            { tag: "beta", developer: false, version: "20.1", update: false },
        ]
    }
    function test_settingsRows(data) {
        Qt.application.version = data.version
        wdx.devModeEnabled = data.developer
        var settings = openSettings()
        compare(find("lockToggleButton", settings).text, "Lock device")
        compare(find("autoUpdateToggle", settings) !== null, data.update)
        var rows = ["testCommunicationButton", "changeFirmwareButton", "logsToggle", "devModeToggle"]
        for (var i = 0; i < rows.length; ++i)
            compare(find(rows[i], settings) !== null, data.developer, rows[i])
        compare([find("deviceMainVersion", settings).text, find("packageMainVersion", settings).text],
                [wdx.mainFwVersion, firmwareDb.mainFwVersion])
        Qt.application.version = "2.01"
    }

    // Each switch writes its flag and follows it when it changes elsewhere.
    function test_settingsToggles_data() {
        return [
            { tag: "logs", toggle: "logsToggle", flag: "logEnabled" },
            { tag: "updates", toggle: "autoUpdateToggle", flag: "autoUpdateEnabled" },
            { tag: "dev mode off hides the rows", toggle: "devModeToggle", flag: "devModeEnabled" },
        ]
    }
    function test_settingsToggles(data) {
        wdx.devModeEnabled = true
        var settings = openSettings()
        var toggle = find(data.toggle, settings)
        var before = wdx[data.flag]
        compare(toggle.checked, before)
        mouseClick(toggle)
        compare([wdx[data.flag], toggle.checked], [!before, !before])
        compare(find("testCommunicationButton", settings) !== null, wdx.devModeEnabled)
        wdx[data.flag] = before
        compare(toggle.checked, before)
    }

    // Each step once, then Done; Escape hides it and does nothing else.
    function test_tutorial_data() {
        return [{ tag: "short", kind: "short", steps: 4 }, { tag: "long, from the settings", kind: "long", steps: 6 }]
    }
    function test_tutorial(data) {
        var tutorial = findAny("tutorial")
        if (data.kind === "short")
            tutorial.show("short")
        else
            click("tutorialButton", openSettings())
        var titles = []
        for (var i = 0; i < data.steps; ++i) {
            verify(titles.indexOf(waitFor("tutorialTitle").text) < 0, "step " + i + " repeats")
            titles.push(find("tutorialTitle").text)
            compare(find("tutorialNextButton").text, i === data.steps - 1 ? "Done" : "Next")
            click("tutorialNextButton")
        }
        settle()
        verify(!tutorial.visible)
        tutorial.show(data.kind)
        compare(tutorial.kind, data.kind)
        settle()
        keyClick(Qt.Key_Escape)
        settle()
        verify(!tutorial.visible)
        compare(stack.depth, data.kind === "short" ? 1 : 2)
    }

    function test_packageFiles_data() {
        return [
            { tag: "unix", url: "file:///home/me/WDX_2.02.rvf", path: "/home/me/WDX_2.02.rvf", accepted: true },
            { tag: "windows", url: "file:///C:/Users/me/fw%20new.RVF", path: "C:/Users/me/fw new.RVF", accepted: true },
            { tag: "resource", url: "qrc:/FirmwareUpdate/WDX_firmware.rvf", path: ":/FirmwareUpdate/WDX_firmware.rvf", accepted: true },
            { tag: "dot folder", url: "file:///tmp/a.rvf/package", path: "/tmp/a.rvf/package", accepted: false },
        ]
    }
    function test_packageFiles(data) {
        compare(FirmwareFile.isPackage(data.url), data.accepted)
        compare(FirmwareFile.localPath(data.url), data.path)
    }

    // A file of another kind never reaches the updater; the built-in package does.
    function test_firmwarePage() {
        wdx.devModeEnabled = true
        click("changeFirmwareButton", openSettings())
        var page = waitFor("firmwareUpdatePage")
        var version = firmwareUpdater.mainFwVersion
        verify(!page.choose("file:///tmp/WDX_firmware.bin"))
        compare([find("packageStatus", page).text, find("packageName", page).text, find("packageMainVersion", page).text],
                ["Only .rvf firmware packages can be loaded", "Built-in package", version])
        compare(firmwareUpdater.state, "Idle")
        verify(page.choose("qrc:/FirmwareUpdate/WDX_firmware.rvf"))
        compare([find("packageStatus", page).text, find("firmwareState", page).text, wdx.state],
                ["Built-in package is loaded", "State: Idle", "Polling"])
    }
}
