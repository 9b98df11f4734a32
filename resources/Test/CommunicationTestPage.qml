import QtQuick 2.15
import QtQuick.Controls 1.4
import QtQuick.Controls.Styles 1.4
import "../Controls"
import "../Buttons"
import "../qml-utils"
import "../Views/Settings"

// Developer page over the protocol tester: a loop that posts one raw request again and again
// with its statistics, and single diagnostic requests whose outcome shows as a text.
Item {
    id: page
    objectName: "communicationTestPage"

    function back() { Navigator.backToMain() }

    PageHeader {
        id: header
        title: "Test communication"
        onBack: page.back()
    }

    Row {
        id: columns
        anchors.top: header.bottom
        anchors.bottom: parent.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: Theme.margin * devicePixelRatio
        spacing: Theme.margin * devicePixelRatio
        readonly property real columnWidth: (width - spacing) / 2

        // --- The loop, its statistics and the last message ---
        Column {
            id: loopColumn
            width: columns.columnWidth
            height: parent.height
            spacing: Theme.spacing * devicePixelRatio

            Panel {
                id: loopPanel
                width: parent.width
                height: loopContent.height + 2 * Theme.margin * devicePixelRatio
                Column {
                    id: loopContent
                    x: Theme.margin * devicePixelRatio
                    y: Theme.margin * devicePixelRatio
                    width: parent.width - 2 * x
                    spacing: Theme.spacing * devicePixelRatio

                    Caption { text: "Test loop" }
                    HexField {
                        id: testRequestField
                        objectName: "rawTestRequestField"
                        width: parent.width
                        text: protocolTester.rawTestRequest
                        onEditingFinished: protocolTester.rawTestRequest = text
                    }
                    Grid {
                        id: loopGrid
                        width: parent.width
                        columns: 2
                        columnSpacing: Theme.spacing * devicePixelRatio
                        rowSpacing: Theme.spacing * devicePixelRatio
                        readonly property real cellWidth: (width - columnSpacing) / 2

                        LabeledNumber {
                            width: loopGrid.cellWidth
                            label: "Interval"
                            boxName: "intervalBox"
                            maximumValue: 10000
                            stepSize: 10
                            suffix: " ms"
                            modelValue: protocolTester.interval
                            onEdited: protocolTester.interval = value
                        }
                        LabeledNumber {
                            width: loopGrid.cellWidth
                            label: "Time-out"
                            boxName: "timeoutBox"
                            maximumValue: 60000
                            stepSize: 50
                            suffix: " ms"
                            modelValue: protocolTester.timeout
                            onEdited: protocolTester.timeout = value
                        }
                        LabeledNumber {
                            width: loopGrid.cellWidth
                            label: "Retries"
                            boxName: "maxRetryBox"
                            maximumValue: 10
                            modelValue: protocolTester.maxRetry
                            onEdited: protocolTester.maxRetry = value
                        }
                        SettingsToggle {
                            objectName: "runForeverToggle"
                            width: loopGrid.cellWidth
                            text: "Run forever"
                            checked: protocolTester.runForever
                            onToggled: protocolTester.runForever = checked
                        }
                        SmallButton {
                            objectName: "startTestButton"
                            width: loopGrid.cellWidth
                            text: "Start test"
                            highlighted: true
                            onClicked: {
                                protocolTester.rawTestRequest = testRequestField.text
                                protocolTester.startTest()
                            }
                        }
                        SmallButton {
                            objectName: "stopTestButton"
                            width: loopGrid.cellWidth
                            text: "Stop test"
                            onClicked: protocolTester.stopTest()
                        }
                    }
                    Row {
                        width: parent.width
                        Text {
                            objectName: "testState"
                            width: parent.width / 2
                            text: "State: " + protocolTester.stateString
                            color: Theme.text
                            font.family: applicationFont
                            font.pixelSize: Theme.fontNormal * devicePixelRatio
                        }
                        Text {
                            objectName: "successRate"
                            width: parent.width / 2
                            horizontalAlignment: Text.AlignRight
                            text: "Success rate: " + protocolTester.successRate
                            color: Theme.text
                            font.family: applicationFont
                            font.pixelSize: Theme.fontNormal * devicePixelRatio
                        }
                    }
                }
            }

            Panel {
                width: parent.width
                height: parent.height - loopPanel.height - parent.spacing
                Flickable {
                    id: messageFlick
                    anchors.fill: parent
                    anchors.margins: Theme.spacing * devicePixelRatio
                    contentHeight: debugText.paintedHeight
                    clip: true
                    boundsBehavior: Flickable.StopAtBounds
                    TextEdit {
                        id: debugText
                        objectName: "testDebugMessage"
                        width: messageFlick.width
                        readOnly: true
                        selectByMouse: true
                        wrapMode: TextEdit.Wrap
                        text: protocolTester.debugMessage
                        color: Theme.text
                        selectionColor: Theme.accentDim
                        font.family: "monospace"
                        font.pixelSize: Theme.fontSmall * devicePixelRatio
                    }
                }
            }
        }

        // --- One request at a time ---
        Panel {
            width: columns.columnWidth
            height: singleContent.height + 2 * Theme.margin * devicePixelRatio
            Column {
                id: singleContent
                x: Theme.margin * devicePixelRatio
                y: Theme.margin * devicePixelRatio
                width: parent.width - 2 * x
                spacing: Theme.spacing * devicePixelRatio

                Caption { text: "Single requests" }
                Grid {
                    id: singleGrid
                    width: parent.width
                    columns: 2
                    columnSpacing: Theme.spacing * devicePixelRatio
                    rowSpacing: Theme.spacing * devicePixelRatio
                    readonly property real cellWidth: (width - columnSpacing) / 2

                    SmallButton { objectName: "getDeviceTypeButton"; width: singleGrid.cellWidth; text: "Device type"; onClicked: protocolTester.getDeviceType() }
                    SmallButton { objectName: "getSNButton"; width: singleGrid.cellWidth; text: "Serial number"; onClicked: protocolTester.getSN() }
                    SmallButton { objectName: "getStatusButton"; width: singleGrid.cellWidth; text: "Status"; onClicked: protocolTester.getStatus() }
                    SmallButton { objectName: "getFwStatusButton"; width: singleGrid.cellWidth; text: "Fw status"; onClicked: protocolTester.getFwStatus() }
                    SmallButton {
                        objectName: "writeBlockButton"
                        width: singleGrid.cellWidth
                        text: "Write block #" + protocolTester.nextBlockId
                        onClicked: protocolTester.writeBlock()
                    }
                    SmallButton {
                        objectName: "readBlockButton"
                        width: singleGrid.cellWidth
                        text: "Read block #" + protocolTester.nextBlockId
                        onClicked: protocolTester.readBlock()
                    }
                    SmallButton { objectName: "resetButton"; width: singleGrid.cellWidth; text: "Reset"; onClicked: protocolTester.reset() }
                    SmallButton { objectName: "lockOnBootButton"; width: singleGrid.cellWidth; text: "Lock on boot"; onClicked: protocolTester.lockOnBoot() }
                    SmallButton { objectName: "resetUartButton"; width: singleGrid.cellWidth; text: "Reset UART"; onClicked: protocolTester.resetUart() }
                    Item { width: singleGrid.cellWidth; height: 1 }
                    SmallButton {
                        objectName: "setFwStatusButton"
                        width: singleGrid.cellWidth
                        text: "Set fw status"
                        onClicked: protocolTester.setFwStatus(fwStatusBox.value)
                    }
                    NumberBox {
                        id: fwStatusBox
                        objectName: "fwStatusBox"
                        width: singleGrid.cellWidth
                        maximumValue: 255
                        value: 0x81
                    }
                }

                Caption { text: "Custom request" }
                HexField {
                    id: customRequestField
                    objectName: "rawCustomRequestField"
                    width: parent.width
                    text: protocolTester.rawCustomRequest
                    onEditingFinished: protocolTester.rawCustomRequest = text
                }
                SmallButton {
                    objectName: "sendCustomButton"
                    width: singleGrid.cellWidth
                    text: "Send"
                    onClicked: {
                        protocolTester.rawCustomRequest = customRequestField.text
                        protocolTester.sendCustomRequest()
                    }
                }
            }
        }
    }

    component Panel: Rectangle {
        radius: Theme.radius * devicePixelRatio
        color: Theme.panel
        border.color: Theme.line
        border.width: Math.max(1, devicePixelRatio / 2)
    }

    component Caption: Text {
        color: Theme.textDim
        font.family: applicationFont
        font.pixelSize: Theme.fontSmall * devicePixelRatio
        font.capitalization: Font.AllUppercase
        font.letterSpacing: devicePixelRatio
    }

    component SmallButton: VelaButton {
        height: 28 * devicePixelRatio
        fontSize: Theme.fontSmall
    }
}
