import QtQuick 2.15
import "../../qml-utils"
import "../../Controls"
import "../../Buttons"

// The equaliser of one pre-processing channel: the plot with its handles, the band list and
// the selected band's values. It covers the input patch screen while open (screen "eq");
// closing it reports the input screen again.
Item {
    id: editor
    property int channel: 0
    property bool opened: false
    readonly property QtObject preProc: wdx.preProcList()
    readonly property QtObject channelItem: wdx.getPreProc(channel)
    readonly property QtObject eq: channelItem ? channelItem.eq : null
    signal closed()

    visible: opened

    function open(newChannel) {
        showChannel(newChannel)
        opened = true
        wdx.activeScreen = "eq"
    }
    function close() {
        if (!opened)
            return
        plot.letGo()
        opened = false
        wdx.activeScreen = "input"
        closed()
    }
    function showChannel(newChannel) {
        plot.letGo()
        channel = newChannel
        preProc.setSelectedChannelIndex(newChannel)
        selectSomeBand()
    }
    // With nothing selected the band panel would be empty; the lowest band is a fair start.
    function selectSomeBand() {
        if (!eq || eq.selectedBandId >= 0 || eq.usedBandCount === 0)
            return
        eq.selectFirstUsedBand()
        if (eq.selectedBandId >= 0)
            preProc.setSelectedBandId(channel, eq.selectedBandId)
    }
    function toggleEnabled() {
        if (eq && EditGuard.canEdit())
            eq.isEnabled = !eq.isEnabled
    }

    // Leaving the input page some other way (the main or output screen takes over) ends the
    // edit view without claiming the input screen.
    Connections {
        target: wdx
        function onActiveScreenChanged() {
            if (editor.opened && wdx.activeScreen !== "eq" && wdx.activeScreen !== "input") {
                plot.letGo()
                editor.opened = false
            }
        }
    }

    Connections {
        target: editor.eq
        // Later: a reply marks its bands used before it orders them.
        function onUsedBandCountChanged() {
            if (editor.opened)
                Qt.callLater(editor.selectSomeBand)
        }
    }

    Rectangle {
        anchors.fill: parent
        gradient: Gradient {
            GradientStop { position: 0.0; color: Theme.backgroundTop }
            GradientStop { position: 1.0; color: Theme.backgroundBottom }
        }
    }
    // The input screen underneath takes no clicks while the editor is open.
    MouseArea { anchors.fill: parent; hoverEnabled: true; onWheel: wheel.accepted = true }

    PageHeader {
        id: header
        anchors.top: parent.top
        title: (editor.channelItem ? editor.channelItem.name : "") + " EQ"
               + (editor.preProc.isEqLinked ? " (linked)" : "")
        onBack: editor.close()

        Repeater {
            model: wdx.preProcList()
            VelaButton {
                objectName: "eqChannel" + channelIndex
                text: name
                implicitWidth: 64 * devicePixelRatio
                checked: editor.channel === channelIndex
                onClicked: editor.showChannel(channelIndex)
            }
        }
        VelaButton {
            objectName: "eqEnableButton"
            text: editor.eq && editor.eq.isEnabled ? "EQ on" : "EQ off"
            implicitWidth: 72 * devicePixelRatio
            checked: editor.eq !== null && editor.eq.isEnabled
            onClicked: editor.toggleEnabled()
        }
    }

    EqPlot {
        id: plot
        objectName: "eqPlot"
        anchors.top: header.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: Theme.margin * devicePixelRatio
        anchors.rightMargin: Theme.margin * devicePixelRatio
        height: parent.height * 0.4
        channel: editor.channel
        eq: editor.eq
    }

    EqBandList {
        id: bandList
        objectName: "eqBandList"
        anchors.top: plot.bottom
        anchors.topMargin: Theme.spacing * devicePixelRatio
        anchors.left: parent.left
        anchors.leftMargin: Theme.margin * devicePixelRatio
        anchors.bottom: parent.bottom
        anchors.bottomMargin: Theme.margin * devicePixelRatio
        width: (parent.width - 3 * Theme.margin * devicePixelRatio) / 2
        channel: editor.channel
        eq: editor.eq
        onFull: maxBandsPopup.show("Maximum number of bands reached")
    }

    EqBandPanel {
        id: bandPanel
        objectName: "eqBandPanel"
        anchors.top: plot.bottom
        anchors.topMargin: Theme.spacing * devicePixelRatio
        anchors.left: bandList.right
        anchors.leftMargin: Theme.margin * devicePixelRatio
        anchors.right: parent.right
        anchors.rightMargin: Theme.margin * devicePixelRatio
        anchors.bottom: parent.bottom
        anchors.bottomMargin: Theme.margin * devicePixelRatio
        channel: editor.channel
        eq: editor.eq
        onHeldChanged: plot.setEditing(held)
    }

    MessagePopup {
        id: maxBandsPopup
        objectName: "maxBandsPopup"
    }
}
