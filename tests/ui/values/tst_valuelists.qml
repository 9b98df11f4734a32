import QtQuick 2.15
import QtQuick.XmlListModel 2.0
import QtTest 1.2
import "qrc:/javascript/ParameterXmlModelHelper.js" as Helper

TestCase {
    id: test
    name: "ValueLists"

    component ValueList: XmlListModel {
        property string valueQuery: "displayValue/number()"
        query: "/paramList/paramValue"
        XmlRole { name: "deviceValue"; query: "deviceValue/number()" }
        XmlRole { name: "displayValue"; query: valueQuery }
    }

    ValueList { id: gainList; source: "qrc:/xml/gainList.xml" }
    ValueList { id: thresholdList; source: "qrc:/xml/thresholdList.xml" }
    // The views build one model per delay unit; one model with all three carries the same
    // values and loads a third as long.
    ValueList {
        id: delayList
        source: "qrc:/xml/delayList.xml"
        valueQuery: "timeValue/number()"
        XmlRole { name: "meterValue"; query: "meterValue/number()" }
        XmlRole { name: "feetValue"; query: "feetValue/number()" }
    }
    ValueList { id: frequencyList; source: "qrc:/xml/frequencyList.xml" }
    ValueList { id: qList; source: "qrc:/xml/qList.xml" }
    ValueList {
        id: ratioList
        source: "qrc:/xml/compressionRatio.xml"
        valueQuery: "compressionRatio/number()"
        XmlRole { name: "decreasingDisplayValue"; query: "inverseCompressionRatio/number()" }
    }
    XmlListModel { id: emptyList; query: "/paramList/paramValue" }
    XmlListModel {
        id: gainLabels
        source: "qrc:/xml/gainList.xml"
        query: "/paramList/uofLabels"
        XmlRole { name: "labelValue"; query: "uofLabel/string()" }
    }
    XmlListModel {
        id: delayLabels
        source: "qrc:/xml/delayList.xml"
        query: "/paramList/uofLabels/uofLabel"
        XmlRole { name: "labelValue"; query: "labelValue/string()" }
    }

    readonly property var lists: ({ gain: gainList, threshold: thresholdList, delay: delayList, frequency: frequencyList, q: qList, ratio: ratioList })

    // Plain rows for the exhaustive checks: the walk over 2281 delay rows through
    // XmlListModel.get would take minutes.
    function snapshot(model, role) {
        var rows = [];
        for (var i = 0; i < model.count; ++i) {
            var row = model.get(i);
            rows.push({ deviceValue: row.deviceValue, displayValue: row[role] });
        }
        return rows;
    }

    function rowsModel(rows) {
        return { count: rows.length, get: function(i) { return rows[i]; } };
    }

    function initTestCase() {
        warningGuard.install();
        for (var key in lists)
            tryCompare(lists[key], "status", XmlListModel.Ready, 300000, key);
        tryCompare(gainLabels, "status", XmlListModel.Ready, 300000);
        tryCompare(delayLabels, "status", XmlListModel.Ready, 300000);
    }

    function test_documents_data() {
        return [
            { tag: "gain", list: "gain", count: 73, first: [0, -18], last: [72, 18] },
            { tag: "threshold", list: "threshold", count: 121, first: [0, -60], last: [120, 0] },
            { tag: "delay", list: "delay", count: 2281, first: [0, 0], last: [2280, 190] },
            { tag: "frequency", list: "frequency", count: 121, first: [0, 20], last: [120, 20000] },
            { tag: "q", list: "q", count: 41, first: [40, 0.1], last: [0, 10] },
            { tag: "ratio", list: "ratio", count: 11, first: [0, 1], last: [10, 100] },
        ];
    }

    function test_documents(data) {
        var model = lists[data.list];
        compare(model.count, data.count);
        compare([model.get(0).deviceValue, model.get(0).displayValue], data.first);
        var end = model.get(model.count - 1);
        compare([end.deviceValue, end.displayValue], data.last);
    }

    function test_delayUnits() {
        var last = delayList.get(2280);
        compare([last.meterValue, last.feetValue], [64.6, 211.94]);
        var three = delayList.get(3);
        compare([three.displayValue, three.meterValue, three.feetValue], [0.25, 0.09, 0.28]);
        compare(Helper.getDeviceValueFromDisplayValue(delayList, 500), 2280);
    }

    function test_labels() {
        compare(gainLabels.count, 1);
        compare(gainLabels.get(0).labelValue, "dB");
        compare(delayLabels.count, 3);
        compare([delayLabels.get(0).labelValue, delayLabels.get(1).labelValue, delayLabels.get(2).labelValue],
                ["ms", "m", "ft"]);
    }

    // Straight through XmlListModel, as the views call the helpers.
    function test_nearest_data() {
        return [
            { tag: "gain 0.2 dB", list: "gain", fn: "deviceFromDisplay", value: 0.2, expected: 36 },
            { tag: "gain 0.3 dB", list: "gain", fn: "deviceFromDisplay", value: 0.3, expected: 37 },
            { tag: "gain 0.25 dB tie", list: "gain", fn: "deviceFromDisplay", value: 0.25, expected: 36 },
            { tag: "gain below", list: "gain", fn: "deviceFromDisplay", value: -40, expected: 0 },
            { tag: "gain +inf", list: "gain", fn: "deviceFromDisplay", value: Infinity, expected: 72 },
            { tag: "gain -inf", list: "gain", fn: "indexFromDisplay", value: -Infinity, expected: 0 },
            { tag: "gain NaN", list: "gain", fn: "deviceFromDisplay", value: NaN, expected: -1 },
            { tag: "gain text", list: "gain", fn: "deviceFromDisplay", value: "abc", expected: -1 },
            { tag: "threshold tie", list: "threshold", fn: "deviceFromDisplay", value: -30.25, expected: 59 },
            { tag: "delay 500 ms", list: "delay", fn: "deviceFromDisplay", value: 500, expected: 2280 },
            { tag: "delay -5 ms", list: "delay", fn: "deviceFromDisplay", value: -5, expected: 0 },
            { tag: "frequency tie", list: "frequency", fn: "deviceFromDisplay", value: 1030, expected: 68 },
            { tag: "frequency 1031", list: "frequency", fn: "deviceFromDisplay", value: 1031, expected: 69 },
            { tag: "q device 7", list: "q", fn: "indexFromDevice", value: 7, expected: 33 },
            { tag: "q device 40", list: "q", fn: "indexFromDevice", value: 40, expected: 0 },
            { tag: "q device above", list: "q", fn: "indexFromDevice", value: 55, expected: 0 },
            { tag: "q device below", list: "q", fn: "indexFromDevice", value: -3, expected: 40 },
            { tag: "q 4.5", list: "q", fn: "deviceFromDisplay", value: 4.5, expected: 7 },
            { tag: "ratio 4", list: "ratio", fn: "deviceFromDisplay", value: 4, expected: 7 },
            { tag: "ratio 4.5", list: "ratio", fn: "deviceFromDisplay", value: 4.5, expected: 8 },
            { tag: "ratio 1000", list: "ratio", fn: "deviceFromDisplay", value: 1000, expected: 10 },
            { tag: "inverse 0.34", list: "ratio", fn: "deviceFromDecreasing", value: 0.34, expected: 7 },
            { tag: "inverse 0.24", list: "ratio", fn: "deviceFromDecreasing", value: 0.24, expected: 8 },
            { tag: "inverse 2", list: "ratio", fn: "deviceFromDecreasing", value: 2, expected: 0 },
            { tag: "inverse -1", list: "ratio", fn: "deviceFromDecreasing", value: -1, expected: 10 },
            { tag: "empty model", list: "", fn: "deviceFromDisplay", value: 1, expected: -1 },
            { tag: "empty model index", list: "", fn: "indexFromDevice", value: 1, expected: -1 },
        ];
    }

    function call(fn, model, value) {
        switch (fn) {
        case "indexFromDevice": return Helper.getIndexFromDeviceValue(model, value);
        case "indexFromDisplay": return Helper.getIndexFromDisplayValue(model, value);
        case "deviceFromDisplay": return Helper.getDeviceValueFromDisplayValue(model, value);
        case "deviceFromDecreasing": return Helper.getDeviceValueFromDecreasingDisplayValue(model, value);
        }
        fail("unknown helper " + fn);
    }

    function test_nearest(data) {
        compare(call(data.fn, data.list ? lists[data.list] : emptyList, data.value), data.expected);
    }

    // Lists too short for the walk, and models that are not there.
    function test_shortLists_data() {
        var one = [{ deviceValue: 5, displayValue: 1 }];
        var rising = [{ deviceValue: 0, displayValue: 1 }, { deviceValue: 1, displayValue: 2 }];
        var falling = [{ deviceValue: 0, displayValue: 2 }, { deviceValue: 1, displayValue: 1 }];
        return [
            { tag: "one row", rows: one, value: -7, expected: 5 },
            { tag: "two rows near first", rows: rising, value: 1.4, expected: 0 },
            { tag: "two rows near second", rows: rising, value: 1.6, expected: 1 },
            { tag: "two rows tie", rows: rising, value: 1.5, expected: 1 },
            { tag: "two rows beyond", rows: rising, value: 9, expected: 1 },
            { tag: "two rows on second", rows: rising, value: 2, expected: 1 },
            { tag: "two falling near second", rows: falling, value: 1.4, expected: 1 },
            { tag: "two falling near first", rows: falling, value: 1.6, expected: 0 },
            { tag: "no rows", rows: [], value: 1, expected: -1 },
            { tag: "null model", rows: null, value: 1, expected: -1 },
            { tag: "undefined model", rows: undefined, value: 1, expected: -1 },
        ];
    }

    function test_shortLists(data) {
        var model = data.rows ? rowsModel(data.rows) : data.rows;
        compare(Helper.getDeviceValueFromDisplayValue(model, data.value), data.expected);
    }

    // Every display value finds its own row, and every device value its own row.
    function test_roundTrip_data() {
        return [
            { tag: "gain", list: "gain", role: "displayValue" },
            { tag: "threshold", list: "threshold", role: "displayValue" },
            { tag: "delay ms", list: "delay", role: "displayValue" },
            { tag: "delay m", list: "delay", role: "meterValue" },
            { tag: "delay ft", list: "delay", role: "feetValue" },
            { tag: "frequency", list: "frequency", role: "displayValue" },
            { tag: "q", list: "q", role: "displayValue" },
            { tag: "ratio", list: "ratio", role: "displayValue" },
            { tag: "inverse ratio", list: "ratio", role: "decreasingDisplayValue" },
        ];
    }

    function test_roundTrip(data) {
        var rows = snapshot(lists[data.list], data.role);
        var model = rowsModel(rows);
        var decreasing = data.role === "decreasingDisplayValue";
        var keyed = decreasing ? rowsModel(rows.map(function(r) {
            return { deviceValue: r.deviceValue, decreasingDisplayValue: r.displayValue };
        })) : model;
        for (var i = 0; i < rows.length; ++i) {
            var device = decreasing ? Helper.getDeviceValueFromDecreasingDisplayValue(keyed, rows[i].displayValue)
                                    : Helper.getDeviceValueFromDisplayValue(model, rows[i].displayValue);
            if (device !== rows[i].deviceValue)
                fail("row " + i + ": display value " + rows[i].displayValue + " gives device value " + device);
            var row = Helper.getIndexFromDeviceValue(model, rows[i].deviceValue);
            if (row !== i)
                fail("device value " + rows[i].deviceValue + " gives row " + row + " instead of " + i);
        }
    }
}
