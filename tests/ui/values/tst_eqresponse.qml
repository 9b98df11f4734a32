import QtQuick 2.15
import QtQuick.XmlListModel 2.0
import QtTest 1.2
import "qrc:/javascript/RVEQBiquadFilter.js" as Eq
import "qrc:/javascript/CompressorHelper.js" as Compressor
import "qrc:/javascript/PlotHelper.js" as Plot
import "eq_expected.js" as Expected

// Expected numbers are literals worked out apart from the scripts (eq_expected.py).
TestCase {
    id: test
    name: "EqResponse"

    component ValueList: XmlListModel {
        query: "/paramList/paramValue"
        XmlRole { name: "deviceValue"; query: "deviceValue/number()" }
        XmlRole { name: "displayValue"; query: "displayValue/number()" }
    }
    ValueList { id: frequencyList; source: "qrc:/xml/frequencyList.xml" }
    ValueList { id: gainList; source: "qrc:/xml/gainList.xml" }
    ValueList { id: qList; source: "qrc:/xml/qList.xml" }

    readonly property var lists: ({ frequency: frequencyList, gain: gainList, q: qList })
    readonly property real nyquist: 48000

    function initTestCase() {
        warningGuard.install();
        for (var key in lists)
            tryCompare(lists[key], "status", XmlListModel.Ready, 300000, key);
    }

    function db(type, f0, q, gain, f) {
        var c = Eq.rvEQBiquadCoefsMakeWithType(type, f0 / nyquist, q, gain);
        return Eq.rvEQLinearToDB(Eq.rvEQBiquadResponse(c, f / nyquist)[0]);
    }

    function test_knownPoints() {
        fuzzyCompare(db(Eq.RVEQTypeBell, 1000, 1, 6, 1000), 6, 1e-9);
        verify(Math.abs(db(Eq.RVEQTypeBell, 1000, 1, 6, 20)) < 0.03);
        verify(Math.abs(db(Eq.RVEQTypeBell, 1000, 1, 6, 20000)) < 0.03);
        fuzzyCompare(db(Eq.RVEQTypeBell, 1000, 1, -6, 1000), -6, 1e-9);
        for (var f = 20; f <= 20000; f *= 1.5)
            fuzzyCompare(db(Eq.RVEQTypeBell, 1000, 2, 0, f), 0, 1e-9);
        verify(db(Eq.RVEQTypeNotch, 1000, 2, 0, 1000) < -60);
        verify(db(Eq.RVEQTypeNotch, 1000, 2, 0, 1020) < -20);
        compare([0, -1, 1, 10].map(Eq.rvEQLinearToDB), [-1000, -1000, 0, 20]);
    }

    // The limits of each formula; coefficients as [b0, b1, b2, a1, a2]. A² is 10^(g/10) with
    // the gain's sign, V² with its magnitude.
    function test_coefficientEdges_data() {
        var unity = [1, 0, 0, 0, 0], zero = [0, 0, 0, 0, 0];
        var up = [3.981071705534973, 0, 0, 0, 0], down = [0.251188643150958, 0, 0, 0, 0];
        return [
            { tag: "bell at 0", type: 1, fn: 0, q: 1, g: 6, c: unity },
            { tag: "bell at nyquist", type: 1, fn: 1, q: 1, g: 6, c: unity },
            { tag: "bell q 0", type: 1, fn: 0.1, q: 0, g: 6, c: up },
            { tag: "bell q 0, cut", type: 1, fn: 0.1, q: 0, g: -6, c: up },
            { tag: "high pass at nyquist", type: 2, fn: 1, q: 1, g: 0, c: zero },
            { tag: "high pass at 0", type: 2, fn: 0, q: 1, g: 0, c: unity },
            { tag: "low pass at nyquist", type: 3, fn: 1, q: 1, g: 0, c: unity },
            { tag: "band pass at 0", type: 7, fn: 0, q: 1, g: 0, c: zero },
            { tag: "band pass q 0", type: 7, fn: 0.1, q: 0, g: 0, c: unity },
            { tag: "low shelf at nyquist", type: 5, fn: 1, q: 1, g: 6, c: up },
            { tag: "low shelf at nyquist, cut", type: 5, fn: 1, q: 1, g: -6, c: down },
            { tag: "low shelf at 0", type: 5, fn: 0, q: 1, g: 6, c: unity },
            { tag: "high shelf at nyquist", type: 4, fn: 1, q: 1, g: 6, c: unity },
            { tag: "high shelf at 0, cut", type: 4, fn: 0, q: 1, g: -6, c: down },
            { tag: "notch at 0", type: 6, fn: 0, q: 1, g: 0, c: unity },
            { tag: "notch q 0", type: 6, fn: 0.1, q: 0, g: 0, c: zero },
            { tag: "thru", type: 0, fn: 0.1, q: 1, g: 6, c: unity },
            { tag: "unknown type", type: 9, fn: 0.1, q: 1, g: 6, c: unity },
        ];
    }

    function test_coefficientEdges(data) {
        var c = Eq.rvEQBiquadCoefsMakeWithType(data.type, data.fn, data.q, data.g);
        [c.b0, c.b1, c.b2, c.a1, c.a2].forEach(function(v, i) { fuzzyCompare(v, data.c[i], 1e-9, "coefficient " + i); });
    }

    // Every band type, boost and cut, against its analog prototype: magnitude and phase.
    function test_bandTypes_data() {
        return Expected.rows.map(function(r) { return { tag: r.slice(0, 4).join(" "), row: r }; });
    }

    function test_bandTypes(data) {
        var r = data.row;
        var c = Eq.rvEQBiquadCoefsMakeWithType(r[0], r[1] / nyquist, r[2], r[3]);
        r[4].forEach(function(p) {
            var response = Eq.rvEQBiquadResponse(c, p[0] / nyquist);
            fuzzyCompare(Eq.rvEQLinearToDB(response[0]), p[1], 1e-6, p[0] + " Hz");
            fuzzyCompare(response[1], p[2], 1e-6, p[0] + " Hz");
        });
    }

    // Numerator angle near +pi, denominator slightly negative: the raw difference is brought
    // back once.
    function test_phaseWrap() {
        var raw = Math.atan2(0.1, -1) - Math.atan2(-0.5, 1);
        fuzzyCompare(Eq.rvEQBiquadResponse({ b0: -1, b1: -0.1, b2: 0, a1: 0.5, a2: 0 }, 0.5)[1], raw - 2 * Math.PI, 1e-12);
        fuzzyCompare(Eq.rvEQBiquadResponse({ b0: -1, b1: 0.1, b2: 0, a1: -0.5, a2: 0 }, 0.5)[1], 2 * Math.PI - raw, 1e-12);
    }

    function test_addResponses() {
        var c = Eq.rvEQBiquadCoefsMakeWithType(Eq.RVEQTypeBell, 0.02, 1, 6);
        var freqs = [0.01, 0.02, 0.04], mags = [2, 2, 2], phases = [1, 1, 1];
        Eq.rvEQAddBiquadResponses(c, mags, -1, freqs, 2);
        fuzzyCompare(mags[1], 3.990524629937, 1e-9);   // 2 x 10^(6/20)
        compare([mags[2], phases[1]], [2, 1]);
        Eq.rvEQAddBiquadResponses(c, -1, phases, freqs, 3);
        verify(phases[0] > 1 && Math.abs(phases[1] - 1) < 1e-12 && phases[2] < 1);
    }

    // 1000 units wide with 50 unit insets: 10 points each side, N = 179 / log2(1000).
    function test_grid() {
        var grid = Eq.rvEQNumberOfPointsPerOctaveWithInsets(20, 20000, 200, 50, 50, 1000);
        fuzzyCompare(grid[0], 17.961456407950877, 1e-9);
        fuzzyCompare(grid[1], 13.596659769737226, 1e-9);
        fuzzyCompare(Eq.rvEQNumberOfPointsPerOctaveWithInsets(20, 20000, 200, 40, 60, 1000)[1], 14.687632022627072, 1e-9);
        var n = grid[0], fLeft = grid[1];
        fuzzyCompare(Eq.rvEQLogarithmicFreq(fLeft, 199, n), 29418.990161855836, 1e-6);
        fuzzyCompare(Eq.rvEQLogarithmicDeltaFreq(n), 1.0393451086797687, 1e-12);
        fuzzyCompare(Eq.rvEQLogarithmicFreqX(1000, fLeft, n, 200, 1000), 556.8593846269122, 1e-9);
        var fns = Eq.rvEQNormalizedFrequenciesLog(fLeft, n, 200, 96000);
        compare(fns.length, 200);
        fuzzyCompare(fns[0], 0.0002944087880429037, 1e-15);
        fuzzyCompare(fns[199], 0.6370100734796474, 1e-12);
        fuzzyCompare(Eq.rvEQNumberOfPointsPerOctave(20, 20000, 200), 19.968323045710754, 1e-12);
        compare([Eq.rvEQNormalizedFrequencies([4800, 9600, 19200], 2, 96000), Eq.rvEQNormalizedFrequencies([4800], 5, 96000)], [[0.1, 0.2], [0.1]]);
    }

    function band(type, frequency, gain, q, extra) {
        var b = { isUsed: true, isEnabled: true, bandType: type, frequency: frequency, gain: gain, qualityFactor: q };
        for (var k in extra)
            b[k] = extra[k];
        return b;
    }

    // 800 x 400: insets 40 and 20, y = 10 x dB + 200 upwards, point i at x = 4 i.
    function test_curveGeometry() {
        var flat = Eq.rvEQCurve([], lists, 800, 400);
        compare([flat.xs.length, flat.xs[199], flat.zeroY, flat.fillStartX], [200, 796, 200, 0]);
        fuzzyCompare(flat.fillEndX, 796, 1e-9);
        fuzzyCompare(Eq.rvEQGainToY(-18, flat.geometry), 20, 1e-9);
        fuzzyCompare(Eq.rvEQGainToY(18, flat.geometry), 380, 1e-9);
        compare(flat.ys.filter(function(y) { return Math.abs(y - 200) > 1e-9; }), []);
    }

    // A bell of +6 dB, Q 1 at 1 kHz (device values 68, 48, 20): point i lies at
    // fLeft x 2^((i + 1) / N), 670.15 Hz for i = 100 and 1450 Hz for 120.
    function test_curvePoints_data() {
        return [{ tag: "0", i: 0, y: 200.02583379164082 }, { tag: "100", i: 100, y: 244.37575711389317 },
                { tag: "120", i: 120, y: 246.05202401149296 }, { tag: "199", i: 199, y: 200.0570366510098 }];
    }

    function test_curvePoints(data) {
        var curve = Eq.rvEQCurve([band(1, 68, 48, 20)], lists, 800, 400);
        fuzzyCompare(curve.ys[data.i], data.y, 1e-6);
        compare(curve.xs[data.i], data.i * 4);
    }

    // Thru, unused and disabled bands leave the curve alone; bands multiply.
    function test_curveBands_data() {
        var bell = band(1, 68, 48, 20);
        return [
            { tag: "thru", bands: [band(0, 68, 48, 20)], peak: 0 },
            { tag: "unused", bands: [band(1, 68, 48, 20, { isUsed: false })], peak: 0 },
            { tag: "disabled", bands: [band(1, 68, 48, 20, { isEnabled: false })], peak: 0 },
            { tag: "bell", bands: [bell], peak: 6 },
            { tag: "two bells", bands: [bell, bell], peak: 12 },
            { tag: "an RVEq", bands: { maxBandCount: 1, bandAt: function(i) { return [bell, bell][i]; } }, peak: 6 },
        ];
    }

    function test_curveBands(data) {
        var curve = Eq.rvEQCurve(data.bands, lists, 800, 400);
        var peak = Math.max.apply(null, curve.ys.map(function(y) { return (y - 200) / 10; }));
        verify(Math.abs(peak - data.peak) < 0.05, "peak " + peak);
        verify(curve.ys.every(isFinite));
        var again = Eq.rvEQCurve(data.bands, lists, 800, 400, curve);
        verify(again === curve && again.ys[0] === curve.ys[0]);
    }

    // [frequency, gain] corners of one speaker range; the plot spans 20 Hz to 20 kHz, -18 dB.
    function test_crossover_data() {
        var s = Math.pow(2, 1.5);
        return [
            { tag: "inside", min: 100, max: 1000, pts: [[100 / s, -18], [100, 0], [1000, 0], [1000 * s, -18]] },
            { tag: "cut left", min: 25, max: 1000, pts: [[20, 12 * Math.log2(20 / 25)], [25, 0], [1000, 0], [1000 * s, -18]] },
            { tag: "cut right", min: 100, max: 15000, pts: [[100 / s, -18], [100, 0], [15000, 0], [20000, 12 * Math.log2(15000 / 20000)]] },
            { tag: "full range", min: 0, max: 20000, pts: [[20, 0], [20000, 0]] },
            { tag: "unknown", min: -1, max: -1, pts: [] },
            { tag: "reversed", min: 1000, max: 100, pts: [] },
        ];
    }

    function test_crossover(data) {
        var pts = Eq.rvEQCrossoverOutline(data.min, data.max, -18, 20, 20000);
        compare(pts.length, data.pts.length);
        for (var i = 0; i < pts.length; ++i) {
            fuzzyCompare(pts[i][0], data.pts[i][0], 1e-9);
            fuzzyCompare(pts[i][1], data.pts[i][1], 1e-9);
        }
    }

    function test_crossoverPlot() {
        var g = Eq.rvEQPlotGeometry(1000, 400);
        var pts = Eq.rvEQCrossoverPoints(25, 20000, g);
        fuzzyCompare(pts[0][0], 50, 1e-9);
        fuzzyCompare(pts[0][1], 200 + 10 * 12 * Math.log2(20 / 25), 1e-9);
        fuzzyCompare(pts[1][1], 200, 1e-9);
        compare(Eq.rvEQCrossoverLineColors, ["#FFFFFF", "#7F7F7F", "#3F3F3F"]);
        compare(Eq.rvEQCrossoverFillColors, ["#3FFFFFFF", "#3F7F7F7F", "#3F3F3F3F"]);
    }

    function test_gestures() {
        var g = Eq.rvEQPlotGeometry(800, 400);
        fuzzyCompare(Eq.rvEQFrequencyToX(1000, g), 445.48750770152975, 1e-9);
        fuzzyCompare(Eq.rvEQFrequencyFromX(40, g), 20, 1e-9);
        fuzzyCompare(Eq.rvEQGainFromY(125, g), -7.5, 1e-9);
        compare([1, 2, 3, 4, 5, 6].map(Eq.rvEQTypeHasGain), [true, false, false, true, true, false]);
        compare([Eq.rvEQDeviceValue(qList, 1.04), Eq.rvEQDeviceValue(gainList, 6.2)], [20, 48]);
        compare(Eq.rvEQDeviceValue(frequencyList, Eq.rvEQFrequencyFromX(446.5, g)), 68);
        compare(Eq.rvEQDeviceValue(gainList, NaN), -1);
    }

    // Pinch: Q = start / scale within 0.1 ... 1.4, or 10 for bell and notch: [type, start, scale, Q].
    // Wheel: one Q row per step, upwards for a negative delta: [type, start, delta, Q].
    function test_q() {
        [[1, 4, 0.25, 10], [6, 2, 0.25, 8], [6, 0.5, 10, 0.1], [2, 1, 0.5, 1.4], [1, 1, 0.5, 2]].forEach(function(c) {
            fuzzyCompare(Eq.rvEQPinchQ(c[1], c[2], c[0]), c[3], 1e-9, "pinch " + c);
        });
        [[1, 1, -120, 1.1], [1, 1, 120, 0.9], [1, 1, -240, 1.25], [1, 1, -15, 1.1], [1, 10, -120, 10], [6, 0.1, 120, 0.1],
         [4, 1.4, -120, 1.4], [1, 2.2, 0, 2.2]].forEach(function(c) {
            fuzzyCompare(Eq.rvEQWheelQ(qList, c[1], c[2], c[0]), c[3], 1e-9, "wheel " + c);
        });
    }

    function test_compressor() {
        compare([Compressor.getXThreshold(-30, 0, -60, 200), Compressor.getXThreshold(-45, 0, -60, 200)], [100, 50]);
        compare([Compressor.getYCompression(0.5, 100, 200), Compressor.getYCompression(0.3, 50, 200)], [150, 95]);
    }

    // Screen rows are height - y; a point that is not a number never reaches the canvas.
    function test_plotDrawing() {
        var calls = [];
        var ctx = {};
        ["beginPath", "moveTo", "lineTo", "stroke", "fill", "closePath"].forEach(function(name) {
            ctx[name] = function() { calls.push([name].concat(Array.prototype.slice.call(arguments))); };
        });
        Plot.strokeCurve(ctx, [0, 1, 2], [10, NaN, 30], 3, 100);
        compare(calls, [["beginPath"], ["moveTo", 0, 90], ["lineTo", 2, 70], ["stroke"]]);
        calls = [];
        Plot.drawOutline(ctx, [[5, 0], [10, 50]], 100, "#FFFFFF", "#3FFFFFFF");
        compare(calls.slice(-4), [["lineTo", 10, 100], ["lineTo", 5, 100], ["closePath"], ["fill"]]);
        compare(ctx.fillStyle, "#3FFFFFFF");
    }
}
