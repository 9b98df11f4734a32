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
        tryVerify(function() { return find("main") !== null }, waitMs)
        waitForRendering(scene)
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
    function search(item, name, all) {
        if (!item)
            return null
        if (item.objectName === name && (all || item.visible))
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
    function waitFor(name) {
        tryVerify(function() { return find(name) !== null }, waitMs, "no visible item " + name)
        return find(name)
    }
    // Clicks the middle of a visible item found by name (waits for it first).
    function click(name, from) {
        var item = from ? find(name, from) : waitFor(name)
        verify(item, "no item " + name)
        mouseClick(item)
        return item
    }
    // Lets animations (300 ms slides, 200 ms fades) finish.
    function settle() { wait(450) }
}
