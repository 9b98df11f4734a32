import QtQuick 2.15
import QtTest 1.2

// The full-window views of the application's states, over whatever page is in front, and the
// application view's popups.
SceneTestCase {
    id: testCase
    name: "States"

    function initTestCase() { startScene() }

    function cleanup() {
        virtualWdx.setSilentStatus(false)
        virtualWdx.setBootLoaderFault(false)
        virtualWdx.setLocked(false, "0000")
        virtualWdx.setHwMode(false)
        virtualWdx.setVersions("2.01", "2.01")
        virtualWdx.setWaitForMainInterval(30000)
        replug()
        tryCompare(wdx, "state", "Polling", waitMs)
        settle()
        var stack = findAny("pageStack")
        if (stack.depth > 1)
            stack.pop(stack.get(0))
        settle()
    }

    function replug() {
        virtualWdx.unplug()
        tryCompare(wdx, "isConnected", false, waitMs)
        virtualWdx.plug()
    }
    function active(name) { return findAny(name).active }
    function openSettings() {
        findAny("main").goTo(1)
        settle()
        click("settingsButton")
        settle()
        compare(findAny("pageStack").depth, 2)
    }

    // Each state's view covers the settings page the user was on.
    function test_stateViewsOverAPage_data() {
        return [
            { tag: "loading", view: "loadingView", state: "CheckStatus",
              prepare: function() { virtualWdx.setSilentStatus(true) } },
            { tag: "locked on boot", view: "fatalView", state: "LockedOnBoot",
              prepare: function() { virtualWdx.setWaitForMainInterval(300); virtualWdx.setBootLoaderFault(true) } },
            { tag: "firmware request", view: "firmwareRequestView", state: "RequireMainFw",
              prepare: function() { virtualWdx.setVersions("1.90", "1.90") } },
        ]
    }
    function test_stateViewsOverAPage(data) {
        openSettings()
        data.prepare()
        replug()
        tryCompare(wdx, "state", data.state, waitMs)
        tryVerify(function() { return active(data.view) }, waitMs)
        tryCompare(findAny(data.view), "opacity", 1, 1000)
        verify(find(data.view) !== null, "covered")
        compare(findAny("pageStack").depth, 2)
        var others = ["loadingView", "fatalView", "firmwareRequestView", "uploadView"]
        for (var i = 0; i < others.length; ++i)
            if (others[i] !== data.view)
                verify(!active(others[i]), others[i] + " shown as well")
    }

    // "Update WDX" runs the upload: its view with progress and message, then polling again.
    function test_firmwareRequestToUpload() {
        virtualWdx.setInstantTiming()
        virtualWdx.setVersions("1.90", "1.90")
        replug()
        tryCompare(wdx, "state", "RequireMainFw", waitMs)
        click("updateWdxButton", findAny("firmwareRequestView"))
        tryVerify(function() { return active("uploadView") }, waitMs)
        verify(!active("firmwareRequestView"))
        tryVerify(function() { return findAny("uploadProgress").value > 0 }, waitMs)
        compare(findAny("uploadMessage").text, firmwareUpdater.displayMessage)
        verify(firmwareUpdater.displayMessage !== "")
        tryCompare(wdx, "state", "Polling", 120000)
        tryVerify(function() { return !active("uploadView") }, waitMs)
        compare(virtualWdx.state().mainVersion, firmwareDb.mainFwVersion)
    }

    // A newer version shows the popup; one the user set aside does not come back.
    function test_newVersionPopup() {
        var popup = findAny("newVersionPopup")
        virtualWdx.setOnlineVersion("9.9.1")
        tryCompare(popup, "shown", true, 1000)
        compare(popup.text, "Vela 9.9.1 available")
        click("discardButton", popup)
        compare(popup.shown, false)
        compare(wdx.lastVersionToDiscard, "9.9.1")
        virtualWdx.setOnlineVersion("")
        virtualWdx.setOnlineVersion("9.9.1")
        wait(300)
        compare(popup.shown, false, "the discarded version came back")
        virtualWdx.setOnlineVersion("9.9.2")
        tryCompare(popup, "shown", true, 1000)
        popup.hide()
    }

    // Touching a control while the device is locked and in hardware mode: locked is said.
    function test_lockedBeforeHardwareMode() {
        virtualWdx.setLocked(true, "1234")
        virtualWdx.setHwMode(true)
        replug()
        tryCompare(wdx, "state", "Polling", waitMs)
        tryCompare(wdx, "isLocked", true, waitMs)
        tryCompare(wdx, "isHwMode", true, waitMs)
        findAny("main").goTo(2)
        settle()
        var popup = findAny("readOnlyPopup")
        var before = virtualWdx.writes(0x03).length
        click("gainSlider", find("outputStrip0"))
        tryCompare(popup, "shown", true, 1000)
        compare(popup.text, "Device is locked. Unlock to edit settings")
        compare(virtualWdx.writes(0x03).length, before)
        findAny("main").goTo(1)
    }
}
