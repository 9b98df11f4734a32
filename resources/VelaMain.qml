import QtQuick 2.15
import QtQuick.Controls 1.4
import "qml-utils"
import "Views/ApplicationView"
import "Views/Tutorial"

Item {
    id: root
    // Design size; the window scales it by the screen's resolution.
    width: 640 * devicePixelRatio
    height: 480 * devicePixelRatio
    focus: true
    // Every value shown needs its list; they load in the background at start.
    readonly property bool valueListsReady: ValueLists.ready

    Rectangle {
        anchors.fill: parent
        gradient: Gradient {
            GradientStop { position: 0.0; color: Theme.backgroundTop }
            GradientStop { position: 1.0; color: Theme.backgroundBottom }
        }
    }

    StackView {
        id: pageStack
        objectName: "pageStack"
        anchors.fill: parent

        // Slides by the stack's width: a page destroyed after its slide is never read again.
        delegate: StackViewDelegate {
            pushTransition: StackViewTransition {
                PropertyAnimation { target: enterItem; property: "x"; from: pageStack.width; to: 0; duration: 300 * Theme.motion }
                PropertyAnimation { target: exitItem; property: "x"; from: 0; to: -pageStack.width; duration: 300 * Theme.motion }
            }
            popTransition: StackViewTransition {
                PropertyAnimation { target: enterItem; property: "x"; from: -pageStack.width; to: 0; duration: 300 * Theme.motion }
                PropertyAnimation { target: exitItem; property: "x"; from: 0; to: pageStack.width; duration: 300 * Theme.motion }
            }
        }
    }

    Connections {
        target: Navigator
        function onPushRequested(page, properties) { root.pushPage(page, properties) }
        function onPopRequested() { if (pageStack.depth > 1) pageStack.pop() }
        function onBackToMainRequested() {
            pageStack.pop(pageStack.get(0))
            wdx.activeScreen = "main"
        }
        function onTutorialRequested() { tutorial.show("long") }
    }

    // Escape leaves a pushed page the way its own back button does; on the application view it
    // closes a panel or the EQ editor, then returns to the main screen.
    Keys.onEscapePressed: {
        var page = pageStack.currentItem
        if (pageStack.depth > 1 && page && typeof page.back === "function")
            page.back()
        else if (pageStack.depth > 1)
            pageStack.pop()
        else if (page)
            page.stepBack()
    }

    // Hidden developer switch: six clicks in the bottom-right corner of the main screen, each
    // within a second of the one before.
    MouseArea {
        id: developerButton
        objectName: "developerButton"
        property int clicks: 0
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        width: 100 * devicePixelRatio
        height: 100 * devicePixelRatio
        z: 30
        enabled: !wdx.devModeEnabled && pageStack.depth === 1 && wdx.activeScreen === "main"
        onClicked: {
            clicks += 1
            developerTimer.restart()
            if (clicks >= 6) {
                wdx.devModeEnabled = true
                clicks = 0
            }
        }
        Timer {
            id: developerTimer
            interval: 1000
            onTriggered: developerButton.clicks = 0
        }
    }

    StateViews {
        id: stateViews
        objectName: "stateViews"
        pageOnTop: pageStack.currentItem !== null && pageStack.currentItem.coversStateViews === true
        anchors.fill: parent
        z: 40
    }

    TutorialOverlay {
        id: tutorial
        objectName: "tutorial"
        anchors.fill: parent
        z: 60
    }

    Rectangle {
        id: splash
        objectName: "splash"
        anchors.fill: parent
        z: 100
        gradient: Gradient {
            GradientStop { position: 0.0; color: Theme.backgroundTop }
            GradientStop { position: 1.0; color: Theme.backgroundBottom }
        }
        Image {
            anchors.centerIn: parent
            width: 96 * devicePixelRatio
            height: width
            source: "images/ui/vela.svg"
            sourceSize.width: width
            sourceSize.height: height
        }
    }

    Timer {
        interval: 1
        running: true
        onTriggered: {
            pushPage(Qt.resolvedUrl("Views/ApplicationView/ApplicationView.qml"), { objectName: "main" })
            splash.visible = false
            if (isFirstUse)
                tutorial.show("short")
        }
    }

    // The stack would show a document's error as the page itself; it is said as an error instead.
    function pushPage(url, properties) {
        var component = Qt.createComponent(url)
        if (component.status !== Component.Ready) {
            console.error("Cannot open " + url + ": " + component.errorString())
            return
        }
        pageStack.push({ item: component, properties: properties })
    }

    // vela-demo --show: opens a screen, page or popup as a user would reach it.
    function demoShow(what) {
        var view = pageStack.get(0)
        switch (what) {
        case "settings":
            wdx.activeScreen = "settings"
            Navigator.push("Views/Settings/SettingsView.qml")
            return true
        case "pin":
            wdx.activeScreen = "settings"
            Navigator.push("Views/Settings/PinView.qml")
            return true
        case "puk":
            Navigator.push("Views/Settings/RecoveryPinView.qml")
            return true
        case "test":
            wdx.activeScreen = "test"
            Navigator.push("Test/CommunicationTestPage.qml")
            return true
        case "firmware":
            Navigator.push("Views/FirmwareUpdate/FirmwareUpdatePage.qml")
            return true
        case "upload":
            wdx.uploadFirmware()
            return true
        case "tutorial":
            tutorial.show("long")
            return true
        }
        return view ? view.show(what) : false
    }
}
