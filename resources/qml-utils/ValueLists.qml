pragma Singleton
import QtQuick 2.15
import QtQuick.XmlListModel 2.0

// The value lists, loaded once for the whole scene (the delay list alone has 2281 rows).
// Helpers of ParameterXmlModelHelper.js take these as their model argument.
QtObject {
    readonly property XmlListModel gain: XmlListModel {
        source: "qrc:/xml/gainList.xml"
        query: "/paramList/paramValue"
        XmlRole { name: "deviceValue"; query: "deviceValue/number()" }
        XmlRole { name: "displayValue"; query: "displayValue/number()" }
    }
    readonly property XmlListModel threshold: XmlListModel {
        source: "qrc:/xml/thresholdList.xml"
        query: "/paramList/paramValue"
        XmlRole { name: "deviceValue"; query: "deviceValue/number()" }
        XmlRole { name: "displayValue"; query: "displayValue/number()" }
    }
    readonly property XmlListModel frequency: XmlListModel {
        source: "qrc:/xml/frequencyList.xml"
        query: "/paramList/paramValue"
        XmlRole { name: "deviceValue"; query: "deviceValue/number()" }
        XmlRole { name: "displayValue"; query: "displayValue/number()" }
    }
    readonly property XmlListModel q: XmlListModel {
        source: "qrc:/xml/qList.xml"
        query: "/paramList/paramValue"
        XmlRole { name: "deviceValue"; query: "deviceValue/number()" }
        XmlRole { name: "displayValue"; query: "displayValue/number()" }
    }
    readonly property XmlListModel ratio: XmlListModel {
        source: "qrc:/xml/compressionRatio.xml"
        query: "/paramList/paramValue"
        XmlRole { name: "deviceValue"; query: "deviceValue/number()" }
        XmlRole { name: "displayValue"; query: "compressionRatio/number()" }
        XmlRole { name: "decreasingDisplayValue"; query: "inverseCompressionRatio/number()" }
    }
    readonly property XmlListModel delayMs: XmlListModel {
        source: "qrc:/xml/delayList.xml"
        query: "/paramList/paramValue"
        XmlRole { name: "deviceValue"; query: "deviceValue/number()" }
        XmlRole { name: "displayValue"; query: "timeValue/number()" }
    }
    readonly property XmlListModel delayM: XmlListModel {
        source: "qrc:/xml/delayList.xml"
        query: "/paramList/paramValue"
        XmlRole { name: "deviceValue"; query: "deviceValue/number()" }
        XmlRole { name: "displayValue"; query: "meterValue/number()" }
    }
    readonly property XmlListModel delayFt: XmlListModel {
        source: "qrc:/xml/delayList.xml"
        query: "/paramList/paramValue"
        XmlRole { name: "deviceValue"; query: "deviceValue/number()" }
        XmlRole { name: "displayValue"; query: "feetValue/number()" }
    }

    readonly property var delayUnits: ["ms", "m", "ft"]
    function delay(unitIndex) { return unitIndex === 1 ? delayM : unitIndex === 2 ? delayFt : delayMs }

    readonly property bool ready: gain.status === XmlListModel.Ready && threshold.status === XmlListModel.Ready
                                  && frequency.status === XmlListModel.Ready && q.status === XmlListModel.Ready
                                  && ratio.status === XmlListModel.Ready && delayMs.status === XmlListModel.Ready
                                  && delayM.status === XmlListModel.Ready && delayFt.status === XmlListModel.Ready
}
