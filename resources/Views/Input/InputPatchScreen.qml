import QtQuick 2.15
import "../../qml-utils"
import "../../Controls"
import "../../Buttons"
import "../Eq"

// The six inputs with their levels, which of them feed each pre-processing channel, each
// channel's EQ at a glance (a click opens its editor), EQ link, copy and paste, and on the
// types that have one the digital input selection.
Item {
    id: inputScreen
    signal back()

    readonly property QtObject preProc: wdx.preProcList()
    readonly property bool hasDigitalInput: wdx.deviceType === 1 || wdx.deviceType === 3
    readonly property real labelWidth: 96 * devicePixelRatio
    readonly property real toggleColumn: 64 * devicePixelRatio
    readonly property real rowHeight: 44 * devicePixelRatio
    // The digital input sources in the order of the device's selection value.
    readonly property var digitalSources: ["Coaxial", "Optical"]

    function openEqEditor(channel) { eqEditor.open(channel) }
    // Escape: the editor first, then the screen.
    function stepBack() {
        if (eqEditor.opened)
            eqEditor.close()
        else
            back()
    }

    function togglePatch(channel, input) {
        if (!EditGuard.canEdit())
            return
        wdx.preProcList().toggleInputPatched(channel, input)
    }
    function setDigitalInput(value) {
        if (!EditGuard.canEdit())
            return
        wdx.digitalMux = value
    }

    // Hidden under the open editor, so its curves are not redrawn for nobody while a band moves.
    Item {
        id: content
        anchors.fill: parent
        visible: !eqEditor.opened

        PageHeader {
            id: header
            anchors.top: parent.top
            title: "Input patch"
            onBack: inputScreen.back()
        }

        // Inputs down, channels across.
        Item {
            id: matrix
            objectName: "patchMatrix"
            anchors.top: header.bottom
            anchors.left: parent.left
            anchors.leftMargin: Theme.margin * devicePixelRatio
            width: inputScreen.labelWidth + 120 * devicePixelRatio + 2 * inputScreen.toggleColumn
            height: columnTitles.height + 6 * inputScreen.rowHeight

            Row {
                id: columnTitles
                x: inputScreen.labelWidth + 120 * devicePixelRatio
                height: 24 * devicePixelRatio
                Repeater {
                    model: wdx.preProcList()
                    Text {
                        width: inputScreen.toggleColumn
                        horizontalAlignment: Text.AlignHCenter
                        text: name
                        color: Theme.text
                        font.family: applicationFont
                        font.pixelSize: Theme.fontNormal * devicePixelRatio
                        font.bold: true
                    }
                }
            }

            Repeater {
                model: wdx.inputList()
                Item {
                    id: inputRow
                    objectName: "inputRow" + index
                    readonly property int input: index
                    y: columnTitles.height + index * inputScreen.rowHeight
                    width: matrix.width
                    height: inputScreen.rowHeight

                    Rectangle {
                        anchors.fill: parent
                        anchors.topMargin: 2 * devicePixelRatio
                        anchors.bottomMargin: 2 * devicePixelRatio
                        radius: Theme.radius * devicePixelRatio
                        color: index % 2 === 0 ? "#1e3a4a" : "transparent"
                    }
                    Text {
                        objectName: "inputName"
                        x: Theme.spacing * devicePixelRatio
                        width: inputScreen.labelWidth - Theme.spacing * devicePixelRatio
                        anchors.verticalCenter: parent.verticalCenter
                        elide: Text.ElideRight
                        text: typeStr
                        color: Theme.text
                        font.family: applicationFont
                        font.pixelSize: Theme.fontNormal * devicePixelRatio
                    }
                    LevelMeter {
                        objectName: "inputMeter"
                        x: inputScreen.labelWidth
                        width: 108 * devicePixelRatio
                        height: 8 * devicePixelRatio
                        anchors.verticalCenter: parent.verticalCenter
                        horizontal: true
                        value: level
                    }
                }
            }

            // One column of toggles per channel, over the channel's patch rows (input order).
            Repeater {
                model: wdx.preProcList()
                Repeater {
                    id: patchColumn
                    readonly property int channel: channelIndex
                    model: wdx.preProcList().inputPatches(channelIndex)
                    Rectangle {
                        id: toggle
                        objectName: "patch_" + patchColumn.channel + "_" + index
                        readonly property bool checked: isPatched
                        x: inputScreen.labelWidth + 120 * devicePixelRatio + patchColumn.channel * inputScreen.toggleColumn
                           + (inputScreen.toggleColumn - width) / 2
                        y: columnTitles.height + index * inputScreen.rowHeight + (inputScreen.rowHeight - height) / 2
                        width: 40 * devicePixelRatio
                        height: 24 * devicePixelRatio
                        radius: height / 2
                        color: checked ? Theme.accentDim : "#10202a"
                        border.color: checked ? Theme.accent : toggleMouse.containsMouse ? Theme.textDim : Theme.line
                        border.width: Math.max(1, devicePixelRatio)
                        Rectangle {
                            width: parent.height - 6 * devicePixelRatio
                            height: width
                            radius: width / 2
                            anchors.verticalCenter: parent.verticalCenter
                            x: toggle.checked ? parent.width - width - 3 * devicePixelRatio : 3 * devicePixelRatio
                            color: toggle.checked ? Theme.text : Theme.textDim
                        }
                        MouseArea {
                            id: toggleMouse
                            anchors.fill: parent
                            hoverEnabled: true
                            cursorShape: Qt.PointingHandCursor
                            // Held from press to release, so a poll cannot flip it under the hand.
                            onPressedChanged: {
                                var item = wdx.getPreProc(patchColumn.channel)
                                if (item)
                                    item.setIsEditingPatch(pressed)
                            }
                            onClicked: inputScreen.togglePatch(patchColumn.channel, index)
                        }
                    }
                }
            }
        }

        // The digital input source, on the types that can select one.
        Item {
            id: digitalInput
            objectName: "digitalInput"
            visible: inputScreen.hasDigitalInput
            anchors.top: matrix.bottom
            anchors.topMargin: Theme.margin * devicePixelRatio
            anchors.left: matrix.left
            width: matrix.width
            height: Theme.buttonHeight * devicePixelRatio

            Text {
                anchors.left: parent.left
                anchors.leftMargin: Theme.spacing * devicePixelRatio
                anchors.verticalCenter: parent.verticalCenter
                text: "Digital input"
                color: Theme.textDim
                font.family: applicationFont
                font.pixelSize: Theme.fontNormal * devicePixelRatio
            }
            Row {
                x: inputScreen.labelWidth + Theme.spacing * devicePixelRatio
                spacing: Theme.spacing * devicePixelRatio
                Repeater {
                    model: inputScreen.digitalSources
                    Rectangle {
                        objectName: "digitalSource" + index
                        readonly property bool checked: wdx.digitalMux === index
                        width: 90 * devicePixelRatio
                        height: Theme.buttonHeight * devicePixelRatio
                        radius: Theme.radius * devicePixelRatio
                        color: checked ? Qt.darker(Theme.accentDim, 1.2) : sourceMouse.containsMouse ? Theme.panelRaised : Theme.panel
                        border.color: checked ? Theme.accent : Theme.line
                        border.width: Math.max(1, devicePixelRatio)
                        Text {
                            anchors.centerIn: parent
                            text: modelData
                            color: Theme.text
                            font.family: applicationFont
                            font.pixelSize: Theme.fontNormal * devicePixelRatio
                        }
                        MouseArea {
                            id: sourceMouse
                            anchors.fill: parent
                            hoverEnabled: true
                            cursorShape: Qt.PointingHandCursor
                            // Held while choosing, so a poll cannot move the selection meanwhile.
                            onPressedChanged: wdx.setIsEditingDigitalMux(pressed)
                            onClicked: inputScreen.setDigitalInput(index)
                        }
                    }
                }
            }
        }

        // The channels' EQs: thumbnails that open the editor, copy and paste, and the link.
        Column {
            id: eqColumn
            objectName: "eqColumn"
            anchors.top: header.bottom
            anchors.left: matrix.right
            anchors.leftMargin: 2 * Theme.margin * devicePixelRatio
            anchors.right: parent.right
            anchors.rightMargin: Theme.margin * devicePixelRatio
            spacing: Theme.spacing * devicePixelRatio

            Repeater {
                model: wdx.preProcList()
                Column {
                    id: eqCard
                    readonly property int channel: channelIndex
                    readonly property QtObject eq: wdx.getPreProc(channel) ? wdx.getPreProc(channel).eq : null
                    width: eqColumn.width
                    spacing: 4 * devicePixelRatio

                    Item {
                        width: parent.width
                        height: 30 * devicePixelRatio
                        Text {
                            anchors.left: parent.left
                            anchors.verticalCenter: parent.verticalCenter
                            text: name + " EQ"
                            color: Theme.text
                            font.family: applicationFont
                            font.pixelSize: Theme.fontNormal * devicePixelRatio
                            font.bold: true
                        }
                        Row {
                            anchors.right: parent.right
                            anchors.verticalCenter: parent.verticalCenter
                            spacing: 2 * devicePixelRatio
                            IconButton {
                                objectName: "copyEq" + eqCard.channel
                                size: 28
                                source: "../../images/eq/copy.svg"
                                text: "Copy EQ"
                                onClicked: inputScreen.preProc.copyChannelEq(eqCard.channel)
                            }
                            IconButton {
                                objectName: "pasteEq" + eqCard.channel
                                size: 28
                                source: "../../images/eq/paste.svg"
                                text: "Paste EQ"
                                enabled: inputScreen.preProc.hasEqCopy
                                onClicked: {
                                    if (EditGuard.canEdit())
                                        inputScreen.preProc.pasteChannelEq(eqCard.channel)
                                }
                            }
                        }
                    }
                    EqThumbnail {
                        objectName: "eqThumbnail" + eqCard.channel
                        width: parent.width
                        height: 112 * devicePixelRatio
                        eq: eqCard.eq
                        onClicked: inputScreen.openEqEditor(eqCard.channel)
                    }
                    Text {
                        width: parent.width
                        elide: Text.ElideRight
                        text: eqCard.eq ? (eqCard.eq.usedBandCount === 1 ? "1 band" : eqCard.eq.usedBandCount + " bands")
                                          + (eqCard.eq.isEnabled ? "" : ", off") : ""
                        color: Theme.textDim
                        font.family: applicationFont
                        font.pixelSize: Theme.fontSmall * devicePixelRatio
                    }
                }
            }

            VelaButton {
                objectName: "linkEqButton"
                width: parent.width
                text: inputScreen.preProc.isEqLinked ? "EQs linked" : "Link EQs"
                iconSource: "../../images/eq/link.svg"
                checked: inputScreen.preProc.isEqLinked
                onClicked: inputScreen.preProc.toggleLinkEq()
            }
        }
    }

    EqEditor {
        id: eqEditor
        objectName: "eqEditor"
        anchors.fill: parent
        z: 10
    }
}
