import QtQuick 2.15
import QtQuick.Controls 1.4
import QtQuick.Controls.Styles 1.4
import "../../Controls"
import "../../Buttons"
import "../../qml-utils"
import "FirmwareFile.js" as FirmwareFile

// Developer page: load another firmware package (.rvf), compare its versions with the
// device's and upload it, whole or in parts.
Item {
    id: page
    objectName: "firmwareUpdatePage"
    readonly property string builtInPackage: "qrc:/FirmwareUpdate/WDX_firmware.rvf"
    property string packageName: nameOf(FirmwareFile.givenPath())
    property string packageStatus: ""
    property bool packageFailed: false
    readonly property bool canUpload: wdx.isConnected && firmwareUpdater.state === "Idle"

    function back() { Navigator.backToMain() }
    function versionText(version) { return version !== "" ? version : "–" }
    function nameOf(path) { return path === FirmwareFile.localPath(builtInPackage) ? "Built-in package" : FirmwareFile.fileName(path) }

    // A file picked by the user; anything but a firmware package is refused here.
    function choose(url) {
        if (!FirmwareFile.isPackage(url)) {
            packageStatus = "Only .rvf firmware packages can be loaded"
            packageFailed = true
            return false
        }
        var path = FirmwareFile.localPath(url)
        packageName = nameOf(path)
        packageFailed = false
        if (path === FirmwareFile.givenPath()) {
            packageStatus = packageName + " is loaded"
            return true
        }
        packageStatus = "Loading " + packageName
        FirmwareFile.setGivenPath(path)
        firmwareUpdater.reload(path)
        return true
    }

    Connections {
        target: firmwareUpdater
        function onFwLoaded() {
            page.packageStatus = "Loaded " + page.packageName
            page.packageFailed = false
        }
        function onFailed() {
            page.packageStatus = "Failed: " + firmwareUpdater.debugMessage
            page.packageFailed = true
        }
    }

    Loader {
        id: dialogLoader
        active: false
        source: "FirmwareFileDialog.qml"
        onLoaded: item.open()
    }
    Connections {
        target: dialogLoader.item
        function onAccepted() { page.choose(dialogLoader.item.fileUrl) }
    }

    PageHeader {
        id: header
        title: "Change Firmware"
        onBack: page.back()
    }

    Column {
        id: content
        anchors.top: header.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: Theme.margin * devicePixelRatio
        spacing: Theme.margin * devicePixelRatio

        // --- Package ---
        Row {
            width: parent.width
            spacing: Theme.spacing * devicePixelRatio
            VelaButton {
                id: chooseButton
                objectName: "chooseFileButton"
                text: "Choose .rvf file"
                iconSource: "../../images/pages/folder.svg"
                enabled: firmwareUpdater.state === "Idle"
                onClicked: {
                    if (dialogLoader.item)
                        dialogLoader.item.open()
                    else
                        dialogLoader.active = true
                }
            }
            VelaButton {
                id: builtInButton
                objectName: "builtInButton"
                text: "Built-in package"
                enabled: firmwareUpdater.state === "Idle"
                onClicked: page.choose(page.builtInPackage)
            }
            Text {
                objectName: "packageName"
                width: parent.width - chooseButton.width - builtInButton.width - 2 * parent.spacing
                anchors.verticalCenter: parent.verticalCenter
                horizontalAlignment: Text.AlignRight
                elide: Text.ElideMiddle
                text: page.packageName
                color: Theme.text
                font.family: applicationFont
                font.pixelSize: Theme.fontNormal * devicePixelRatio
            }
        }

        // --- Versions: on the device, in the package ---
        Rectangle {
            width: parent.width
            height: versionGrid.height + 2 * Theme.margin * devicePixelRatio
            radius: Theme.radius * devicePixelRatio
            color: Theme.panel
            border.color: Theme.line
            border.width: Math.max(1, devicePixelRatio / 2)

            Grid {
                id: versionGrid
                x: Theme.margin * devicePixelRatio
                y: Theme.margin * devicePixelRatio
                width: parent.width - 2 * x
                columns: 4
                rowSpacing: 4 * devicePixelRatio

                Cell { text: "" }
                Cell { text: "Main"; dim: true }
                Cell { text: "DSP"; dim: true }
                Cell { text: "Presets"; dim: true }

                Cell { text: "Device"; dim: true }
                Cell { objectName: "deviceMainVersion"; text: page.versionText(wdx.mainFwVersion) }
                Cell { objectName: "deviceDspVersion"; text: page.versionText(wdx.dspFwVersion) }
                Cell { objectName: "devicePresetVersion"; text: page.versionText(wdx.presetFwVersion) }

                Cell { text: "Package"; dim: true }
                Cell { objectName: "packageMainVersion"; text: page.versionText(firmwareUpdater.mainFwVersion) }
                Cell { objectName: "packageDspVersion"; text: page.versionText(firmwareUpdater.dspFwVersion) }
                Cell { objectName: "packagePresetVersion"; text: page.versionText(firmwareDb.presetsVersion) }
            }
        }

        // --- Upload ---
        Row {
            spacing: Theme.spacing * devicePixelRatio
            VelaButton {
                objectName: "uploadAllButton"
                text: "Upload all"
                iconSource: "../../images/pages/upload.svg"
                highlighted: true
                enabled: page.canUpload
                onClicked: wdx.uploadFirmware()
            }
            VelaButton {
                objectName: "uploadMainButton"
                text: "Main only"
                enabled: page.canUpload
                onClicked: firmwareUpdater.startUploadMainFirmware()
            }
            VelaButton {
                objectName: "uploadDspButton"
                text: "DSP only"
                enabled: page.canUpload
                onClicked: firmwareUpdater.startUploadDspFirmware()
            }
        }

        ProgressBar {
            objectName: "firmwareProgress"
            width: parent.width
            height: 10 * devicePixelRatio
            minimumValue: 0
            maximumValue: 1
            value: firmwareUpdater.progress
            style: ProgressBarStyle {
                background: Rectangle { radius: height / 2; color: Theme.panel; border.color: Theme.line }
                progress: Rectangle { radius: height / 2; color: Theme.accent }
            }
        }
        Item {
            width: parent.width
            height: stateText.height
            Text {
                id: stateText
                objectName: "firmwareState"
                anchors.left: parent.left
                text: "State: " + firmwareUpdater.state
                color: Theme.text
                font.family: applicationFont
                font.pixelSize: Theme.fontNormal * devicePixelRatio
            }
            Text {
                objectName: "firmwareProgressText"
                anchors.right: parent.right
                text: Math.round(firmwareUpdater.progress * 100) + " %"
                      + (firmwareUpdater.timeToEnd > 0 ? ", " + firmwareUpdater.timeToEnd + " s left" : "")
                color: Theme.text
                font.family: applicationFont
                font.pixelSize: Theme.fontNormal * devicePixelRatio
            }
        }
        Text {
            objectName: "packageStatus"
            width: parent.width
            visible: text !== ""
            wrapMode: Text.WordWrap
            text: page.packageStatus
            color: page.packageFailed ? Theme.warning : Theme.text
            font.family: applicationFont
            font.pixelSize: Theme.fontNormal * devicePixelRatio
        }
        Text {
            objectName: "firmwareDisplayMessage"
            width: parent.width
            visible: text !== ""
            wrapMode: Text.WordWrap
            text: firmwareUpdater.displayMessage
            color: Theme.text
            font.family: applicationFont
            font.pixelSize: Theme.fontNormal * devicePixelRatio
        }
        Text {
            objectName: "firmwareDebugMessage"
            width: parent.width
            wrapMode: Text.WordWrap
            text: firmwareUpdater.debugMessage
            color: Theme.textDim
            font.family: applicationFont
            font.pixelSize: Theme.fontSmall * devicePixelRatio
        }
    }

    component Cell: Text {
        property bool dim: false
        width: parent ? parent.width / 4 : 0
        elide: Text.ElideRight
        color: dim ? Theme.textDim : Theme.text
        font.family: applicationFont
        font.pixelSize: (dim ? Theme.fontSmall : Theme.fontNormal) * devicePixelRatio
    }
}
