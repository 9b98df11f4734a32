import QtQuick 2.15
import "../../qml-utils"
import "../../Buttons"

// Digit entry for a PIN or a recovery code: the field shows one dot per digit and never the
// digits themselves; an on-screen keypad and the keyboard (digits, Backspace, Delete clears,
// Enter submits). The code lives only in this item: clear() wipes it, and nothing logs it.
FocusScope {
    id: pad
    property int maxLength: 6
    property string submitText: "OK"
    readonly property int length: entry.code.length
    signal submitted(string code)

    function clear() { entry.code = "" }
    function addDigit(digit) {
        if (entry.code.length < maxLength)
            entry.code += digit
    }
    function removeDigit() { entry.code = entry.code.slice(0, -1) }
    function submit() {
        if (entry.busy || !enabled || entry.code.length === 0)
            return
        // The handler may block in a local event loop while the device answers; keys and
        // clicks that arrive meanwhile must not submit a second time.
        entry.busy = true
        submitted(entry.code)
        entry.busy = false
    }

    QtObject {
        id: entry
        property string code: ""
        property bool busy: false
    }

    implicitWidth: keypad.width
    implicitHeight: column.implicitHeight
    opacity: enabled ? 1 : 0.5

    Keys.onPressed: {
        if (event.key >= Qt.Key_0 && event.key <= Qt.Key_9) {
            addDigit(String(event.key - Qt.Key_0))
        } else if (event.key === Qt.Key_Backspace) {
            removeDigit()
        } else if (event.key === Qt.Key_Delete) {
            clear()
        } else if (event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
            submit()
        } else {
            return
        }
        event.accepted = true
    }

    Column {
        id: column
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: Theme.margin * devicePixelRatio

        Row {
            id: field
            objectName: "codeField"
            readonly property int filled: entry.code.length
            anchors.horizontalCenter: parent.horizontalCenter
            height: 24 * devicePixelRatio
            spacing: 10 * devicePixelRatio
            Repeater {
                model: pad.maxLength
                Rectangle {
                    anchors.verticalCenter: parent.verticalCenter
                    width: 14 * devicePixelRatio
                    height: width
                    radius: width / 2
                    color: index < field.filled ? Theme.accent : "transparent"
                    border.width: Math.max(1, 1.5 * devicePixelRatio)
                    border.color: index < field.filled ? Theme.accent : Theme.textDim
                }
            }
        }

        Grid {
            id: keypad
            columns: 3
            spacing: Theme.spacing * devicePixelRatio
            readonly property real keyWidth: 72 * devicePixelRatio
            readonly property real keyHeight: 38 * devicePixelRatio
            Repeater {
                model: ["1", "2", "3", "4", "5", "6", "7", "8", "9"]
                VelaButton {
                    objectName: "key" + modelData
                    width: keypad.keyWidth
                    height: keypad.keyHeight
                    text: modelData
                    fontSize: Theme.fontLarge
                    activeFocusOnTab: false
                    onClicked: pad.addDigit(modelData)
                }
            }
            VelaButton {
                objectName: "clearButton"
                width: keypad.keyWidth
                height: keypad.keyHeight
                text: "Clear"
                activeFocusOnTab: false
                onClicked: pad.clear()
            }
            VelaButton {
                objectName: "key0"
                width: keypad.keyWidth
                height: keypad.keyHeight
                text: "0"
                fontSize: Theme.fontLarge
                activeFocusOnTab: false
                onClicked: pad.addDigit("0")
            }
            VelaButton {
                objectName: "keyBackspace"
                width: keypad.keyWidth
                height: keypad.keyHeight
                iconSource: "../../images/pages/backspace.svg"
                activeFocusOnTab: false
                onClicked: pad.removeDigit()
            }
        }

        VelaButton {
            objectName: "enterButton"
            width: keypad.width
            text: pad.submitText
            iconSource: "../../images/pages/check.svg"
            highlighted: true
            enabled: pad.length > 0
            activeFocusOnTab: false
            onClicked: pad.submit()
        }
    }
}
