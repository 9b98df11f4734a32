import QtQuick 2.15
import "../../qml-utils"
import "../../Controls"
import "../../Buttons"
import "OutputHelper.js" as Output

// The loudspeaker of one output and its variant (the crossover choice of the preset). The
// picker changes the loudspeaker; the variant is chosen here.
Rectangle {
    id: panel
    property int outputIndex: 0
    readonly property var output: wdx.getOutput(outputIndex)
    readonly property string presetId: output ? output.speakerId : ""
    readonly property bool known: Output.hasSpeaker(presetId) && speakerDb.getCabinetModeName(presetId) !== ""
    signal close()
    signal changeSpeaker()

    gradient: Gradient {
        GradientStop { position: 0.0; color: Theme.backgroundTop }
        GradientStop { position: 1.0; color: Theme.backgroundBottom }
    }
    MouseArea { anchors.fill: parent; hoverEnabled: true; onWheel: wheel.accepted = true }

    PageHeader {
        id: header
        title: "Loudspeaker · " + (panel.output ? panel.output.name : "")
        onBack: panel.close()
    }

    Column {
        id: current
        anchors.top: header.bottom
        anchors.left: parent.left
        anchors.margins: Theme.margin * devicePixelRatio
        width: parent.width * 0.42
        spacing: Theme.spacing * devicePixelRatio

        Image {
            objectName: "cabinetImage"
            width: 96 * devicePixelRatio
            height: width
            source: speakerDb.getCabinetImage(panel.presetId)
            sourceSize.width: width
            sourceSize.height: height
        }
        Row {
            visible: panel.known
            spacing: 4 * devicePixelRatio
            Image {
                objectName: "familyImage"
                anchors.verticalCenter: parent.verticalCenter
                width: 24 * devicePixelRatio
                height: width
                source: panel.known ? speakerDb.getFamilyImage(panel.presetId.charAt(0)) : ""
                sourceSize.width: width
                sourceSize.height: height
            }
            Text {
                objectName: "panelFamilyName"
                anchors.verticalCenter: parent.verticalCenter
                text: speakerDb.getFamilyName(panel.presetId.charAt(0))
                color: Theme.textDim
                font.family: applicationFont
                font.pixelSize: Theme.fontSmall * devicePixelRatio
            }
        }
        Text {
            objectName: "panelCabinetName"
            width: parent.width
            elide: Text.ElideRight
            text: panel.known ? speakerDb.getCabinetName(panel.presetId) : "No loudspeaker"
            color: Theme.text
            font.family: applicationFont
            font.pixelSize: Theme.fontLarge * devicePixelRatio
            font.bold: true
        }
        Text {
            objectName: "panelModeName"
            width: parent.width
            elide: Text.ElideRight
            visible: panel.known
            text: speakerDb.getCabinetModeName(panel.presetId)
            color: Theme.text
            font.family: applicationFont
            font.pixelSize: Theme.fontNormal * devicePixelRatio
        }
        VelaButton {
            objectName: "changeSpeakerButton"
            iconSource: "../../images/output/speaker.svg"
            text: "Change loudspeaker"
            onClicked: panel.changeSpeaker()
        }
    }

    Column {
        id: variants
        anchors.top: header.bottom
        anchors.left: current.right
        anchors.right: parent.right
        anchors.margins: Theme.margin * devicePixelRatio
        anchors.leftMargin: 2 * Theme.margin * devicePixelRatio
        spacing: Theme.spacing * devicePixelRatio

        Text {
            text: "Variant"
            color: Theme.text
            font.family: applicationFont
            font.pixelSize: Theme.fontNormal * devicePixelRatio
            font.bold: true
        }
        Text {
            width: parent.width
            wrapMode: Text.WordWrap
            visible: Output.sharesSpeaker(panel.outputIndex)
            text: "Main L and Main R share one loudspeaker and one variant."
            color: Theme.textDim
            font.family: applicationFont
            font.pixelSize: Theme.fontSmall * devicePixelRatio
        }
        Repeater {
            model: panel.known ? speakerDb.getCabinetModeVariantList(panel.presetId) : []
            delegate: VelaButton {
                objectName: "variant" + modelData
                readonly property int variantId: Number(modelData)
                width: variants.width
                checked: panel.output ? panel.output.speakerVariant === variantId : false
                text: speakerDb.getCabinetVariantName(panel.presetId, variantId) + "   "
                      + Output.variantRangeText(speakerDb, panel.presetId, variantId)
                onClicked: {
                    if (EditGuard.canEdit())
                        wdx.outputList().setSpeakerVariant(panel.outputIndex, variantId)
                }
            }
        }
        Text {
            visible: !panel.known
            text: "Load a loudspeaker to choose its variant."
            color: Theme.textDim
            font.family: applicationFont
            font.pixelSize: Theme.fontSmall * devicePixelRatio
        }
    }
}
