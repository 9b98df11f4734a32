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
        XmlRole { name: "texts"; query: "string-join(*[name() != 'deviceValue'], ' ')" }
    }

    ValueList { id: gainList; source: "qrc:/xml/gainList.xml" }
    ValueList { id: thresholdList; source: "qrc:/xml/thresholdList.xml" }
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
    // A document's name and unit labels, as their own text or in labelValue children.
    XmlListModel {
        id: header
        query: "/paramList"
        XmlRole { name: "paramName"; query: "paramName/string()" }
        XmlRole { name: "labels"; query: "string-join(uofLabels/uofLabel/normalize-space(.), '|')" }
        XmlRole { name: "childLabels"; query: "string-join(uofLabels/uofLabel/labelValue, '|')" }
    }
    readonly property var lists: ({ gain: gainList, threshold: thresholdList, delay: delayList, frequency: frequencyList, q: qList, ratio: ratioList })
    function rolesOf(list) { return ({ delay: ["displayValue", "meterValue", "feetValue"], ratio: ["displayValue", "decreasingDisplayValue"] })[list] || ["displayValue"]; }

    // Plain rows: walking 2281 delay rows through XmlListModel.get for every lookup takes minutes.
    function snapshot(model, role) {
        var rows = [];
        for (var i = 0; i < model.count; ++i) {
            var row = model.get(i);
            rows.push({ deviceValue: row.deviceValue, displayValue: row[role], texts: row.texts, row: row });
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
    }

    // Literal rows at both ends and where a value does not divide evenly ([row, device value,
    // values]); every number written with its decimals, the delay units each within half a
    // hundredth of the unrounded value, the feet from unrounded metres.
    function test_rows_data() {
        return [
            { tag: "gain", name: "gain", labels: "dB", child: "", count: 73, decimals: 2,
              rows: [[0, 0, [-18]], [1, 1, [-17.5]], [36, 36, [0]], [37, 37, [0.5]], [72, 72, [18]]] },
            { tag: "threshold", name: "threshold", labels: "dB", child: "", count: 121, decimals: 1,
              rows: [[0, 0, [-60]], [1, 1, [-59.5]], [119, 119, [-0.5]], [120, 120, [0]]] },
            // 3: 0.085 m rounds half up; 15: 1.39 ft from the unrounded 0.425 m, not from 0.43.
            { tag: "delay", name: "delay", labels: "ms|m|ft", child: "ms|m|ft", count: 2281, decimals: 2,
              rows: [[0, 0, [0, 0, 0]], [1, 1, [0.08, 0.03, 0.09]], [3, 3, [0.25, 0.09, 0.28]], [15, 15, [1.25, 0.43, 1.39]],
                     [2279, 2279, [189.92, 64.57, 211.85]], [2280, 2280, [190, 64.6, 211.94]]] },
            { tag: "frequency", name: "frequency", labels: "Hz", child: "", count: 121, decimals: 2, rows: [] },
            { tag: "q", name: "threshold", labels: "", child: "", count: 41, decimals: 2, rows: [] },
            { tag: "ratio", name: "cr", labels: ":1", child: ":1", count: 11, decimals: 2, rows: [] },
        ];
    }

    function test_rows(data) {
        var model = lists[data.tag];
        compare(model.count, data.count);
        header.source = model.source;
        tryVerify(function() { return header.status === XmlListModel.Ready; }, 10000);
        var first = header.get(0);
        compare([first.paramName, first.labels, first.childLabels], [data.name, data.labels, data.child]);
        data.rows.forEach(function(r) {
            var row = model.get(r[0]);
            compare([row.deviceValue].concat(rolesOf(data.tag).map(function(role) { return row[role]; })),
                    [r[1]].concat(r[2]), "row " + r[0]);
        });
        var format = new RegExp("^-?\\d+\\.\\d{" + data.decimals + "}$");
        snapshot(model, "displayValue").forEach(function(r) {
            var parts = String(r.texts).split(" ");
            compare(parts.length, rolesOf(data.tag).length, "device value " + r.deviceValue);
            parts.forEach(function(p) { verify(format.test(p), "device value " + r.deviceValue + ": " + p); });
            var ms = r.deviceValue / 12, exact = [ms, ms * 0.34, ms * 0.34 * 3.2808399];
            for (var k = 0; data.tag === "delay" && k < 3; ++k)
                verify(Math.abs(Number(parts[k]) - exact[k]) <= 0.005 + 1e-9, "device value " + r.deviceValue + ": " + parts[k]);
        });
        // Every value finds its own row's device value, every device value its own row.
        rolesOf(data.tag).forEach(function(role) {
            var rows = snapshot(model, role), decreasing = role === "decreasingDisplayValue";
            var plain = rowsModel(rows.map(function(r) { return { deviceValue: r.deviceValue, displayValue: r.displayValue, decreasingDisplayValue: r.displayValue }; }));
            rows.forEach(function(r, i) {
                var device = (decreasing ? Helper.getDeviceValueFromDecreasingDisplayValue : Helper.getDeviceValueFromDisplayValue)(plain, r.displayValue);
                if (device !== r.deviceValue || Helper.getIndexFromDeviceValue(plain, r.deviceValue) !== i)
                    fail(role + " of row " + i + " gives device value " + device);
            });
        });
    }

    // Whole tables: Q (document order from device value 40) and ratio, the R40 series in every decade.
    function test_tables() {
        var q = [10, 9, 8, 7, 6.3, 5.6, 5, 4.5, 4, 3.5, 3.2, 2.8, 2.5, 2.2, 2, 1.8, 1.6, 1.4, 1.25, 1.1, 1, 0.9, 0.8, 0.7,
                 0.63, 0.56, 0.5, 0.45, 0.4, 0.35, 0.32, 0.28, 0.25, 0.22, 0.2, 0.18, 0.16, 0.14, 0.12, 0.11, 0.1];
        compare(snapshot(qList, "displayValue").map(function(r) { return [r.deviceValue, r.displayValue]; }),
                q.map(function(v, d) { return [d, v]; }).reverse());
        var ratio = snapshot(ratioList, "displayValue");
        compare(ratio.map(function(r) { return r.displayValue; }), [1, 1.1, 1.3, 1.4, 1.7, 2, 2.5, 3.3, 5, 10, 100]);
        compare(ratio.map(function(r) { return r.row.decreasingDisplayValue; }), [1, 0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3, 0.2, 0.1, 0]);
        var r40 = [20, 21.2, 22.4, 23.6, 25, 26.5, 28, 30, 31.5, 33.5, 35.5, 37.5, 40, 42.5, 45, 47.5, 50, 53, 56, 60,
                   63, 67, 71, 75, 80, 85, 90, 95, 100, 106, 112, 118, 125, 132, 140, 150, 160, 170, 180, 190];
        var f = snapshot(frequencyList, "displayValue").map(function(r) { return r.displayValue; });
        compare(f.slice(0, 40), r40);
        compare(f.slice(40, 80), r40.map(function(v) { return Math.round(v * 1000) / 100; }));
        compare(f.slice(80, 120), r40.map(function(v) { return Math.round(v * 100); }));
        compare(f.slice(120), [20000]);
    }

    // Straight through XmlListModel, as the views call the helpers: [value, expected] pairs.
    function test_nearest_data() {
        var display = Helper.getDeviceValueFromDisplayValue;
        return [
            { tag: "gain", list: gainList, fn: display, cases: [[0.2, 36], [0.3, 37], [0.25, 36], [-17.8, 0], [-17.75, 1], [-17.7, 1], [17.7, 71],
                                                             [17.8, 72], [Infinity, 72], [NaN, -1]] },
            { tag: "gain row", list: gainList, fn: Helper.getIndexFromDisplayValue, cases: [[-Infinity, 0], [0.3, 37]] },
            { tag: "threshold", list: thresholdList, fn: display, cases: [[-30.25, 59], [-0.3, 119]] },
            { tag: "delay", list: delayList, fn: display, cases: [[500, 2280], [189.95, 2279], [189.97, 2280]] },
            { tag: "frequency", list: frequencyList, fn: display, cases: [[1030, 68], [1031, 69], [19400, 119], [19600, 120]] },
            { tag: "q row", list: qList, fn: Helper.getIndexFromDeviceValue, cases: [[7, 33], [1, 39], [55, 0], [-3, 40]] },
            { tag: "q", list: qList, fn: display, cases: [[4.5, 7], [9.6, 0]] },
            { tag: "ratio", list: ratioList, fn: display, cases: [[4, 7], [4.5, 8]] },
            { tag: "inverse ratio", list: ratioList, fn: Helper.getDeviceValueFromDecreasingDisplayValue,
              cases: [[0.34, 7], [0.24, 8], [0.04, 10], [2, 0]] },
            { tag: "empty", list: emptyList, fn: display, cases: [[1, -1]] },
            { tag: "empty, decreasing", list: emptyList, fn: Helper.getDeviceValueFromDecreasingDisplayValue, cases: [[1, -1]] },
            { tag: "no rows", list: rowsModel([]), fn: Helper.getIndexFromDeviceValue, cases: [[1, -1]] },
            { tag: "null", list: null, fn: display, cases: [[1, -1]] },
        ];
    }

    function test_nearest(data) {
        data.cases.forEach(function(c) { compare(data.fn(data.list, c[0]), c[1], "value " + c[0]); });
    }
}
