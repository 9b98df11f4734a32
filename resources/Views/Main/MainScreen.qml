import QtQuick 2.15
import "../../qml-utils"
import "../../Controls"
import "../../Buttons"
import "../../javascript/ParameterXmlModelHelper.js" as Values

// The start page: which device, and each output at a glance (loudspeaker, gain, live level
// and compressor activity). From here the user goes to the inputs, the outputs, a speaker,
// the settings or the PIN.
Item {
    id: mainScreen
    signal openInput()
    signal openOutput()
    signal openSpeaker(int outputIndex)

    readonly property var outputs: wdx.outputList()

    function gainText(deviceValue) {
        var row = Values.getIndexFromDeviceValue(ValueLists.gain, deviceValue)
        if (row < 0)
            return "–"
        var v = ValueLists.gain.get(row).displayValue
        return (v > 0 ? "+" : "") + v.toFixed(1) + " dB"
    }

    Column {
        id: identity
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: headerButtons.left
        anchors.margins: Theme.margin * devicePixelRatio
        spacing: 2 * devicePixelRatio
        Text {
            objectName: "deviceName"
            width: parent.width
            elide: Text.ElideRight
            text: wdx.isConnected ? wdx.name : wdx.name + " (Offline)"
            color: Theme.text
            font.family: applicationFont
            font.pixelSize: Theme.fontTitle * devicePixelRatio
            font.bold: true
        }
        Text {
            objectName: "connectionText"
            width: parent.width
            elide: Text.ElideRight
            text: wdx.isConnected ? (wdx.isLocked ? "Locked" : wdx.isHwMode ? "Hardware mode" : "Connected")
                                  : wdx.lastConnectionTimeString
            color: wdx.isConnected && (wdx.isLocked || wdx.isHwMode) ? Theme.warning : Theme.textDim
            font.family: applicationFont
            font.pixelSize: Theme.fontSmall * devicePixelRatio
        }
    }

    Row {
        id: headerButtons
        anchors.top: parent.top
        anchors.right: parent.right
        anchors.margins: Theme.margin * devicePixelRatio
        spacing: Theme.spacing * devicePixelRatio
        IconButton {
            objectName: "lockButton"
            visible: wdx.isConnected && wdx.isLocked
            source: "../../images/ui/lock.svg"
            text: "Unlock"
            onClicked: {
                wdx.activeScreen = "settings"
                Navigator.push("Views/Settings/PinView.qml")
            }
        }
        IconButton {
            objectName: "settingsButton"
            source: "../../images/ui/settings.svg"
            text: "Settings"
            onClicked: {
                wdx.activeScreen = "settings"
                Navigator.push("Views/Settings/SettingsView.qml")
            }
        }
    }

    ListView {
        id: outputRow
        objectName: "outputRow"
        anchors.top: identity.bottom
        anchors.bottom: navigation.top
        anchors.topMargin: Theme.margin * devicePixelRatio
        anchors.bottomMargin: Theme.margin * devicePixelRatio
        anchors.horizontalCenter: parent.horizontalCenter
        width: Math.min(parent.width - 2 * Theme.margin * devicePixelRatio,
                        count * (cardWidth + spacing) - spacing)
        readonly property real cardWidth: Math.min(180 * devicePixelRatio,
                                                   (mainScreen.width - 2 * Theme.margin * devicePixelRatio - 2 * spacing) / 3)
        orientation: ListView.Horizontal
        spacing: Theme.spacing * devicePixelRatio
        interactive: count > 3
        clip: true
        model: mainScreen.outputs

        delegate: Rectangle {
            id: card
            objectName: "outputCard" + index
            readonly property var output: wdx.getOutput(index)
            width: outputRow.cardWidth
            height: outputRow.height
            radius: Theme.radius * devicePixelRatio
            color: Theme.panel
            border.color: Theme.line
            border.width: Math.max(1, devicePixelRatio / 2)

            Text {
                id: outputName
                objectName: "outputName"
                anchors.top: parent.top
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.margins: Theme.spacing * devicePixelRatio
                horizontalAlignment: Text.AlignHCenter
                elide: Text.ElideRight
                text: card.output ? card.output.name : ""
                color: Theme.text
                font.family: applicationFont
                font.pixelSize: Theme.fontNormal * devicePixelRatio
                font.bold: true
            }

            Item {
                id: body
                anchors.top: outputName.bottom
                anchors.bottom: parent.bottom
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.margins: Theme.spacing * devicePixelRatio

                LevelMeter {
                    id: meter
                    objectName: "outputMeter"
                    anchors.right: parent.right
                    anchors.top: parent.top
                    anchors.bottom: parent.bottom
                    width: 14 * devicePixelRatio
                    value: card.output ? card.output.outputLevel : 0
                    overlay: card.output ? card.output.compressionLevel : 0
                }

                Column {
                    anchors.left: parent.left
                    anchors.right: meter.left
                    anchors.rightMargin: Theme.spacing * devicePixelRatio
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: Theme.spacing * devicePixelRatio

                    Rectangle {
                        id: speakerButton
                        objectName: "speakerButton"
                        anchors.horizontalCenter: parent.horizontalCenter
                        width: Math.min(parent.width, body.height * 0.55)
                        height: width
                        radius: Theme.radius * devicePixelRatio
                        color: speakerMouse.pressed ? Theme.accentDim : speakerMouse.containsMouse ? Theme.panelRaised : "transparent"
                        Image {
                            anchors.fill: parent
                            anchors.margins: 4 * devicePixelRatio
                            fillMode: Image.PreserveAspectFit
                            source: card.output ? speakerDb.getCabinetImage(card.output.speakerId) : ""
                            sourceSize.width: width
                            sourceSize.height: height
                        }
                        MouseArea {
                            id: speakerMouse
                            anchors.fill: parent
                            hoverEnabled: true
                            cursorShape: Qt.PointingHandCursor
                            onClicked: mainScreen.openSpeaker(index)
                        }
                    }
                    Text {
                        objectName: "speakerName"
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        elide: Text.ElideRight
                        text: card.output ? speakerDb.getCabinetName(card.output.speakerId) : ""
                        color: Theme.textDim
                        font.family: applicationFont
                        font.pixelSize: Theme.fontSmall * devicePixelRatio
                    }
                    Text {
                        objectName: "gainText"
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        // Unplugged, the outputs hold no device values: nothing to show.
                        visible: wdx.isConnected
                        text: card.output && ValueLists.gain.count > 0 ? mainScreen.gainText(card.output.gain) : ""
                        color: Theme.text
                        font.family: applicationFont
                        font.pixelSize: Theme.fontLarge * devicePixelRatio
                    }
                }
            }
        }
    }

    Row {
        id: navigation
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottomMargin: Theme.margin * devicePixelRatio
        spacing: 2 * Theme.margin * devicePixelRatio
        VelaButton {
            objectName: "inputPatchButton"
            text: "Input patch"
            iconSource: "../../images/ui/up.svg"
            onClicked: mainScreen.openInput()
        }
        VelaButton {
            objectName: "outputSettingsButton"
            text: "Output settings"
            iconSource: "../../images/ui/down.svg"
            onClicked: mainScreen.openOutput()
        }
    }
}
