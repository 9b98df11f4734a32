import QtQuick 2.15
import "../../qml-utils"
import "../../Controls"
import "../../Buttons"

// The outputs side by side (gain, delay, source, link, loudspeaker, compressor), with the link
// mode and the delay unit for all of them. The compressor and speaker-and-mode panels open
// over the screen; the speaker picker is a page of its own.
Item {
    id: outputScreen
    signal back()

    readonly property var outputs: wdx.outputList()
    // The unit is set on every output at once; the first one tells it.
    readonly property var firstOutput: wdx.getOutput(0)
    property int panelOutput: 0
    // "", "compressor" or "speaker".
    property string openPanel: ""

    function openSpeakerPanel(outputIndex) {
        panelOutput = outputIndex
        openPanel = "speaker"
        wdx.activeScreen = "speakerAndMode"
    }
    function openCompressorPanel(outputIndex) {
        panelOutput = outputIndex
        openPanel = "compressor"
        wdx.activeScreen = "compressor"
    }
    function openSpeakerPicker(outputIndex) {
        if (openPanel !== "speaker" || panelOutput !== outputIndex)
            openSpeakerPanel(outputIndex)
        wdx.activeScreen = "speaker"
        Navigator.push("Views/Output/SpeakerPicker.qml", { outputIndex: outputIndex })
    }
    function closePanel() {
        openPanel = ""
        wdx.activeScreen = "output"
    }
    // Nothing is polled for the screen while its panels close.
    function resetPanels() {
        wdx.activeScreen = "invalid"
        openPanel = ""
    }
    function leave() {
        resetPanels()
        back()
    }
    // Escape: an open panel first, then the screen.
    function stepBack() {
        if (openPanel !== "")
            closePanel()
        else
            leave()
    }

    // Left some other way (a swipe cannot, but the application view can move): a panel left
    // open would greet the user on the next visit.
    ListView.onIsCurrentItemChanged: if (!ListView.isCurrentItem) openPanel = ""

    PageHeader {
        id: header
        objectName: "outputHeader"
        title: "Outputs"
        onBack: outputScreen.leave()

        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: "Link"
            color: Theme.textDim
            font.family: applicationFont
            font.pixelSize: Theme.fontSmall * devicePixelRatio
        }
        // How linked outputs follow: by the same step, or to the same value.
        SegmentedChoice {
            objectName: "linkModeChoice"
            namePrefix: "linkMode"
            anchors.verticalCenter: parent.verticalCenter
            segmentWidth: 64 * devicePixelRatio
            labels: ["Relative", "Absolute"]
            current: wdx.isAbsoluteLink ? 1 : 0
            onPicked: function(value) { wdx.isAbsoluteLink = value === 1 }
        }
        Item { width: Theme.spacing * devicePixelRatio; height: 1 }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: "Delay in"
            color: Theme.textDim
            font.family: applicationFont
            font.pixelSize: Theme.fontSmall * devicePixelRatio
        }
        SegmentedChoice {
            objectName: "unitChoice"
            namePrefix: "unit"
            anchors.verticalCenter: parent.verticalCenter
            segmentWidth: 34 * devicePixelRatio
            labels: ValueLists.delayUnits
            current: outputScreen.firstOutput ? outputScreen.firstOutput.delayUnitOfMeasureIndex : 0
            onPicked: function(value) { outputScreen.outputs.setUnitOfMeasure(value) }
        }
    }

    Row {
        id: strips
        anchors.top: header.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: Theme.margin * devicePixelRatio
        anchors.topMargin: 0
        spacing: Theme.spacing * devicePixelRatio
        Repeater {
            model: 3
            delegate: OutputStrip {
                outputIndex: index
                width: (strips.width - 2 * strips.spacing) / 3
                height: strips.height
                onOpenSpeaker: outputScreen.openSpeakerPanel(outputIndex)
                onOpenCompressor: outputScreen.openCompressorPanel(outputIndex)
            }
        }
    }

    CompressorPanel {
        objectName: "compressorPanel"
        anchors.fill: parent
        visible: outputScreen.openPanel === "compressor"
        outputIndex: outputScreen.panelOutput
        onClose: outputScreen.closePanel()
    }
    SpeakerPanel {
        objectName: "speakerPanel"
        anchors.fill: parent
        visible: outputScreen.openPanel === "speaker"
        outputIndex: outputScreen.panelOutput
        onClose: outputScreen.closePanel()
        onChangeSpeaker: outputScreen.openSpeakerPicker(outputIndex)
    }
}
