import QtQuick 2.15
import "../../qml-utils"
import "../../Buttons"

// A few cards over the darkened scene that explain where things are. The short form runs at
// the first start, the long one from the settings. Escape or Done hides it.
Item {
    id: tutorial
    property string kind: "short"
    property int step: 0
    property bool shown: false
    readonly property var steps: kind === "long" ? longSteps : shortSteps
    readonly property bool lastStep: step >= steps.length - 1

    readonly property var mainStep: ({
        title: "Your WDX at a glance",
        text: "The main screen shows the device and its outputs: the loudspeaker, the gain and a live level meter. The meter turns orange while the output's compressor is working.",
        image: "../../images/pages/tutorial_main.svg"
    })
    readonly property var pagesStep: ({
        title: "Three pages",
        text: "The input patch lies above the main screen, the output settings below. Swipe or use the buttons at the bottom; from those pages the back button brings you home.",
        image: "../../images/pages/tutorial_pages.svg"
    })
    readonly property var speakerStep: ({
        title: "Loudspeakers",
        text: "Click an output's loudspeaker to choose the loudspeaker that output drives, its mode and its variant.",
        image: "../../images/pages/tutorial_speaker.svg"
    })
    readonly property var lockStep: ({
        title: "Lock",
        text: "In the settings you can lock the device with a PIN of up to 6 digits. A locked device shows its settings but refuses changes until it is unlocked.",
        image: "../../images/pages/tutorial_lock.svg"
    })
    readonly property var eqStep: ({
        title: "Equalisers",
        text: "On the input patch page, open a channel's EQ: drag a band's handle to set its frequency and gain, and turn the mouse wheel over it to change its Q.",
        image: "../../images/pages/tutorial_pages.svg"
    })
    readonly property var keyboardStep: ({
        title: "Keyboard",
        text: "Escape leaves a page, the arrow keys move a focused slider, and digits, Backspace and Enter type a PIN.",
        image: "../../images/pages/tutorial_main.svg"
    })
    readonly property var shortSteps: [mainStep, pagesStep, speakerStep, lockStep]
    readonly property var longSteps: [mainStep, pagesStep, eqStep, speakerStep, lockStep, keyboardStep]

    function show(newKind) {
        kind = newKind === "long" ? "long" : "short"
        step = 0
        shown = true
        forceActiveFocus()
    }
    function hide() {
        if (!shown)
            return
        shown = false
        focus = false
        if (parent)
            parent.forceActiveFocus()
    }
    function next() {
        if (lastStep)
            hide()
        else
            step += 1
    }
    function previous() {
        if (step > 0)
            step -= 1
    }

    visible: opacity > 0
    opacity: shown ? 1 : 0
    Behavior on opacity { NumberAnimation { duration: 200 * Theme.motion } }

    Keys.onEscapePressed: hide()
    Keys.onRightPressed: next()
    Keys.onReturnPressed: next()
    Keys.onEnterPressed: next()
    Keys.onLeftPressed: previous()

    Rectangle {
        anchors.fill: parent
        color: "#cc0d1a21"
    }
    // The scene underneath takes no clicks or wheel turns while the tutorial shows.
    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        onWheel: wheel.accepted = true
    }

    Rectangle {
        id: card
        objectName: "tutorialCard"
        anchors.centerIn: parent
        width: Math.min(parent.width - 4 * Theme.margin * devicePixelRatio, 440 * devicePixelRatio)
        height: cardColumn.height
        radius: 2 * Theme.radius * devicePixelRatio
        color: Theme.panel
        border.color: Theme.line
        border.width: Math.max(1, devicePixelRatio)

        Column {
            id: cardColumn
            width: parent.width
            padding: 2 * Theme.margin * devicePixelRatio
            spacing: Theme.margin * devicePixelRatio
            readonly property real innerWidth: width - 2 * padding

            Image {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 88 * devicePixelRatio
                height: width
                source: tutorial.steps[tutorial.step].image
                sourceSize.width: width
                sourceSize.height: height
            }
            Text {
                objectName: "tutorialTitle"
                width: cardColumn.innerWidth
                horizontalAlignment: Text.AlignHCenter
                text: tutorial.steps[tutorial.step].title
                color: Theme.text
                font.family: applicationFont
                font.pixelSize: Theme.fontTitle * devicePixelRatio
                font.bold: true
            }
            Text {
                objectName: "tutorialText"
                width: cardColumn.innerWidth
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: tutorial.steps[tutorial.step].text
                color: Theme.textDim
                font.family: applicationFont
                font.pixelSize: Theme.fontNormal * devicePixelRatio
                lineHeight: 1.15
            }
            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 6 * devicePixelRatio
                Repeater {
                    model: tutorial.steps.length
                    Rectangle {
                        width: 8 * devicePixelRatio
                        height: width
                        radius: width / 2
                        color: index === tutorial.step ? Theme.accent : Theme.line
                    }
                }
            }
            Item {
                width: cardColumn.innerWidth
                height: nextButton.height
                VelaButton {
                    objectName: "tutorialSkipButton"
                    anchors.left: parent.left
                    visible: !tutorial.lastStep
                    text: "Skip"
                    activeFocusOnTab: false
                    onClicked: tutorial.hide()
                }
                Row {
                    anchors.right: parent.right
                    spacing: Theme.spacing * devicePixelRatio
                    VelaButton {
                        objectName: "tutorialPreviousButton"
                        visible: tutorial.step > 0
                        text: "Previous"
                        activeFocusOnTab: false
                        onClicked: tutorial.previous()
                    }
                    VelaButton {
                        id: nextButton
                        objectName: "tutorialNextButton"
                        text: tutorial.lastStep ? "Done" : "Next"
                        highlighted: true
                        activeFocusOnTab: false
                        onClicked: tutorial.next()
                    }
                }
            }
        }
    }
}
