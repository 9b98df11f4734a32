import QtQuick 2.15
import "../../qml-utils"
import "../../Controls"
import "../../javascript/RVEQBiquadFilter.js" as Eq
import "EqEditorHelper.js" as Helper

// The selected band: its type and its frequency, gain and Q sliders over the value lists.
Item {
    id: panel
    property int channel: 0
    property QtObject eq: null
    readonly property QtObject preProc: wdx.preProcList()
    readonly property QtObject band: eq && eq.selectedBandId >= 0 ? eq.bandAt(eq.selectedBandId) : null
    readonly property bool hasGain: band !== null && Eq.rvEQTypeHasGain(band.bandType)
    // The EQ flag of the channel(s) while a slider is held.
    signal heldChanged(bool held)

    function displayValue(list, deviceValue) { return Eq.listValue(list, Number(deviceValue)) }

    function setType(type) {
        if (!band || !EditGuard.canEdit())
            return
        preProc.setSelectedBandType(channel, type)
    }

    Text {
        visible: panel.band === null
        anchors.centerIn: parent
        width: parent.width - 2 * Theme.margin * devicePixelRatio
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        text: "Select a band on the plot or in the list"
        color: Theme.textDim
        font.family: applicationFont
        font.pixelSize: Theme.fontNormal * devicePixelRatio
    }

    Column {
        id: column
        visible: panel.band !== null
        anchors.fill: parent
        spacing: 4 * devicePixelRatio

        Row {
            id: types
            spacing: 3 * devicePixelRatio
            Repeater {
                model: 7
                Rectangle {
                    objectName: "bandType" + index
                    readonly property bool checked: panel.band !== null && panel.band.bandType === index
                    width: (column.width - 6 * types.spacing) / 7
                    height: 28 * devicePixelRatio
                    radius: 4 * devicePixelRatio
                    color: checked ? Qt.darker(Theme.accentDim, 1.2) : typeMouse.containsMouse ? Theme.panelRaised : Theme.panel
                    border.color: checked ? Theme.accent : Theme.line
                    border.width: Math.max(1, devicePixelRatio / 2)
                    Image {
                        anchors.centerIn: parent
                        width: Math.min(parent.width - 4 * devicePixelRatio, 33 * devicePixelRatio)
                        height: width * 2 / 3
                        source: "../../images/eq/eQType_" + index + ".svg"
                        sourceSize.width: width
                        sourceSize.height: height
                    }
                    MouseArea {
                        id: typeMouse
                        anchors.fill: parent
                        hoverEnabled: true
                        cursorShape: Qt.PointingHandCursor
                        onClicked: panel.setType(index)
                    }
                }
            }
        }
        Text {
            objectName: "bandTypeName"
            text: panel.band ? "Band " + panel.band.displayIndex + ": " + Helper.typeName(panel.band.bandType) : ""
            color: Theme.text
            font.family: applicationFont
            font.pixelSize: Theme.fontSmall * devicePixelRatio
            font.bold: true
        }

        Repeater {
            // Frequency, gain and Q: each a label with its value and a slider.
            model: [
                { key: "frequency", label: "Frequency" },
                { key: "gain", label: "Gain" },
                { key: "q", label: "Q" },
            ]
            Item {
                id: field
                readonly property string key: modelData.key
                readonly property var list: key === "frequency" ? ValueLists.frequency : key === "gain" ? ValueLists.gain : ValueLists.q
                readonly property int deviceValue: !panel.band ? 0
                                                  : key === "frequency" ? panel.band.frequency
                                                  : key === "gain" ? panel.band.gain : panel.band.qualityFactor
                readonly property real shown: panel.displayValue(list, deviceValue)
                width: column.width
                height: 40 * devicePixelRatio
                enabled: key !== "gain" || panel.hasGain
                opacity: enabled ? 1 : 0.4

                Text {
                    anchors.left: parent.left
                    anchors.top: parent.top
                    text: modelData.label
                    color: Theme.textDim
                    font.family: applicationFont
                    font.pixelSize: Theme.fontSmall * devicePixelRatio
                }
                Text {
                    objectName: field.key + "Value"
                    anchors.right: parent.right
                    anchors.top: parent.top
                    text: field.key === "frequency" ? Helper.frequencyText(field.shown)
                        : field.key === "gain" ? Helper.gainText(field.shown)
                        : field.shown.toFixed(2)
                    color: Theme.text
                    font.family: applicationFont
                    font.pixelSize: Theme.fontSmall * devicePixelRatio
                    font.bold: true
                }
                ValueSlider {
                    objectName: field.key + "Slider"
                    anchors.left: parent.left
                    anchors.right: parent.right
                    anchors.bottom: parent.bottom
                    list: field.list
                    deviceValue: field.deviceValue
                    onEditingChanged: panel.heldChanged(editing)
                    onEdited: {
                        if (!panel.band)
                            return
                        if (field.key === "frequency") {
                            panel.preProc.setSelectedBandFrequency(panel.channel, deviceValue)
                        } else if (field.key === "gain") {
                            panel.preProc.setSelectedBandGain(panel.channel, deviceValue)
                        } else {
                            var q = Eq.rvEQLimitQ(panel.displayValue(ValueLists.q, deviceValue), panel.band.bandType)
                            panel.preProc.setSelectedBandQ(panel.channel, Eq.rvEQDeviceValue(ValueLists.q, q))
                        }
                        if (editing)
                            panel.heldChanged(true)
                    }
                }
            }
        }
    }
}
