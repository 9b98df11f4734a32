import QtQuick 2.15
import QtQuick.Controls 1.4
import "../../Controls"
import "../../qml-utils"

// Locks the device with a PIN of up to six digits, or unlocks it. The device checks the PIN;
// the application keeps none.
Item {
    id: page
    objectName: "pinView"
    property bool wrongPin: false

    function back() {
        pad.clear()
        wrongPin = false
        Navigator.backToMain()
    }

    Stack.onStatusChanged: if (Stack.status === Stack.Active) pad.forceActiveFocus()
    Component.onCompleted: pad.forceActiveFocus()

    PageHeader {
        id: header
        title: wdx.isLocked ? "Unlock device" : "Lock device"
        onBack: page.back()
    }

    Column {
        // Centred in the room under the header, never under it.
        y: header.height + Math.max(Theme.margin * devicePixelRatio, (page.height - header.height - height) / 2)
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: Theme.margin * devicePixelRatio

        Text {
            objectName: "pinPrompt"
            anchors.horizontalCenter: parent.horizontalCenter
            text: page.wrongPin ? "Wrong PIN, retry" : "Enter PIN"
            color: page.wrongPin ? Theme.warning : Theme.text
            font.family: applicationFont
            font.pixelSize: Theme.fontLarge * devicePixelRatio
        }

        CodePad {
            id: pad
            objectName: "pinPad"
            maxLength: 6
            enabled: wdx.isConnected
            submitText: wdx.isLocked ? "Unlock" : "Lock"
            onSubmitted: {
                if (!wdx.isLocked) {
                    securityTool.lock(code)
                    page.back()
                } else if (securityTool.unlock(code)) {
                    page.back()
                } else {
                    pad.clear()
                    page.wrongPin = true
                }
            }
        }
    }
}
