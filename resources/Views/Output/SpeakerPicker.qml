import QtQuick 2.15
import "../../qml-utils"
import "../../Controls"
import "../../Buttons"
import "OutputHelper.js" as Output

// Choosing the loudspeaker of an output: family, cabinet and mode, among what the carried
// firmware can load on that output (full-range presets on the mains, subwoofer presets on the
// sub), with the variants of the chosen mode. Loading runs the preset upload; its progress
// shows over every page.
Rectangle {
    id: picker
    objectName: "speakerPicker"
    property int outputIndex: 0
    readonly property var output: wdx.getOutput(outputIndex)
    readonly property string currentId: output ? output.speakerId : ""

    property string familyId: ""
    property string cabinetId: ""
    property string modeId: ""
    readonly property var familyIds: Output.families(speakerDb, firmwareDb, outputIndex)
    readonly property var cabinetIds: familyId !== "" ? Output.cabinets(speakerDb, firmwareDb, outputIndex, familyId) : []
    readonly property var modeIds: cabinetId !== "" ? Output.modes(speakerDb, firmwareDb, outputIndex, cabinetId) : []

    gradient: Gradient {
        GradientStop { position: 0.0; color: Theme.backgroundTop }
        GradientStop { position: 1.0; color: Theme.backgroundBottom }
    }
    MouseArea { anchors.fill: parent; hoverEnabled: true; onWheel: wheel.accepted = true }

    function back() {
        wdx.activeScreen = "speakerAndMode"
        Navigator.pop()
    }
    function pickFamily(id) {
        familyId = id
        pickCabinet(cabinetIds.length > 0 ? (cabinetIds.indexOf(currentId.substring(0, 2)) >= 0
                                             ? currentId.substring(0, 2) : cabinetIds[0]) : "")
    }
    function pickCabinet(id) {
        cabinetId = id
        modeId = modeIds.indexOf(currentId) >= 0 ? currentId : modeIds.length > 0 ? modeIds[0] : ""
    }
    function load() {
        if (modeId === "" || !EditGuard.canEdit())
            return
        wdx.uploadSpeakerPreset(outputIndex, modeId)
        back()
    }
    // Opens on the output's own loudspeaker when the firmware offers it.
    Component.onCompleted: {
        var family = currentId.charAt(0)
        pickFamily(familyIds.indexOf(family) >= 0 ? family : familyIds.length > 0 ? familyIds[0] : "")
    }

    PageHeader {
        id: header
        title: "Loudspeaker for " + (picker.output ? picker.output.name : "")
        onBack: picker.back()
        VelaButton {
            objectName: "loadSpeakerButton"
            text: "Load"
            highlighted: true
            // Loading what the output already runs would only repeat the upload.
            enabled: picker.modeId !== "" && picker.modeId !== picker.currentId
            onClicked: picker.load()
        }
    }

    Row {
        id: columns
        anchors.top: header.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: Theme.margin * devicePixelRatio
        spacing: Theme.spacing * devicePixelRatio
        readonly property real unit: (width - 3 * spacing) / 6.2

        PickerColumn {
            objectName: "familyColumn"
            title: "Family"
            width: columns.unit * 1.2
            height: parent.height
            model: picker.familyIds
            delegate: PickerRow {
                objectName: "family" + modelData
                width: ListView.view.width
                height: 64 * devicePixelRatio
                selected: picker.familyId === modelData
                iconSource: speakerDb.getFamilyImage(modelData, pressed ? "pressed" : hovered ? "hovered" : "")
                iconOnly: true
                text: speakerDb.getFamilyName(modelData)
                onClicked: picker.pickFamily(modelData)
            }
        }
        PickerColumn {
            objectName: "cabinetColumn"
            title: "Cabinet"
            width: columns.unit * 1.8
            height: parent.height
            model: picker.cabinetIds
            delegate: PickerRow {
                objectName: "cabinet" + modelData
                width: ListView.view.width
                selected: picker.cabinetId === modelData
                iconSource: speakerDb.getCabinetImage(modelData)
                text: speakerDb.getCabinetName(modelData)
                onClicked: picker.pickCabinet(modelData)
            }
        }
        PickerColumn {
            objectName: "modeColumn"
            title: "Mode"
            width: columns.unit * 1.6
            height: parent.height
            model: picker.modeIds
            delegate: PickerRow {
                objectName: "mode" + modelData
                width: ListView.view.width
                height: 36 * devicePixelRatio
                selected: picker.modeId === modelData
                text: speakerDb.getCabinetModeName(modelData) + (modelData === picker.currentId ? "  (loaded)" : "")
                onClicked: picker.modeId = modelData
            }
        }
        // What the chosen mode offers; the variant itself is picked on the output's panel.
        PickerColumn {
            objectName: "variantColumn"
            title: "Variants"
            width: columns.unit * 1.6
            height: parent.height
            model: picker.modeId !== "" ? speakerDb.getCabinetModeVariantList(picker.modeId) : []
            delegate: Column {
                objectName: "variantInfo" + modelData
                width: ListView.view.width
                bottomPadding: 6 * devicePixelRatio
                Text {
                    width: parent.width
                    elide: Text.ElideRight
                    text: speakerDb.getCabinetVariantName(picker.modeId, Number(modelData))
                    color: Theme.text
                    font.family: applicationFont
                    font.pixelSize: Theme.fontSmall * devicePixelRatio
                }
                Text {
                    width: parent.width
                    elide: Text.ElideRight
                    text: Output.variantRangeText(speakerDb, picker.modeId, Number(modelData))
                    color: Theme.textDim
                    font.family: applicationFont
                    font.pixelSize: Theme.fontSmall * devicePixelRatio
                }
            }
            footer: Text {
                width: columns.unit * 1.6 - 8 * devicePixelRatio
                topPadding: Theme.spacing * devicePixelRatio
                wrapMode: Text.WordWrap
                visible: Output.sharesSpeaker(picker.outputIndex)
                text: "Loads on Main L and Main R."
                color: Theme.textDim
                font.family: applicationFont
                font.pixelSize: Theme.fontSmall * devicePixelRatio
            }
        }
    }
}
