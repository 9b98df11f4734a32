import QtQuick 2.15
import "../../Controls"
import "../../Buttons"
import "../../qml-utils"

// The application's and the device's settings: lock, tutorial, update check, the firmware
// versions; in developer mode also the developer pages and switches.
Item {
    id: page
    objectName: "settingsView"

    function back() { Navigator.backToMain() }
    function versionText(version) { return version !== "" ? version : "–" }

    PageHeader {
        id: header
        title: "Settings"
        onBack: page.back()
    }

    Flickable {
        id: flick
        anchors.top: header.bottom
        anchors.bottom: parent.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: Theme.margin * devicePixelRatio
        contentHeight: content.height
        boundsBehavior: Flickable.StopAtBounds
        clip: true

        Column {
            id: content
            width: flick.width
            spacing: Theme.margin * devicePixelRatio

            Row {
                id: topRow
                width: parent.width
                spacing: Theme.margin * devicePixelRatio
                readonly property real columnWidth: (width - spacing) / 2

                // --- The device and the application ---
                Rectangle {
                    width: topRow.columnWidth
                    height: Math.max(deviceColumn.height, versionColumn.height)
                    radius: Theme.radius * devicePixelRatio
                    color: Theme.panel
                    border.color: Theme.line
                    border.width: Math.max(1, devicePixelRatio / 2)

                    Column {
                        id: deviceColumn
                        x: Theme.margin * devicePixelRatio
                        width: parent.width - 2 * x
                        topPadding: Theme.margin * devicePixelRatio
                        bottomPadding: Theme.margin * devicePixelRatio
                        spacing: Theme.spacing * devicePixelRatio

                        SectionTitle { text: "Device" }
                        Text {
                            objectName: "settingsDeviceName"
                            width: parent.width
                            elide: Text.ElideRight
                            text: wdx.isConnected ? wdx.name : wdx.name + " (Offline)"
                            color: Theme.text
                            font.family: applicationFont
                            font.pixelSize: Theme.fontNormal * devicePixelRatio
                            font.bold: true
                        }
                        VelaButton {
                            objectName: "lockToggleButton"
                            width: parent.width
                            text: wdx.isLocked ? "Unlock device" : "Lock device"
                            iconSource: wdx.isLocked ? "../../images/ui/unlock.svg" : "../../images/ui/lock.svg"
                            enabled: wdx.isConnected
                            onClicked: Navigator.push("Views/Settings/PinView.qml")
                        }
                        VelaButton {
                            objectName: "tutorialButton"
                            width: parent.width
                            text: "Tutorial"
                            onClicked: Navigator.showTutorial()
                        }
                        SettingsToggle {
                            objectName: "autoUpdateToggle"
                            width: parent.width
                            visible: !wdx.isBetaVersion
                            text: "Automatically look for Vela updates"
                            checked: wdx.autoUpdateEnabled
                            onToggled: wdx.autoUpdateEnabled = checked
                        }
                    }
                }

                // --- What runs on the device, what the application would install ---
                Rectangle {
                    width: topRow.columnWidth
                    height: Math.max(deviceColumn.height, versionColumn.height)
                    radius: Theme.radius * devicePixelRatio
                    color: Theme.panel
                    border.color: Theme.line
                    border.width: Math.max(1, devicePixelRatio / 2)

                    Column {
                        id: versionColumn
                        x: Theme.margin * devicePixelRatio
                        width: parent.width - 2 * x
                        topPadding: Theme.margin * devicePixelRatio
                        bottomPadding: Theme.margin * devicePixelRatio
                        spacing: Theme.spacing * devicePixelRatio

                        SectionTitle { text: "Versions" }
                        Grid {
                            id: versionGrid
                            objectName: "versionGrid"
                            width: parent.width
                            columns: 3
                            rowSpacing: 4 * devicePixelRatio
                            readonly property real labelWidth: width * 0.4
                            readonly property real valueWidth: width * 0.3

                            VersionCell { width: versionGrid.labelWidth; text: "" }
                            VersionCell { width: versionGrid.valueWidth; text: "Device"; dim: true }
                            VersionCell { width: versionGrid.valueWidth; text: "Package"; dim: true }

                            VersionCell { width: versionGrid.labelWidth; text: "Main"; dim: true }
                            VersionCell { objectName: "deviceMainVersion"; width: versionGrid.valueWidth; text: page.versionText(wdx.mainFwVersion) }
                            VersionCell { objectName: "packageMainVersion"; width: versionGrid.valueWidth; text: page.versionText(firmwareDb.mainFwVersion) }

                            VersionCell { width: versionGrid.labelWidth; text: "DSP"; dim: true }
                            VersionCell { objectName: "deviceDspVersion"; width: versionGrid.valueWidth; text: page.versionText(wdx.dspFwVersion) }
                            VersionCell { objectName: "packageDspVersion"; width: versionGrid.valueWidth; text: page.versionText(firmwareDb.dspFwVersion) }

                            VersionCell { width: versionGrid.labelWidth; text: "Presets"; dim: true }
                            VersionCell { objectName: "devicePresetVersion"; width: versionGrid.valueWidth; text: page.versionText(wdx.presetFwVersion) }
                            VersionCell { objectName: "packagePresetVersion"; width: versionGrid.valueWidth; text: page.versionText(firmwareDb.presetsVersion) }
                        }
                        Text {
                            objectName: "applicationVersion"
                            width: parent.width
                            elide: Text.ElideRight
                            text: "Vela " + page.versionText(Qt.application.version)
                            color: Theme.textDim
                            font.family: applicationFont
                            font.pixelSize: Theme.fontSmall * devicePixelRatio
                        }
                    }
                }
            }

            // --- Developer mode only ---
            Rectangle {
                objectName: "developerSection"
                visible: wdx.devModeEnabled
                width: parent.width
                height: developerColumn.height
                radius: Theme.radius * devicePixelRatio
                color: Theme.panel
                border.color: Theme.line
                border.width: Math.max(1, devicePixelRatio / 2)

                Column {
                    id: developerColumn
                    x: Theme.margin * devicePixelRatio
                    width: parent.width - 2 * x
                    topPadding: Theme.margin * devicePixelRatio
                    bottomPadding: Theme.margin * devicePixelRatio
                    spacing: Theme.spacing * devicePixelRatio

                    SectionTitle { text: "Developer" }
                    Grid {
                        id: developerGrid
                        width: parent.width
                        columns: 2
                        columnSpacing: 2 * Theme.margin * devicePixelRatio
                        rowSpacing: Theme.spacing * devicePixelRatio
                        readonly property real cellWidth: (width - columnSpacing) / 2

                        VelaButton {
                            objectName: "testCommunicationButton"
                            width: developerGrid.cellWidth
                            text: "Test communication"
                            onClicked: {
                                wdx.activeScreen = "test"
                                Navigator.push("Test/CommunicationTestPage.qml")
                            }
                        }
                        VelaButton {
                            objectName: "changeFirmwareButton"
                            width: developerGrid.cellWidth
                            text: "Change Firmware"
                            iconSource: "../../images/pages/upload.svg"
                            onClicked: Navigator.push("Views/FirmwareUpdate/FirmwareUpdatePage.qml")
                        }
                        SettingsToggle {
                            objectName: "logsToggle"
                            width: developerGrid.cellWidth
                            text: "Logs"
                            checked: wdx.logEnabled
                            onToggled: wdx.logEnabled = checked
                        }
                        SettingsToggle {
                            objectName: "devModeToggle"
                            width: developerGrid.cellWidth
                            text: "Dev mode"
                            checked: wdx.devModeEnabled
                            onToggled: wdx.devModeEnabled = checked
                        }
                    }
                }
            }
        }
    }

    component SectionTitle: Text {
        color: Theme.textDim
        font.family: applicationFont
        font.pixelSize: Theme.fontSmall * devicePixelRatio
        font.capitalization: Font.AllUppercase
        font.letterSpacing: devicePixelRatio
    }

    component VersionCell: Text {
        property bool dim: false
        elide: Text.ElideRight
        color: dim ? Theme.textDim : Theme.text
        font.family: applicationFont
        font.pixelSize: (dim ? Theme.fontSmall : Theme.fontNormal) * devicePixelRatio
    }
}
