import QtQuick 2.15
import "../../qml-utils"
import "../../Buttons"
import "../../javascript/RVEQBiquadFilter.js" as Eq
import "EqEditorHelper.js" as Helper

// The used bands of one equaliser in frequency order, with the tools that add, remove, copy
// and paste a band. A click on a row selects its band; the box at its end switches it on or
// off.
Item {
    id: bandList
    property int channel: 0
    property QtObject eq: null
    readonly property QtObject preProc: wdx.preProcList()
    readonly property real rowHeight: 22 * devicePixelRatio
    // Full EQ: the editor says so.
    signal full()

    function displayValue(list, deviceValue) { return Eq.listValue(list, Number(deviceValue)) }

    function isTaken(frequency) {
        for (var i = 0; i < eq.maxBandCount; ++i) {
            var band = eq.bandAt(i)
            if (band.isUsed && band.frequency === frequency)
                return true
        }
        return false
    }
    function addBand() {
        if (!eq || !EditGuard.canEdit())
            return
        if (eq.isFull) {
            full()
            return
        }
        var f = Helper.newBandFrequency(eq.lastUsedFrequency, ValueLists.frequency.count - 1, isTaken)
        preProc.addBand(channel, f, Helper.newBandGain, Helper.newBandQ)
    }
    function removeBand() {
        if (!eq || eq.selectedBandId < 0 || !EditGuard.canEdit())
            return
        preProc.removeSelectedBand(channel)
        eq.selectFirstUsedBand()
        if (eq.selectedBandId >= 0)
            preProc.setSelectedBandId(channel, eq.selectedBandId)
    }
    function pasteBand() {
        if (!eq || eq.selectedBandId < 0 || !eq.hasCopy || !EditGuard.canEdit())
            return
        preProc.pasteSelectedBand(channel)
        // Pasting only changes the editor; writing the band's frequency sends the whole EQ.
        preProc.setSelectedBandFrequency(channel, eq.bandAt(eq.selectedBandId).frequency)
    }

    Row {
        id: tools
        anchors.left: parent.left
        anchors.top: parent.top
        spacing: 2 * devicePixelRatio
        IconButton {
            objectName: "addBandButton"
            size: 30
            source: "../../images/eq/add.svg"
            text: "Add band"
            onClicked: bandList.addBand()
        }
        IconButton {
            objectName: "removeBandButton"
            size: 30
            source: "../../images/eq/remove.svg"
            text: "Remove band"
            enabled: bandList.eq !== null && bandList.eq.selectedBandId >= 0
            onClicked: bandList.removeBand()
        }
        IconButton {
            objectName: "copyBandButton"
            size: 30
            source: "../../images/eq/copy.svg"
            text: "Copy band"
            enabled: bandList.eq !== null && bandList.eq.selectedBandId >= 0
            onClicked: bandList.preProc.copySelectedBand(bandList.channel)
        }
        IconButton {
            objectName: "pasteBandButton"
            size: 30
            source: "../../images/eq/paste.svg"
            text: "Paste band"
            enabled: bandList.eq !== null && bandList.eq.hasCopy && bandList.eq.selectedBandId >= 0
            onClicked: bandList.pasteBand()
        }
    }
    Text {
        objectName: "bandCount"
        anchors.right: parent.right
        anchors.verticalCenter: tools.verticalCenter
        text: bandList.eq ? bandList.eq.usedBandCount + " / " + bandList.eq.maxBandCount + " bands" : ""
        color: Theme.textDim
        font.family: applicationFont
        font.pixelSize: Theme.fontSmall * devicePixelRatio
    }

    Rectangle {
        id: frame
        anchors.top: tools.bottom
        anchors.topMargin: 4 * devicePixelRatio
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        radius: Theme.radius * devicePixelRatio
        color: Theme.panel
        border.color: Theme.line
        border.width: Math.max(1, devicePixelRatio / 2)
        clip: true

        Text {
            visible: bandList.eq !== null && bandList.eq.usedBandCount === 0
            anchors.centerIn: parent
            width: parent.width - 2 * Theme.margin * devicePixelRatio
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: "No bands. Add one with +."
            color: Theme.textDim
            font.family: applicationFont
            font.pixelSize: Theme.fontSmall * devicePixelRatio
        }

        Flickable {
            anchors.fill: parent
            anchors.margins: 2 * devicePixelRatio
            contentHeight: bandList.eq ? bandList.eq.usedBandCount * bandList.rowHeight : 0
            interactive: contentHeight > height
            boundsBehavior: Flickable.StopAtBounds

            Repeater {
                model: bandList.eq ? bandList.eq.bandListModel() : null
                // Rows sit at their place in frequency order; unused slots are not shown.
                Rectangle {
                    id: row
                    objectName: "bandRow" + deviceIndex
                    visible: isUsed
                    width: parent ? parent.width : 0
                    height: bandList.rowHeight
                    y: (displayIndex - 1) * height
                    radius: 3 * devicePixelRatio
                    color: isSelected ? Theme.accentDim : rowMouse.containsMouse ? Theme.panelRaised : "transparent"

                    MouseArea {
                        id: rowMouse
                        anchors.fill: parent
                        hoverEnabled: true
                        onClicked: bandList.preProc.setSelectedBandId(bandList.channel, deviceIndex)
                    }
                    Row {
                        anchors.left: parent.left
                        anchors.leftMargin: 4 * devicePixelRatio
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 6 * devicePixelRatio
                        opacity: isEnabled ? 1 : 0.5
                        Text {
                            width: 12 * devicePixelRatio
                            anchors.verticalCenter: parent.verticalCenter
                            text: displayIndex
                            color: Theme.textDim
                            font.family: applicationFont
                            font.pixelSize: Theme.fontSmall * devicePixelRatio
                        }
                        Image {
                            anchors.verticalCenter: parent.verticalCenter
                            width: 27 * devicePixelRatio
                            height: 18 * devicePixelRatio
                            source: bandType <= 6 ? "../../images/eq/eQType_" + bandType + ".svg" : ""
                            sourceSize.width: width
                            sourceSize.height: height
                        }
                        Text {
                            objectName: "bandFrequency"
                            width: 62 * devicePixelRatio
                            anchors.verticalCenter: parent.verticalCenter
                            horizontalAlignment: Text.AlignRight
                            text: Helper.frequencyText(bandList.displayValue(ValueLists.frequency, frequency))
                            color: Theme.text
                            font.family: applicationFont
                            font.pixelSize: Theme.fontSmall * devicePixelRatio
                        }
                        Text {
                            objectName: "bandGain"
                            width: 54 * devicePixelRatio
                            anchors.verticalCenter: parent.verticalCenter
                            horizontalAlignment: Text.AlignRight
                            text: Helper.gainText(bandList.displayValue(ValueLists.gain, gain))
                            color: Eq.rvEQTypeHasGain(bandType) ? Theme.text : Theme.textDim
                            font.family: applicationFont
                            font.pixelSize: Theme.fontSmall * devicePixelRatio
                        }
                        Text {
                            objectName: "bandQ"
                            width: 48 * devicePixelRatio
                            anchors.verticalCenter: parent.verticalCenter
                            horizontalAlignment: Text.AlignRight
                            text: Helper.qText(bandList.displayValue(ValueLists.q, qualityFactor))
                            color: Theme.text
                            font.family: applicationFont
                            font.pixelSize: Theme.fontSmall * devicePixelRatio
                        }
                    }
                    // On/off of this band.
                    Rectangle {
                        objectName: "bandEnable" + deviceIndex
                        anchors.right: parent.right
                        anchors.rightMargin: 6 * devicePixelRatio
                        anchors.verticalCenter: parent.verticalCenter
                        width: 16 * devicePixelRatio
                        height: width
                        radius: 3 * devicePixelRatio
                        color: isEnabled ? Theme.accent : "transparent"
                        border.color: isEnabled ? Theme.accent : Theme.textDim
                        border.width: Math.max(1, devicePixelRatio)
                        Image {
                            anchors.fill: parent
                            anchors.margins: 1 * devicePixelRatio
                            visible: isEnabled
                            source: "../../images/eq/check.svg"
                            sourceSize.width: width
                            sourceSize.height: height
                        }
                        MouseArea {
                            anchors.fill: parent
                            anchors.margins: -4 * devicePixelRatio
                            cursorShape: Qt.PointingHandCursor
                            onClicked: {
                                if (!EditGuard.canEdit())
                                    return
                                bandList.preProc.setSelectedBandId(bandList.channel, deviceIndex)
                                bandList.preProc.setSelectedBandEnabled(bandList.channel, !isEnabled)
                            }
                        }
                    }
                }
            }
        }
    }
}
