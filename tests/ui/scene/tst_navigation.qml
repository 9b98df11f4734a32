import QtQuick 2.15
import QtTest 1.2

SceneTestCase {
    id: testCase
    name: "Navigation"

    function initTestCase() { startScene() }

    function cleanup() {
        virtualWdx.plug()
        tryCompare(wdx, "state", "Polling", waitMs)
    }

    function init() {
        var view = findAny("main")
        if (view.currentIndex !== 1)
            view.goTo(1)
        settle()
    }

    function test_startsOnMainScreen() {
        compare(wdx.activeScreen, "main")
        compare(findAny("main").currentIndex, 1)
        compare(find("deviceName").text, "WDX-T-N 004217")
    }

    function test_buttonsMoveBetweenPages_data() {
        return [
            { tag: "input", button: "inputPatchButton", index: 0, screen: "input" },
            { tag: "output", button: "outputSettingsButton", index: 2, screen: "output" },
        ]
    }
    function test_buttonsMoveBetweenPages(data) {
        click(data.button)
        settle()
        compare(findAny("main").currentIndex, data.index)
        compare(wdx.activeScreen, data.screen)
        verify(!findAny("main").swipeEnabled)
        var screen = find(data.index === 0 ? "inputScreen" : "outputScreen")
        click("backButton", screen)
        settle()
        compare(findAny("main").currentIndex, 1)
        compare(wdx.activeScreen, "main")
        verify(findAny("main").swipeEnabled)
    }

    // A swipe up from the main screen lands on the output screen and locks swiping there.
    function test_swipeToOutputDisablesSwiping() {
        var pages = find("pages")
        verify(pages.interactive)
        mouseDrag(pages, pages.width / 2, pages.height * 0.8, 0, -pages.height * 0.6, Qt.LeftButton, Qt.NoModifier, 40)
        tryCompare(pages, "currentIndex", 2, 3000)
        tryCompare(pages, "moving", false, 3000)
        compare(wdx.activeScreen, "output")
        verify(!pages.interactive)
        click("backButton", find("outputScreen"))
        settle()
        compare(wdx.activeScreen, "main")
        verify(pages.interactive)
    }

    function test_speakerClickOpensOutputScreen() {
        click("speakerButton", find("outputCard1"))
        settle()
        compare(findAny("main").currentIndex, 2)
    }

    // Unplugged, the model falls back to the generic name; the last connection is shown.
    function test_offlineName() {
        virtualWdx.unplug()
        tryCompare(wdx, "isConnected", false, waitMs)
        tryCompare(find("deviceName"), "text", "WDX (Offline)", waitMs)
        compare(find("connectionText").text, wdx.lastConnectionTimeString)
        verify(wdx.lastConnectionTimeString !== "")
        compare(find("gainText"), null, "an unplugged output shows no gain")
        virtualWdx.plug()
        tryCompare(wdx, "state", "Polling", waitMs)
        tryCompare(find("deviceName"), "text", "WDX-T-N 004217", waitMs)
        verify(find("gainText") !== null)
    }

    // Six clicks, each within a second of the last, switch developer mode on; five, a pause
    // and five more do not.
    function test_developerMode_data() {
        return [
            { tag: "six in a row", bursts: [6], enabled: true },
            { tag: "five, pause, five", bursts: [5, 5], enabled: false },
        ]
    }
    function test_developerMode(data) {
        wdx.devModeEnabled = false
        var button = find("developerButton")
        for (var b = 0; b < data.bursts.length; ++b) {
            if (b > 0)
                wait(1300)
            for (var i = 0; i < data.bursts[b]; ++i) {
                mouseClick(button)
                wait(150)
            }
        }
        compare(wdx.devModeEnabled, data.enabled)
        wdx.devModeEnabled = false
    }

    // Escape steps back: a panel or the EQ editor first, then the screen, to the main screen.
    function test_escapeStepsBack_data() {
        return [
            { tag: "compressor panel", index: 2, open: function() { findAny("outputScreen").openCompressorPanel(0) },
              opened: "compressor", screen: "output" },
            { tag: "speaker panel", index: 2, open: function() { findAny("outputScreen").openSpeakerPanel(1) },
              opened: "speakerAndMode", screen: "output" },
            { tag: "EQ editor", index: 0, open: function() { findAny("inputScreen").openEqEditor(1) },
              opened: "eq", screen: "input" },
        ]
    }
    function test_escapeStepsBack(data) {
        findAny("main").goTo(data.index)
        settle()
        data.open()
        settle()
        compare(wdx.activeScreen, data.opened)
        scene.forceActiveFocus()
        keyClick(Qt.Key_Escape)
        settle()
        compare(wdx.activeScreen, data.screen)
        compare(findAny("main").currentIndex, data.index)
        keyClick(Qt.Key_Escape)
        settle()
        compare(findAny("main").currentIndex, 1)
        compare(wdx.activeScreen, "main")
    }

    function test_escapeLeavesPushedPage() {
        click("settingsButton")
        settle()
        compare(wdx.activeScreen, "settings")
        compare(find("pageStack").depth, 2)
        scene.forceActiveFocus()
        keyClick(Qt.Key_Escape)
        settle()
        compare(find("pageStack").depth, 1)
        compare(wdx.activeScreen, "main")
    }
}
