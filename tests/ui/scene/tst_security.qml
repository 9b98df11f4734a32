import QtQuick 2.15
import QtTest 1.2

// The PIN view against the virtual Wdx's lock, and the recovery code (PUK) path from the
// fatal view to a firmware upload.
SceneTestCase {
    id: testCase
    name: "Security"
    readonly property string pin: "123456"

    function initTestCase() { startScene() }

    function cleanup() {
        var stack = findAny("pageStack")
        if (stack.depth > 1) {
            stack.currentItem.back()
            settle()
        }
    }

    function openPinFromSettings() {
        settle()
        click("settingsButton")
        settle()
        click("lockToggleButton", waitFor("settingsView"))
        settle()
        compare(wdx.activeScreen, "settings")
        return waitFor("pinView")
    }
    function field(page) { return findAny("codeField", page) }
    function typeKeys(keys) {
        for (var i = 0; i < keys.length; ++i)
            keyClick(keys[i])
    }
    // Every visible text of an item and its children.
    function texts(item, out) {
        out = out || []
        if (!item || item.visible === false)
            return out
        if (typeof item.text === "string" && item.text !== "")
            out.push(item.text)
        var kids = item.children || []
        for (var i = 0; i < kids.length; ++i)
            texts(kids[i], out)
        return out
    }

    // The field counts digits with dots: what was typed shows nowhere on the page, neither
    // while typing nor after a wrong entry.
    function test_pinNeverShown() {
        var page = openPinFromSettings()
        click("key7", page)
        click("key3", page)
        click("key9", page)
        keyClick(Qt.Key_5)
        compare(field(page).filled, 4)
        var shown = texts(page)
        for (var i = 0; i < shown.length; ++i) {
            verify(shown[i].indexOf("7395") < 0, "the entry shows in \"" + shown[i] + "\"")
            verify(shown[i].indexOf("739") < 0, "the entry shows in \"" + shown[i] + "\"")
        }
        compare(texts(field(page)).length, 0)
    }

    function test_pinKeyboard_data() {
        return [
            { tag: "digits", keys: [Qt.Key_1, Qt.Key_2, Qt.Key_3], filled: 3 },
            { tag: "six at most", keys: [Qt.Key_1, Qt.Key_2, Qt.Key_3, Qt.Key_4, Qt.Key_5, Qt.Key_6, Qt.Key_7, Qt.Key_8], filled: 6 },
            { tag: "backspace", keys: [Qt.Key_1, Qt.Key_2, Qt.Key_Backspace], filled: 1 },
            { tag: "backspace on empty", keys: [Qt.Key_Backspace, Qt.Key_4], filled: 1 },
            { tag: "delete clears", keys: [Qt.Key_1, Qt.Key_2, Qt.Key_Delete, Qt.Key_3], filled: 1 },
            { tag: "letters ignored", keys: [Qt.Key_A, Qt.Key_1, Qt.Key_Space], filled: 1 },
        ]
    }
    function test_pinKeyboard(data) {
        var page = openPinFromSettings()
        typeKeys(data.keys)
        compare(field(page).filled, data.filled)
    }

    function test_pinKeypad_data() {
        return [
            { tag: "digits", buttons: ["key1", "key0", "key9"], filled: 3 },
            { tag: "backspace", buttons: ["key1", "key2", "keyBackspace"], filled: 1 },
            { tag: "clear", buttons: ["key1", "key2", "key3", "clearButton"], filled: 0 },
            { tag: "clear then digit", buttons: ["key1", "clearButton", "key5"], filled: 1 },
        ]
    }
    function test_pinKeypad(data) {
        var page = openPinFromSettings()
        for (var i = 0; i < data.buttons.length; ++i)
            click(data.buttons[i], page)
        compare(field(page).filled, data.filled)
        compare(find("enterButton", page).enabled, data.filled > 0)
    }

    // Leaving the page, by its back button or by Escape, leaves no digits for the next visit.
    function test_pinEmptiedAfterLeaving_data() {
        return [ { tag: "back button", escape: false }, { tag: "escape", escape: true } ]
    }
    function test_pinEmptiedAfterLeaving(data) {
        var page = openPinFromSettings()
        typeKeys([Qt.Key_1, Qt.Key_2, Qt.Key_3])
        compare(field(page).filled, 3)
        if (data.escape)
            keyClick(Qt.Key_Escape)
        else
            click("backButton", page)
        settle()
        compare(findAny("pageStack").depth, 1)
        compare(wdx.activeScreen, "main")
        page = openPinFromSettings()
        compare(field(page).filled, 0)
    }

    // Lock with the keyboard, refuse a wrong PIN, unlock with the keypad; each step on the
    // virtual Wdx and back on the main screen.
    function test_pinLocksAndUnlocks() {
        verify(!wdx.isLocked)
        var page = openPinFromSettings()
        compare(find("pageTitle", page).text, "Lock device")
        compare(find("pinPrompt", page).text, "Enter PIN")
        for (var i = 0; i < pin.length; ++i)
            keyClick(Qt.Key_0 + Number(pin[i]))
        keyClick(Qt.Key_Return)
        settle()
        compare(findAny("pageStack").depth, 1)
        compare(wdx.activeScreen, "main")
        tryVerify(function() { return virtualWdx.state().locked }, waitMs)
        compare(virtualWdx.state().pin, pin)
        tryCompare(wdx, "isLocked", true, waitMs)

        click("lockButton", find("mainScreen"))
        settle()
        page = waitFor("pinView")
        compare(wdx.activeScreen, "settings")
        compare(find("pageTitle", page).text, "Unlock device")
        typeKeys([Qt.Key_6, Qt.Key_5, Qt.Key_4, Qt.Key_3, Qt.Key_2, Qt.Key_1, Qt.Key_Enter])
        tryCompare(find("pinPrompt", page), "text", "Wrong PIN, retry", waitMs)
        compare(field(page).filled, 0)
        compare(findAny("pageStack").depth, 2)
        verify(virtualWdx.state().locked)

        for (i = 0; i < pin.length; ++i)
            click("key" + pin[i], page)
        click("enterButton", page)
        settle()
        compare(findAny("pageStack").depth, 1)
        compare(wdx.activeScreen, "main")
        verify(!virtualWdx.state().locked)
        tryCompare(wdx, "isLocked", false, waitMs)
    }

    // Replugged with its boot loader stuck, the Wdx asks for its recovery code. A wrong one
    // is refused with the serial number; the right one starts the upload.
    function test_pukFromFatalView() {
        virtualWdx.setWaitForMainInterval(300)
        virtualWdx.setBootLoaderFault(true)
        virtualWdx.unplug()
        tryCompare(wdx, "isConnected", false, waitMs)
        virtualWdx.plug()
        tryCompare(wdx, "state", "LockedOnBoot", waitMs)
        var fatal = waitFor("fatalView")
        click("recoveryButton", fatal)
        settle()
        var page = waitFor("recoveryPinView")
        verify(wdx.serialNumber !== "")
        var suffix = " (SN: " + wdx.serialNumber + ")"
        compare(find("pukPrompt", page).text, "Enter PUK" + suffix)

        var code = virtualWdx.recoveryCode()
        var wrong = (code[0] === "1" ? "2" : "1") + code.substring(1)
        for (var i = 0; i < wrong.length; ++i)
            keyClick(Qt.Key_0 + Number(wrong[i]))
        compare(field(page).filled, wrong.length)
        keyClick(Qt.Key_Return)
        compare(find("pukPrompt", page).text, "Wrong PUK, retry" + suffix)
        compare(field(page).filled, 0)
        compare(wdx.state, "LockedOnBoot")
        var shown = texts(page)
        for (i = 0; i < shown.length; ++i)
            verify(shown[i].indexOf(wrong) < 0, "the entry shows in \"" + shown[i] + "\"")

        // The right one by mouse: the page lies over the fatal view it came from.
        for (i = 0; i < code.length; ++i)
            click("key" + code[i], page)
        click("enterButton", page)
        tryCompare(wdx, "state", "UploadingMainFw", waitMs)
        settle()
        compare(findAny("pageStack").depth, 1)
        virtualWdx.setBootLoaderFault(false)
    }
}
