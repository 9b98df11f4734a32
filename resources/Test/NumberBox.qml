import QtQuick 2.15
import QtQuick.Controls 1.4
import QtQuick.Controls.Styles 1.4
import "../qml-utils"

SpinBox {
    height: 28 * devicePixelRatio
    font.family: applicationFont
    font.pixelSize: Theme.fontNormal * devicePixelRatio
    style: SpinBoxStyle {
        textColor: Theme.text
        selectionColor: Theme.accentDim
        selectedTextColor: Theme.text
        background: Rectangle {
            implicitWidth: 80 * devicePixelRatio
            radius: Theme.radius * devicePixelRatio
            color: Theme.backgroundBottom
            border.width: Math.max(1, devicePixelRatio)
            border.color: control.activeFocus ? Theme.accent : Theme.line
        }
        incrementControl: Item {
            implicitWidth: 16 * devicePixelRatio
            implicitHeight: 12 * devicePixelRatio
            Image {
                anchors.centerIn: parent
                width: 12 * devicePixelRatio
                height: width
                source: "../images/ui/up.svg"
                sourceSize.width: width
                sourceSize.height: height
                opacity: styleData.upPressed ? 0.6 : 1
            }
        }
        decrementControl: Item {
            implicitWidth: 16 * devicePixelRatio
            implicitHeight: 12 * devicePixelRatio
            Image {
                anchors.centerIn: parent
                width: 12 * devicePixelRatio
                height: width
                source: "../images/ui/down.svg"
                sourceSize.width: width
                sourceSize.height: height
                opacity: styleData.downPressed ? 0.6 : 1
            }
        }
    }
}
