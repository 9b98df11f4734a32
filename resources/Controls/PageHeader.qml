import QtQuick 2.15
import "../Buttons"
import "../qml-utils"

// The strip at the top of a screen or page: a back button, a title and room for actions on
// the right (children go there).
Item {
    id: header
    property alias title: titleText.text
    property bool showBack: true
    default property alias actions: actionRow.data
    signal back()

    height: 48 * devicePixelRatio
    anchors.left: parent ? parent.left : undefined
    anchors.right: parent ? parent.right : undefined

    BackButton {
        id: backButton
        objectName: "backButton"
        visible: header.showBack
        anchors.left: parent.left
        anchors.leftMargin: Theme.spacing * devicePixelRatio
        anchors.verticalCenter: parent.verticalCenter
        onClicked: header.back()
    }
    Text {
        id: titleText
        objectName: "pageTitle"
        anchors.left: header.showBack ? backButton.right : parent.left
        anchors.leftMargin: Theme.margin * devicePixelRatio
        anchors.right: actionRow.left
        anchors.verticalCenter: parent.verticalCenter
        color: Theme.text
        elide: Text.ElideRight
        font.family: applicationFont
        font.pixelSize: Theme.fontLarge * devicePixelRatio
        font.bold: true
    }
    Row {
        id: actionRow
        anchors.right: parent.right
        anchors.rightMargin: Theme.margin * devicePixelRatio
        anchors.verticalCenter: parent.verticalCenter
        spacing: Theme.spacing * devicePixelRatio
    }
}
