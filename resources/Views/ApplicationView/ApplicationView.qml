import QtQuick 2.15
import QtQml.Models 2.15
import "../../qml-utils"
import "../../Controls"
import "../Main"
import "../Input"
import "../Output"

// The first page: input patch (0), main (1) and output (2) screens in a vertical list that
// snaps one page at a time. Swiping is allowed only from the main screen: once a movement
// ends elsewhere, the user leaves with that screen's back button.
Item {
    id: applicationView
    property alias currentIndex: pages.currentIndex
    readonly property bool swipeEnabled: pages.interactive

    Component.onCompleted: wdx.activeScreen = "main"

    function goTo(index) {
        pages.currentIndex = index
        pages.interactive = index === 1
    }
    // Escape on the input or output screen steps back towards the main screen.
    function stepBack() {
        if (pages.currentIndex === 0)
            inputScreen.stepBack()
        else if (pages.currentIndex === 2)
            outputScreen.stepBack()
    }
    function openSpeakerPanel(outputIndex) {
        goTo(2)
        outputScreen.openSpeakerPanel(outputIndex)
    }
    // For the demo's --show: the views a user reaches from here.
    function show(what) {
        switch (what) {
        case "input": goTo(0); return true
        case "main": goTo(1); return true
        case "output": goTo(2); return true
        case "eq": goTo(0); inputScreen.openEqEditor(0); return true
        case "compressor": goTo(2); outputScreen.openCompressorPanel(0); return true
        case "speaker": openSpeakerPanel(0); outputScreen.openSpeakerPicker(0); return true
        }
        return false
    }

    ListView {
        id: pages
        objectName: "pages"
        anchors.fill: parent
        orientation: ListView.Vertical
        snapMode: ListView.SnapOneItem
        highlightRangeMode: ListView.StrictlyEnforceRange
        preferredHighlightBegin: 0
        preferredHighlightEnd: height
        highlightMoveDuration: 300 * Theme.motion
        boundsBehavior: Flickable.StopAtBounds
        clip: true
        currentIndex: 1
        cacheBuffer: height * 3

        onCurrentIndexChanged: {
            wdx.activeScreen = ["input", "main", "output"][currentIndex]
            if (currentIndex === 1)
                interactive = true
        }
        onMovementEnded: interactive = currentIndex === 1

        model: ObjectModel {
            InputPatchScreen {
                id: inputScreen
                objectName: "inputScreen"
                width: pages.width
                height: pages.height
                onBack: applicationView.goTo(1)
            }
            MainScreen {
                id: mainScreen
                objectName: "mainScreen"
                width: pages.width
                height: pages.height
                onOpenInput: applicationView.goTo(0)
                onOpenOutput: applicationView.goTo(2)
                onOpenSpeaker: applicationView.openSpeakerPanel(outputIndex)
            }
            OutputScreen {
                id: outputScreen
                objectName: "outputScreen"
                width: pages.width
                height: pages.height
                onBack: applicationView.goTo(1)
            }
        }
        Component.onCompleted: positionViewAtIndex(1, ListView.Beginning)
    }
}
