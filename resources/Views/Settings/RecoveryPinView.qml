import QtQuick 2.15
import QtQuick.Controls 1.4
import "../../Controls"
import "../../qml-utils"

// Recovery of a device held in its boot loader: the recovery code (PUK) that belongs to its
// serial number lets the application install the firmware again.
Item {
    id: page
    objectName: "recoveryPinView"
    property bool wrongPuk: false
    // Reached from the fatal view, so it must lie over it.
    readonly property bool coversStateViews: true
    readonly property string serialSuffix: wdx.serialNumber !== "" ? " (SN: " + wdx.serialNumber + ")" : ""

    function back() {
        pad.clear()
        wrongPuk = false
        Navigator.backToMain()
    }

    Stack.onStatusChanged: if (Stack.status === Stack.Active) pad.forceActiveFocus()
    Component.onCompleted: pad.forceActiveFocus()

    PageHeader {
        id: header
        title: "Recovery mode"
        onBack: page.back()
    }

    Column {
        // Centred in the room under the header, never under it.
        y: header.height + Math.max(Theme.margin * devicePixelRatio, (page.height - header.height - height) / 2)
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: Theme.margin * devicePixelRatio

        Text {
            objectName: "pukPrompt"
            anchors.horizontalCenter: parent.horizontalCenter
            text: (page.wrongPuk ? "Wrong PUK, retry" : "Enter PUK") + page.serialSuffix
            color: page.wrongPuk ? Theme.warning : Theme.text
            font.family: applicationFont
            font.pixelSize: Theme.fontLarge * devicePixelRatio
        }

        CodePad {
            id: pad
            objectName: "pukPad"
            maxLength: 8
            submitText: "Recover"
            onSubmitted: {
                if (wdx.isValidPuk(code)) {
                    wdx.uploadFirmware()
                    page.back()
                } else {
                    pad.clear()
                    page.wrongPuk = true
                }
            }
        }
    }
}
