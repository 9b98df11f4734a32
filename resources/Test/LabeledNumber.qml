import QtQuick 2.15
import QtQml 2.15
import "../qml-utils"

// A number of the tester with its label. The box follows the tester's value unless the user
// is typing in it; a change of the user's goes out through edited().
Item {
    id: labeled
    property alias label: labelText.text
    property alias boxName: numberBox.objectName
    property alias maximumValue: numberBox.maximumValue
    property alias stepSize: numberBox.stepSize
    property alias suffix: numberBox.suffix
    property int modelValue: 0
    signal edited(int value)

    height: numberBox.height

    Text {
        id: labelText
        anchors.left: parent.left
        anchors.right: numberBox.left
        anchors.rightMargin: 4 * devicePixelRatio
        anchors.verticalCenter: parent.verticalCenter
        elide: Text.ElideRight
        color: Theme.textDim
        font.family: applicationFont
        font.pixelSize: Theme.fontSmall * devicePixelRatio
    }
    NumberBox {
        id: numberBox
        anchors.right: parent.right
        width: parent.width * 0.58
        // Only what the user does goes out: a clamp while the box is set up must not write the tester.
        onValueChanged: if (activeFocus && value !== labeled.modelValue) labeled.edited(value)
    }
    Binding {
        target: numberBox
        property: "value"
        value: labeled.modelValue
        when: !numberBox.activeFocus
        restoreMode: Binding.RestoreNone
    }
}
