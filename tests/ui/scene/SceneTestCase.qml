import QtQuick 2.15
import QtTest 1.2

// The rig of every scene document: the real scene in a 640 x 480 window on a device side that
// walks to polling with the virtual Wdx. Helpers find items by objectName anywhere in it and
// wait for conditions, never for fixed times, except where a rule is about time.
TestCase {
    id: sceneCase
    when: windowShown
    // A TestCase is hidden by default; mouse events reach only visible items.
    visible: true
    width: 640
    height: 480
    property alias scene: loader.item
    readonly property int waitMs: 40000
    readonly property string lockedText: "Device is locked. Unlock to edit settings"
    readonly property string hwModeText: "Device in hardware mode. Please put mode switch in USER position to edit"
    property Item stack
    property Item pages
    // The state views, the popups and the tutorial: each fades.
    property var faders: []
    // Every screen name the scene reported, oldest first.
    property var screens: []
    Connections { target: wdx; function onActiveScreenChanged() { sceneCase.screens.push(wdx.activeScreen) } }
    Loader { id: loader; width: 640; height: 480; source: sceneRoot + "VelaMain.qml" }

    // Call from initTestCase: the warning guard first, then a connected, polling device.
    function startScene() {
        warningGuard.install()
        tryVerify(function() { return loader.status === Loader.Ready }, waitMs)
        tryCompare(wdx, "state", "Polling", waitMs)
        // Slow under the thread sanitizer: three models of the 2281-row delay list among them.
        tryVerify(function() { return scene.valueListsReady }, 3 * waitMs, "value lists not loaded")
        stack = findAny("pageStack")
        pages = findAny("pages")
        faders = Array.prototype.slice.call(findAny("stateViews").children).concat([findAny("tutorial")])
        settle()
    }

    // The first visible item (on the window too: the scrolled-away pages stay visible items)
    // with this objectName, searched through children and delegates; null when none.
    function find(name, from) { return search(from || scene, name, false) }
    // As find(), but items that are not visible count too.
    function findAny(name, from) { return search(from || scene, name, true) }
    function search(item, name, all) {
        if (!item || (!all && item.visible === false))
            return null
        if (item.objectName === name) {
            var p = item.mapToItem(null, item.width / 2, item.height / 2)
            if (all || (p.x >= 0 && p.y >= 0 && p.x < width && p.y < height))
                return item
        }
        var kids = item.children || []
        for (var i = 0; i < kids.length; ++i) {
            var hit = search(kids[i], name, all)
            if (hit)
                return hit
        }
        return item.contentItem && item.contentItem !== item ? search(item.contentItem, name, all) : null
    }
    function waitFor(name, from) {
        settle()
        tryVerify(function() { return find(name, from) !== null }, waitMs, "no visible item " + name)
        return find(name, from)
    }
    // Clicks the middle of a visible item once nothing slides or fades any more and the
    // positioners above it have placed it.
    function click(name, from) {
        var item = waitFor(name, from)
        for (var p = item; p; p = p.parent)
            if (isPolishScheduled(p))
                waitForItemPolished(p, waitMs)
        mouseClick(item)
        return item
    }
    // Until no page slides and no state view, popup or the tutorial fades.
    function settle() {
        tryVerify(function() {
            if (stack.busy || pages.moving || Math.abs(pages.contentY - pages.currentItem.y) > 0.5)
                return false
            return faders.every(function(f) { return f.opacity === ((f.active !== undefined ? f.active : f.shown) ? 1 : 0) })
        }, waitMs, "the scene does not come to rest")
    }
    function goTo(index) { findAny("main").goTo(index); settle() }
    function openSettings() { goTo(1); click("settingsButton"); return waitFor("settingsView") }
    // Pops every pushed page.
    function backToMain() {
        if (stack.depth > 1)
            stack.currentItem.back()
        goTo(1)
    }
    function replug() { virtualWdx.unplug(); tryCompare(wdx, "isConnected", false, waitMs); virtualWdx.plug() }
    // Two reads of the polling reach the device after this call: a write posted before it, at
    // a higher priority, would have been sent first.
    function flush() {
        var n = virtualWdx.readCount()
        tryVerify(function() { return virtualWdx.readCount() >= n + 2 }, waitMs, "no polling")
    }
    function device() { return virtualWdx.state() }
    function waitDevice(check, what) { tryVerify(function() { return check(device()) }, waitMs, what) }
    function lastWrite(op, sub) {
        var frames = virtualWdx.writes(op, sub)
        return frames[frames.length - 1]
    }
}
