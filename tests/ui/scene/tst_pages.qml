import QtQuick 2.15
import QtTest 1.2
import "../../../resources/Views/FirmwareUpdate/FirmwareFile.js" as FirmwareFile

// The pushed pages a user reaches from the settings, and the tutorial.
SceneTestCase {
    id: testCase
    name: "Pages"

    property string applicationVersion

    // As the application names itself; the update row depends on it.
    function initTestCase() {
        applicationVersion = Qt.application.version
        Qt.application.version = "2.01"
        startScene()
    }
    function cleanupTestCase() { Qt.application.version = applicationVersion }

    function cleanup() {
        var tutorial = findAny("tutorial")
        if (tutorial.shown) {
            tutorial.hide()
            settle()
        }
        var stack = findAny("pageStack")
        if (stack.depth > 1) {
            stack.currentItem.back()
            settle()
        }
        wdx.devModeEnabled = false
        wdx.autoUpdateEnabled = true
    }

    function openSettings() {
        settle()
        var view = findAny("main")
        if (view.currentIndex !== 1) {
            view.goTo(1)
            settle()
        }
        click("settingsButton")
        settle()
        compare(wdx.activeScreen, "settings")
        return waitFor("settingsView")
    }

    function test_settingsOpenAndBack() {
        var settings = openSettings()
        compare(findAny("pageStack").depth, 2)
        click("backButton", settings)
        settle()
        compare(findAny("pageStack").depth, 1)
        compare(wdx.activeScreen, "main")
        verify(find("mainScreen"))
    }

    // The developer's rows show only in developer mode; the user's always.
    function test_settingsRows_data() {
        return [
            { tag: "user", developer: false },
            { tag: "developer", developer: true },
        ]
    }
    function test_settingsRows(data) {
        wdx.devModeEnabled = data.developer
        var settings = openSettings()
        var userRows = ["lockToggleButton", "tutorialButton", "deviceMainVersion", "packageMainVersion"]
        for (var i = 0; i < userRows.length; ++i)
            verify(find(userRows[i], settings), userRows[i])
        compare(find("autoUpdateToggle", settings) !== null, !wdx.isBetaVersion)
        var developerRows = ["testCommunicationButton", "changeFirmwareButton", "logsToggle", "devModeToggle"]
        for (i = 0; i < developerRows.length; ++i)
            compare(find(developerRows[i], settings) !== null, data.developer, developerRows[i])
    }

    // Beta versions (a major version of more than one digit) never look for updates.
    function test_updateRowHiddenInBeta_data() {
        return [
            { tag: "release", version: "2.01", shown: true },
            { tag: "beta", version: "20.1", shown: false },
        ]
    }
    function test_updateRowHiddenInBeta(data) {
        Qt.application.version = data.version
        var settings = openSettings()
        compare(find("autoUpdateToggle", settings) !== null, data.shown)
        Qt.application.version = "2.01"
    }

    function test_settingsShowVersions() {
        var settings = openSettings()
        tryVerify(function() { return wdx.mainFwVersion !== "" && firmwareDb.mainFwVersion !== "" }, waitMs)
        compare(find("deviceMainVersion", settings).text, wdx.mainFwVersion)
        compare(find("deviceDspVersion", settings).text, wdx.dspFwVersion)
        compare(find("packageMainVersion", settings).text, firmwareDb.mainFwVersion)
        compare(find("packagePresetVersion", settings).text, firmwareDb.presetsVersion)
    }

    // Each switch writes its flag, and follows the flag when it changes elsewhere.
    function test_settingsToggles_data() {
        return [
            { tag: "dev mode", toggle: "devModeToggle", flag: "devModeEnabled" },
            { tag: "logs", toggle: "logsToggle", flag: "logEnabled" },
            { tag: "updates", toggle: "autoUpdateToggle", flag: "autoUpdateEnabled" },
        ]
    }
    function test_settingsToggles(data) {
        wdx.devModeEnabled = true
        var settings = openSettings()
        var toggle = find(data.toggle, settings)
        var before = wdx[data.flag]
        compare(toggle.checked, before)
        mouseClick(toggle)
        compare(wdx[data.flag], !before)
        if (data.flag !== "devModeEnabled") {
            compare(toggle.checked, !before)
            wdx[data.flag] = before
            compare(toggle.checked, before)
        }
        wdx[data.flag] = before
    }

    // Turning developer mode off in the settings takes the developer's rows away at once.
    function test_devModeOffHidesDeveloperRows() {
        wdx.devModeEnabled = true
        var settings = openSettings()
        verify(find("testCommunicationButton", settings))
        mouseClick(find("devModeToggle", settings))
        verify(!wdx.devModeEnabled)
        verify(!find("testCommunicationButton", settings))
        verify(!find("developerSection", settings))
    }

    function test_developerPages_data() {
        return [
            { tag: "test", button: "testCommunicationButton", page: "communicationTestPage", screen: "test" },
            { tag: "firmware", button: "changeFirmwareButton", page: "firmwareUpdatePage", screen: "settings" },
        ]
    }
    function test_developerPages(data) {
        wdx.devModeEnabled = true
        var settings = openSettings()
        click(data.button, settings)
        settle()
        var page = waitFor(data.page)
        compare(wdx.activeScreen, data.screen)
        compare(findAny("pageStack").depth, 3)
        click("backButton", page)
        settle()
        compare(findAny("pageStack").depth, 1)
        compare(wdx.activeScreen, "main")
    }

    function test_lockButtonOpensPin() {
        var settings = openSettings()
        var lock = find("lockToggleButton", settings)
        compare(lock.text, wdx.isLocked ? "Unlock device" : "Lock device")
        mouseClick(lock)
        settle()
        verify(waitFor("pinView"))
        compare(wdx.activeScreen, "settings")
    }

    // --- Tutorial ---

    function test_tutorialSteps_data() {
        return [
            { tag: "short", kind: "short", steps: 4 },
            { tag: "long", kind: "long", steps: 6 },
        ]
    }
    function test_tutorialSteps(data) {
        var tutorial = findAny("tutorial")
        tutorial.show(data.kind)
        settle()
        verify(tutorial.visible)
        var titles = []
        for (var i = 0; i < data.steps; ++i) {
            var title = find("tutorialTitle").text
            verify(titles.indexOf(title) < 0, "step " + i + " repeats " + title)
            titles.push(title)
            compare(find("tutorialNextButton").text, i === data.steps - 1 ? "Done" : "Next")
            click("tutorialNextButton")
        }
        settle()
        verify(!tutorial.visible)
        compare(findAny("pageStack").depth, 1)
    }

    // Escape hides the tutorial and does nothing else: the page under it stays.
    function test_tutorialEscape() {
        openSettings()
        click("tutorialButton")
        settle()
        var tutorial = findAny("tutorial")
        verify(tutorial.visible)
        compare(tutorial.kind, "long")
        click("tutorialNextButton")
        keyClick(Qt.Key_Escape)
        settle()
        verify(!tutorial.visible)
        compare(findAny("pageStack").depth, 2)
        compare(wdx.activeScreen, "settings")
    }

    // --- Firmware page ---

    function test_packageFiles_data() {
        return [
            { tag: "unix", url: "file:///home/me/WDX_2.02.rvf", path: "/home/me/WDX_2.02.rvf", accepted: true },
            { tag: "windows", url: "file:///C:/Users/me/fw%20new.RVF", path: "C:/Users/me/fw new.RVF", accepted: true },
            { tag: "resource", url: "qrc:/FirmwareUpdate/WDX_firmware.rvf", path: ":/FirmwareUpdate/WDX_firmware.rvf", accepted: true },
            { tag: "other extension", url: "file:///tmp/WDX_firmware.bin", path: "/tmp/WDX_firmware.bin", accepted: false },
            { tag: "rvf in the name only", url: "file:///tmp/WDX.rvf.txt", path: "/tmp/WDX.rvf.txt", accepted: false },
            { tag: "no extension", url: "file:///tmp/rvf", path: "/tmp/rvf", accepted: false },
            { tag: "dot folder", url: "file:///tmp/a.rvf/package", path: "/tmp/a.rvf/package", accepted: false },
        ]
    }
    function test_packageFiles(data) {
        compare(FirmwareFile.isPackage(data.url), data.accepted)
        compare(FirmwareFile.localPath(data.url), data.path)
    }

    function openFirmwarePage() {
        wdx.devModeEnabled = true
        var settings = openSettings()
        click("changeFirmwareButton", settings)
        settle()
        return waitFor("firmwareUpdatePage")
    }

    // A file of another kind never reaches the updater: the walk stays where it is and the
    // package keeps its versions.
    function test_firmwarePageRefusesOtherFiles() {
        var page = openFirmwarePage()
        var version = firmwareUpdater.mainFwVersion
        verify(!page.choose("file:///tmp/WDX_firmware.bin"))
        compare(find("packageStatus", page).text, "Only .rvf firmware packages can be loaded")
        compare(find("packageName", page).text, "Built-in package")
        wait(300)
        compare(wdx.state, "Polling")
        compare(firmwareUpdater.state, "Idle")
        compare(firmwareUpdater.mainFwVersion, version)
        compare(find("packageMainVersion", page).text, version)
    }

    function test_firmwarePageBuiltInPackage() {
        var page = openFirmwarePage()
        verify(page.choose("qrc:/FirmwareUpdate/WDX_firmware.rvf"))
        compare(find("packageStatus", page).text, "Built-in package is loaded")
        compare(find("packageDspVersion", page).text, firmwareUpdater.dspFwVersion)
        verify(find("uploadAllButton", page).enabled)
        compare(find("firmwareState", page).text, "State: Idle")
    }

    // --- Communication test page ---

    function openTestPage() {
        wdx.devModeEnabled = true
        var settings = openSettings()
        click("testCommunicationButton", settings)
        settle()
        return waitFor("communicationTestPage")
    }

    function test_testPageSingleRequests_data() {
        return [
            { tag: "serial number", button: "getSNButton", text: "Device SN is 004217" },
            { tag: "status", button: "getStatusButton", text: "Device status is main mode" },
        ]
    }
    function test_testPageSingleRequests(data) {
        var page = openTestPage()
        protocolTester.debugMessage = ""
        click(data.button, page)
        tryCompare(find("testDebugMessage", page), "text", data.text, waitMs)
    }

    function test_testPageLoop() {
        var page = openTestPage()
        compare(find("testState", page).text, "State: Idle")
        compare(find("successRate", page).text, "Success rate: 0%")
        compare(find("rawTestRequestField", page).text, protocolTester.rawTestRequest)
        click("startTestButton", page)
        tryCompare(find("testState", page), "text", "State: Working", waitMs)
        tryVerify(function() { return find("successRate", page).text !== "Success rate: 0%" }, waitMs)
        tryVerify(function() { return find("testDebugMessage", page).text.indexOf("success rate:") >= 0 }, waitMs)
        click("stopTestButton", page)
        tryCompare(find("testState", page), "text", "State: Idle", waitMs)
    }

    // A number box shows the tester's value and writes the user's steps back.
    function test_testPageNumbers() {
        var page = openTestPage()
        var box = find("intervalBox", page)
        var before = protocolTester.interval
        compare(box.value, before)
        protocolTester.interval = before + 20
        compare(box.value, before + 20)
        box.forceActiveFocus()
        keyClick(Qt.Key_Up)
        compare(protocolTester.interval, before + 30)
        protocolTester.interval = before
        // A value beyond the box's range is the tester's own: the box clamps only its view.
        var timeout = protocolTester.timeout
        protocolTester.timeout = 70000
        compare(find("timeoutBox", page).value, 60000)
        compare(protocolTester.timeout, 70000)
        protocolTester.timeout = timeout
    }
}
