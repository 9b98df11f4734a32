import QtQuick 2.15
import QtQuick.Controls 1.4
import QtQuick.Controls.Styles 1.4
import "../../qml-utils"
import "../../Controls"
import "../../Buttons"

// The full-window views of application and firmware-update states, and the application's
// popups. They lie over every page, so a state shows even while a page is pushed.
Item {
    id: stateViews
    // A page pushed from a state view (the recovery PIN from the fatal view) lies over it.
    property bool pageOnTop: false

    readonly property string appState: wdx.state
    readonly property bool uploading: ["UploadingMain", "UploadingDsp", "UploadingPreset"].indexOf(firmwareUpdater.state) >= 0
    readonly property string activeView: uploading ? "upload"
                                        : appState === "RequireMainFw" ? "firmwareRequest"
                                        : appState === "LockedOnBoot" ? "fatal"
                                        : ["FatalError", "CheckStatus", "ReadLockStatus"].indexOf(appState) >= 0 ? "loading"
                                        : ""


    StateOverlay {
        objectName: "firmwareRequestView"
        active: stateViews.activeView === "firmwareRequest"
        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: "WDX version is not compatible with this application. Update WDX or close this application."
            color: Theme.text
            font.family: applicationFont
            font.pixelSize: Theme.fontLarge * devicePixelRatio
        }
        VelaButton {
            objectName: "updateWdxButton"
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Update WDX"
            highlighted: true
            onClicked: wdx.uploadFirmware()
        }
    }

    StateOverlay {
        objectName: "uploadView"
        active: stateViews.activeView === "upload"
        Text {
            objectName: "uploadMessage"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: firmwareUpdater.displayMessage
            color: Theme.text
            font.family: applicationFont
            font.pixelSize: Theme.fontLarge * devicePixelRatio
        }
        ProgressBar {
            objectName: "uploadProgress"
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
        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: Math.round(firmwareUpdater.progress * 100) + " %"
            color: Theme.textDim
            font.family: applicationFont
            font.pixelSize: Theme.fontNormal * devicePixelRatio
        }
    }

    StateOverlay {
        objectName: "loadingView"
        active: stateViews.activeView === "loading"
        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: "Loading, please wait"
            color: Theme.text
            font.family: applicationFont
            font.pixelSize: Theme.fontTitle * devicePixelRatio
        }
    }

    StateOverlay {
        objectName: "fatalView"
        active: stateViews.activeView === "fatal" && !stateViews.pageOnTop
        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: "Please unplug and replug the WDX, or try recovery mode"
            color: Theme.text
            font.family: applicationFont
            font.pixelSize: Theme.fontLarge * devicePixelRatio
        }
        VelaButton {
            objectName: "recoveryButton"
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Recovery mode"
            onClicked: Navigator.push("Views/Settings/RecoveryPinView.qml")
        }
    }

    // Edits refused while locked or in hardware mode say why; the model puts locked first.
    MessagePopup {
        id: readOnlyPopup
        objectName: "readOnlyPopup"
    }
    Connections {
        target: EditGuard
        function onRefused(message) { readOnlyPopup.show(message) }
    }

    MessagePopup {
        id: newVersionPopup
        objectName: "newVersionPopup"
        persistent: true
        text: "Vela " + wdx.onlineApplicationVersion + " available"
        VelaButton {
            objectName: "downloadButton"
            text: "Download"
            highlighted: true
            onClicked: { newVersionPopup.hide(); wdx.downloadLatestVersion() }
        }
        VelaButton {
            objectName: "discardButton"
            text: "Not now"
            onClicked: { newVersionPopup.hide(); wdx.discardLatestVersion() }
        }
    }
    Connections {
        target: wdx
        function onOnlineApplicationVersionChanged() {
            if (wdx.onlineApplicationVersion !== "" && wdx.onlineApplicationVersion !== wdx.lastVersionToDiscard)
                newVersionPopup.show()
        }
    }
}
