import QtQuick 2.15
import QtQuick.Controls 1.4
import QtQuick.Controls.Styles 1.4
import "../qml-utils"

// A request frame typed as hexadecimal byte pairs.
TextField {
    height: 28 * devicePixelRatio
    font.family: "monospace"
    font.pixelSize: Theme.fontNormal * devicePixelRatio
    inputMethodHints: Qt.ImhNoPredictiveText
    style: TextFieldStyle {
        textColor: Theme.text
        selectionColor: Theme.accentDim
        selectedTextColor: Theme.text
        background: Rectangle {
            radius: Theme.radius * devicePixelRatio
            color: Theme.backgroundBottom
            border.width: Math.max(1, devicePixelRatio)
            border.color: control.activeFocus ? Theme.accent : Theme.line
        }
    }
}
