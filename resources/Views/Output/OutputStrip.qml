import QtQuick 2.15
import "../../qml-utils"
import "../../Controls"
import "../../Buttons"
import "OutputHelper.js" as Output

// One output on the output screen: its loudspeaker, gain (and the front panel's), delay,
// source, link and compressor. Edits go through the output list, which applies the link.
Rectangle {
    id: strip
    property int outputIndex: 0
    readonly property var output: wdx.getOutput(outputIndex)
    readonly property var outputs: wdx.outputList()
    readonly property int unitIndex: output ? output.delayUnitOfMeasureIndex : 0
    signal openSpeaker()
    signal openCompressor()

    objectName: "outputStrip" + outputIndex
    radius: Theme.radius * devicePixelRatio
    color: Theme.panel
    border.color: output && output.isLinked ? Theme.accentDim : Theme.line
    border.width: Math.max(1, devicePixelRatio / 2)

    Column {
        id: body
        anchors.fill: parent
        anchors.margins: Theme.spacing * devicePixelRatio
        // Spread over the strip's height, within reason.
        spacing: {
            var used = 0, shown = 0
            for (var i = 0; i < children.length; ++i) {
                if (children[i].visible) {
                    used += children[i].height
                    shown += 1
                }
            }
            var spread = shown > 1 ? (height - used) / (shown - 1) : 0
            return Math.max(Theme.spacing * devicePixelRatio, Math.min(22 * devicePixelRatio, spread))
        }

        Item {
            width: parent.width
            height: linkButton.height
            Text {
                objectName: "outputName"
                anchors.left: parent.left
                anchors.right: linkButton.left
                anchors.verticalCenter: parent.verticalCenter
                elide: Text.ElideRight
                text: strip.output ? strip.output.name : ""
                color: Theme.text
                font.family: applicationFont
                font.pixelSize: Theme.fontNormal * devicePixelRatio
                font.bold: true
            }
            // Link is the application's own grouping, not a device setting: no guard.
            VelaButton {
                id: linkButton
                objectName: "linkButton"
                anchors.right: parent.right
                implicitWidth: 72 * devicePixelRatio
                height: 26 * devicePixelRatio
                fontSize: Theme.fontSmall
                iconSource: checked ? "../../images/output/link.svg" : "../../images/output/unlink.svg"
                text: checked ? "Linked" : "Link"
                checked: strip.output ? strip.output.isLinked : false
                onClicked: strip.outputs.setIsLinked(strip.outputIndex, !checked)
            }
        }

        // The loudspeaker: a click opens its speaker-and-mode panel.
        Rectangle {
            id: speakerButton
            objectName: "speakerButton"
            readonly property string presetId: strip.output ? strip.output.speakerId : ""
            readonly property bool known: Output.hasSpeaker(presetId) && speakerDb.getCabinetName(presetId) !== ""
            width: parent.width
            height: 52 * devicePixelRatio
            radius: Theme.radius * devicePixelRatio
            color: speakerMouse.pressed ? Theme.accentDim : speakerMouse.containsMouse ? Theme.panelRaised : "transparent"
            border.width: Math.max(1, devicePixelRatio / 2)
            border.color: Theme.line
            Image {
                id: cabinetIcon
                anchors.left: parent.left
                anchors.leftMargin: 4 * devicePixelRatio
                anchors.verticalCenter: parent.verticalCenter
                width: 44 * devicePixelRatio
                height: width
                source: speakerDb.getCabinetImage(speakerButton.presetId)
                sourceSize.width: width
                sourceSize.height: height
            }
            Column {
                anchors.left: cabinetIcon.right
                anchors.right: parent.right
                anchors.leftMargin: 4 * devicePixelRatio
                anchors.rightMargin: 4 * devicePixelRatio
                anchors.verticalCenter: parent.verticalCenter
                Text {
                    objectName: "speakerName"
                    width: parent.width
                    elide: Text.ElideRight
                    text: speakerButton.known ? speakerDb.getCabinetName(speakerButton.presetId) : "No loudspeaker"
                    color: Theme.text
                    font.family: applicationFont
                    font.pixelSize: Theme.fontNormal * devicePixelRatio
                    font.bold: true
                }
                Text {
                    objectName: "speakerMode"
                    width: parent.width
                    elide: Text.ElideRight
                    visible: speakerButton.known
                    text: speakerDb.getCabinetModeName(speakerButton.presetId) + " · "
                          + speakerDb.getCabinetVariantName(speakerButton.presetId, strip.output ? strip.output.speakerVariant : 0)
                    color: Theme.textDim
                    font.family: applicationFont
                    font.pixelSize: Theme.fontSmall * devicePixelRatio
                }
            }
            MouseArea {
                id: speakerMouse
                anchors.fill: parent
                hoverEnabled: true
                cursorShape: Qt.PointingHandCursor
                onClicked: strip.openSpeaker()
            }
        }

        Column {
            width: parent.width
            spacing: 2 * devicePixelRatio
            ValueSlider {
                id: gainSlider
                objectName: "gainSlider"
                width: parent.width
                label: "Gain"
                list: ValueLists.gain
                unit: "dB"
                decimals: 1
                showSign: true
                deviceValue: strip.output ? strip.output.gain : 0
                onEditingChanged: strip.output.setIsEditingGain(editing)
                onEdited: function(value) { strip.outputs.setGain(strip.outputIndex, value) }
            }
            // Set with the knob on the device; shown so the total gain is not a surprise.
            Text {
                objectName: "frontPanelGain"
                visible: Output.hasFrontPanelGain(wdx.deviceType)
                width: parent.width
                elide: Text.ElideRight
                text: "Front panel " + Output.valueText(ValueLists.gain, strip.output ? strip.output.frontPanelGain : 0, 1, "dB", true)
                color: Theme.textDim
                font.family: applicationFont
                font.pixelSize: Theme.fontSmall * devicePixelRatio
            }
        }

        Item {
            width: parent.width
            height: delaySlider.height
            ValueSlider {
                id: delaySlider
                objectName: "delaySlider"
                anchors.left: parent.left
                anchors.right: delayDown.left
                anchors.rightMargin: 2 * devicePixelRatio
                label: "Delay"
                list: ValueLists.delay(strip.unitIndex)
                unit: ValueLists.delayUnits[strip.unitIndex]
                decimals: 2
                deviceValue: strip.output ? strip.output.delay : 0
                onEditingChanged: strip.output.setIsEditingDelay(editing)
                onEdited: function(value) { strip.outputs.setDelay(strip.outputIndex, value) }
            }
            // The delay list has 2281 rows: these step one at a time.
            IconButton {
                id: delayDown
                objectName: "delayDown"
                anchors.right: delayUp.left
                anchors.bottom: parent.bottom
                size: 26
                source: "../../images/ui/down.svg"
                text: "Less delay"
                onClicked: delaySlider.step(-1)
            }
            IconButton {
                id: delayUp
                objectName: "delayUp"
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                size: 26
                source: "../../images/ui/up.svg"
                text: "More delay"
                onClicked: delaySlider.step(1)
            }
        }

        Column {
            width: parent.width
            spacing: 2 * devicePixelRatio
            Text {
                text: "Source"
                color: Theme.textDim
                font.family: applicationFont
                font.pixelSize: Theme.fontSmall * devicePixelRatio
            }
            SegmentedChoice {
                id: patchChoice
                objectName: "patchChoice"
                namePrefix: "patch"
                width: parent.width
                labels: ["L", "R", "L+R"]
                icons: ["../../images/output/patchL.svg", "../../images/output/patchR.svg", "../../images/output/patchBoth.svg"]
                current: strip.output ? strip.output.patch : -1
                onHeldChanged: strip.output.setIsEditingPatch(held)
                onPicked: function(value) {
                    if (EditGuard.canEdit())
                        strip.output.patch = value
                }
            }
        }

        VelaButton {
            id: compressorButton
            objectName: "compressorButton"
            width: parent.width
            iconSource: "../../images/output/compressor.svg"
            text: "Compressor " + (strip.output && strip.output.isCustomCompressionEnabled ? "on" : "off")
            highlighted: strip.output ? strip.output.isCustomCompressionEnabled : false
            onClicked: strip.openCompressor()
        }

        LevelMeter {
            objectName: "outputMeter"
            width: parent.width
            height: 10 * devicePixelRatio
            horizontal: true
            value: strip.output ? strip.output.outputLevel : 0
            overlay: strip.output ? strip.output.compressionLevel : 0
        }
    }
}
