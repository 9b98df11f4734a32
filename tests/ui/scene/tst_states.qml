import QtQuick 2.15
import QtTest 1.2

// The application's states over whatever page is in front, its popups, the PIN and the
// recovery code (PUK) from the fatal view to a firmware upload.
SceneTestCase {
    name: "States"
    readonly property var views: ["loadingView", "fatalView", "firmwareRequestView", "uploadView"]

    function initTestCase() { startScene() }

    property bool uploadLeftRunning: false

    function cleanup() {
        if (uploadLeftRunning)
            return
        virtualWdx.setSilentStatus(false)
        virtualWdx.setBootLoaderFault(false)
        virtualWdx.setVersions("2.01")
        virtualWdx.setWaitForMainInterval(30000)
        if (wdx.state !== "Polling") {
            replug()
            tryCompare(wdx, "state", "Polling", waitMs)
        }
        virtualWdx.setLocked(false, "")
        tryCompare(wdx, "isLocked", false, waitMs)
        if (!find("pinView"))
            backToMain()
    }

    function codeField(page) { return findAny("codeField", page) }
    function typeDigits(code) {
        for (var i = 0; i < code.length; ++i)
            keyClick(Qt.Key_0 + Number(code[i]))
    }
    function openPin() {
        if (!find("pinView"))
            click("lockToggleButton", openSettings())
        return waitFor("pinView")
    }
    // No visible text of the page holds `code` or its first three digits.
    function verifyNotShown(item, code) {
        if (!item || item.visible === false)
            return
        if (typeof item.text === "string")
            verify(item.text.indexOf(code.substring(0, 3)) < 0, "the entry shows in \"" + item.text + "\"")
        Array.prototype.forEach.call(item.children, function(kid) { verifyNotShown(kid, code) })
    }

    // Each state's view covers the settings page the user was on, and no other view shows.
    function test_stateViews_data() {
        return [
            { tag: "loading", view: "loadingView", state: "CheckStatus",
              prepare: function() { virtualWdx.setSilentStatus(true) } },
            { tag: "locked on boot", view: "fatalView", state: "LockedOnBoot",
              prepare: function() { virtualWdx.setWaitForMainInterval(300); virtualWdx.setBootLoaderFault(true) } },
            { tag: "firmware request", view: "firmwareRequestView", state: "RequireMainFw",
              prepare: function() { virtualWdx.setVersions("1.90") } },
        ]
    }
    function test_stateViews(data) {
        openSettings()
        data.prepare()
        replug()
        tryCompare(wdx, "state", data.state, waitMs)
        settle()
        for (var i = 0; i < views.length; ++i)
            compare(findAny(views[i]).active, views[i] === data.view, views[i])
        verify(find(data.view) !== null, "covered")
        compare(stack.depth, 2)
    }

    // Unplugged, the name says so and the last connection is shown; outputs show no gain.
    function test_offline() {
        virtualWdx.unplug()
        tryCompare(find("deviceName"), "text", "WDX (Offline)", waitMs)
        compare(find("connectionText").text, wdx.lastConnectionTimeString)
        verify(wdx.lastConnectionTimeString !== "")
        compare(find("gainText"), null)
        virtualWdx.plug()
        tryCompare(find("deviceName"), "text", "WDX-T-N 004217", waitMs)
        tryCompare(find("connectionText"), "text", "Connected", waitMs)
    }

    // A newer version shows the popup; the one the user set aside does not come back.
    function test_newVersionPopup() {
        var popup = findAny("newVersionPopup")
        virtualWdx.setOnlineVersion("9.9.1")
        compare([popup.shown, popup.text], [true, "Vela 9.9.1 available"])
        click("discardButton", popup)
        compare(popup.shown, false)
        virtualWdx.setOnlineVersion("")
        virtualWdx.setOnlineVersion("9.9.1")
        compare(popup.shown, false, "the discarded version came back")
        virtualWdx.setOnlineVersion("9.9.2")
        compare(popup.shown, true)
        popup.hide()
    }

    // Locked and in hardware mode at once: locked is said, and nothing is written.
    function test_lockedBeforeHardwareMode() {
        virtualWdx.setLocked(true, "1234")
        virtualWdx.setHwMode(true)
        tryCompare(wdx, "readOnlyMessage", lockedText, waitMs)
        verify(wdx.isHwMode)
        compare(find("connectionText").text, "Locked")
        goTo(2)
        virtualWdx.clearLogs()
        click("gainSlider", find("outputStrip0"))
        compare([findAny("readOnlyPopup").shown, findAny("readOnlyPopup").text], [true, lockedText])
        flush()
        compare(virtualWdx.writes(-1).length, 0)
        findAny("readOnlyPopup").hide()
        virtualWdx.setHwMode(false)
    }

    // Typed by keys or the pad, the entry shows as dots only and holds 6 digits at most; Clear
    // and leaving the page empty it.
    function test_pinEntry_data() {
        return [
            { tag: "keys", keys: [Qt.Key_7, Qt.Key_3, Qt.Key_9, Qt.Key_5], filled: 4 },
            { tag: "six at most", keys: [Qt.Key_7, Qt.Key_3, Qt.Key_9, Qt.Key_5, Qt.Key_1, Qt.Key_2, Qt.Key_4], filled: 6 },
            { tag: "letters ignored", keys: [Qt.Key_A, Qt.Key_7, Qt.Key_Space], filled: 1 },
            { tag: "backspace", keys: [Qt.Key_7, Qt.Key_3, Qt.Key_Backspace], filled: 1 },
            { tag: "pad", pad: ["key7", "key3", "key9"], filled: 3 },
            { tag: "pad backspace", pad: ["key7", "key3", "keyBackspace"], filled: 1 },
            { tag: "pad clear", pad: ["key7", "key3", "clearButton"], filled: 0 },
            { tag: "leaving by Escape", keys: [Qt.Key_7, Qt.Key_3], filled: 2, leave: function() { keyClick(Qt.Key_Escape) } },
            { tag: "leaving by the back button", pad: ["key7"], filled: 1, leave: function() { click("backButton", find("pinView")) } },
        ]
    }
    function test_pinEntry(data) {
        var page = openPin()
        findAny("pinPad").clear()
        for (var i = 0; data.keys && i < data.keys.length; ++i)
            keyClick(data.keys[i])
        for (i = 0; data.pad && i < data.pad.length; ++i)
            click(data.pad[i], page)
        compare(codeField(page).filled, data.filled)
        compare(find("enterButton", page).enabled, data.filled > 0)
        verifyNotShown(page, "739")
        if (data.leave) {
            data.leave()
            settle()
            compare(stack.depth, 1)
            compare(codeField(openPin()).filled, 0, "the entry stays for the next visit")
        }
    }

    // Lock with the keys, refuse a wrong PIN, unlock with the pad; each on the device.
    function test_pinLocksAndUnlocks() {
        var page = openPin()
        compare([find("pageTitle", page).text, find("pinPrompt", page).text], ["Lock device", "Enter PIN"])
        typeDigits("123456")
        keyClick(Qt.Key_Return)
        settle()
        compare([stack.depth, wdx.activeScreen, device().pin, device().locked], [1, "main", "123456", true])
        tryCompare(wdx, "isLocked", true, waitMs)

        screens = []
        click("lockButton", find("mainScreen"))
        page = waitFor("pinView")
        compare(screens, ["settings"])
        compare(find("pageTitle", page).text, "Unlock device")
        typeDigits("654321")
        keyClick(Qt.Key_Enter)
        tryCompare(find("pinPrompt", page), "text", "Wrong PIN, retry", waitMs)
        compare([codeField(page).filled, device().locked], [0, true])
        verifyNotShown(page, "654321")
        for (var i = 0; i < 6; ++i)
            click("key" + "123456"[i], page)
        click("enterButton", page)
        settle()
        compare([stack.depth, device().locked], [1, false])
        compare(screens, ["settings", "main"])
        tryCompare(wdx, "isLocked", false, waitMs)
    }

    // Last in the document: the recovery code from the fatal view starts the upload, which
    // cures the stuck boot loader; then the firmware request's button starts another, left
    // running.
    function test_upload() {
        virtualWdx.setWaitForMainInterval(300)
        virtualWdx.setBootLoaderFault(true)
        replug()
        tryCompare(wdx, "state", "LockedOnBoot", waitMs)
        virtualWdx.setWaitForMainInterval(30000)
        click("recoveryButton", waitFor("fatalView"))
        var page = waitFor("recoveryPinView")
        var suffix = " (SN: 004217)"
        compare(find("pukPrompt", page).text, "Enter PUK" + suffix)
        var code = virtualWdx.recoveryCode()
        var wrong = (code[0] === "1" ? "2" : "1") + code.substring(1)
        typeDigits(wrong)
        keyClick(Qt.Key_Return)
        compare([find("pukPrompt", page).text, codeField(page).filled, wdx.state], ["Wrong PUK, retry" + suffix, 0, "LockedOnBoot"])
        verifyNotShown(page, wrong)

        // The right one by the pad: the page lies over the fatal view it came from.
        for (var i = 0; i < code.length; ++i)
            click("key" + code[i], page)
        click("enterButton", page)
        tryVerify(function() { return findAny("uploadView").active }, waitMs)
        compare(stack.depth, 1)
        tryVerify(function() { return findAny("uploadProgress").value > 0 }, waitMs)
        compare(findAny("uploadMessage").text, firmwareUpdater.displayMessage)
        verify(firmwareUpdater.displayMessage !== "")
        tryCompare(wdx, "state", "Polling", 120000)
        verify(!findAny("uploadView").active)
        compare(virtualWdx.state().mainVersion, firmwareDb.mainFwVersion)

        virtualWdx.setVersions("1.90")
        replug()
        tryCompare(wdx, "state", "RequireMainFw", waitMs)
        click("updateWdxButton", waitFor("firmwareRequestView"))
        tryVerify(function() { return findAny("uploadView").active }, waitMs)
        verify(!findAny("firmwareRequestView").active)
        uploadLeftRunning = true
    }
}
