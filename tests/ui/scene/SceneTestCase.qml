import QtQuick 2.15
import QtTest 1.2

// The rig of every scene document: the real scene in a 640 x 480 window on a device side that
// walks to polling with the virtual Wdx. Helpers find items by objectName anywhere in it.
TestCase {
    id: sceneCase
    when: windowShown
    // A TestCase is hidden by default; mouse events reach only visible items.
    visible: true
    width: 640
    height: 480
    property alias scene: loader.item
    readonly property int waitMs: 40000

    Loader {
        id: loader
        width: 640
        height: 480
        source: sceneRoot + "VelaMain.qml"
    }

    // Call from initTestCase: the warning guard first, then a connected, polling device.
    function startScene() {
        warningGuard.install()
        tryVerify(function() { return loader.status === Loader.Ready }, waitMs)
        tryCompare(wdx, "state", "Polling", waitMs)
        // Slow under the thread sanitizer: three models of the 2281-row delay list among them.
        tryVerify(function() { return scene.valueListsReady }, 3 * waitMs, "value lists not loaded")
        tryVerify(function() { return findAny("main") !== null }, waitMs)
        waitForRendering(scene)
        // The "Loading, please wait" view fades out and takes clicks until it has gone.
        settle()
    }

    // The first visible item with this objectName, searched through visual children and
    // delegates. null when there is none.
    function find(name, from) {
        return search(from || scene, name, false)
    }
    // As find(), but items that are not visible count too.
    function findAny(name, from) {
        return search(from || scene, name, true)
    }
    // Visible means on the window too: the pages of the application view that are scrolled away
    // stay visible items.
    function onWindow(item) {
        var p = item.mapToItem(null, item.width / 2, item.height / 2)
        return p.x >= 0 && p.y >= 0 && p.x < sceneCase.width && p.y < sceneCase.height
    }
    function search(item, name, all) {
        if (!item)
            return null
        if (item.objectName === name && (all || (item.visible && onWindow(item))))
            return item
        if (!all && item.visible === false)
            return null
        var kids = item.children || []
        for (var i = 0; i < kids.length; ++i) {
            var hit = search(kids[i], name, all)
            if (hit)
                return hit
        }
        if (item.contentItem && item.contentItem !== item) {
            hit = search(item.contentItem, name, all)
            if (hit)
                return hit
        }
        return null
    }
    function waitFor(name, from) {
        tryVerify(function() { return find(name, from) !== null }, waitMs, "no visible item " + name)
        return find(name, from)
    }
    // Clicks the middle of a visible item found by name (waits for it first, and for a fade it
    // is part of to end: an item fading in does not take the click yet).
    function click(name, from) {
        var item = waitFor(name, from)
        verify(item, "no item " + name)
        waitStill(item)
        mouseClick(item)
        return item
    }
    function effectiveOpacity(item) {
        var o = 1
        for (var p = item; p; p = p.parent)
            o *= p.opacity
        return o
    }
    function waitStill(item) {
        var last = -1
        for (var i = 0; i < 20; ++i) {
            var o = effectiveOpacity(item)
            if (o === last)
                return
            last = o
            wait(50)
        }
    }
    // Lets animations (300 ms slides, 200 ms fades) finish.
    function settle() { wait(450) }
}
