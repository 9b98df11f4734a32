import QtQuick 2.15
import QtQuick.XmlListModel 2.0
import QtTest 1.2
import "qrc:/javascript/RVEQBiquadFilter.js" as Eq
import "qrc:/javascript/CompressorHelper.js" as Compressor
import "qrc:/javascript/PlotHelper.js" as Plot
import "eq_expected.js" as Expected

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

    function wrapped(a) {
        while (a > Math.PI) a -= 2 * Math.PI;
        while (a <= -Math.PI) a += 2 * Math.PI;
        return a;
    }

    function test_bell() {
        fuzzyCompare(db(Eq.RVEQTypeBell, 1000, 1, 6, 1000), 6, 1e-9);
        verify(Math.abs(db(Eq.RVEQTypeBell, 1000, 1, 6, 20)) < 0.03);
        verify(Math.abs(db(Eq.RVEQTypeBell, 1000, 1, 6, 20000)) < 0.03);
        fuzzyCompare(db(Eq.RVEQTypeBell, 1000, 1, -6, 1000), -6, 1e-9);
        for (var f = 20; f <= 20000; f *= 1.5)
            fuzzyCompare(db(Eq.RVEQTypeBell, 1000, 2, 0, f), 0, 1e-9);
    }

    function test_notch() {
        verify(db(Eq.RVEQTypeNotch, 1000, 2, 0, 1000) < -60);
        verify(db(Eq.RVEQTypeNotch, 1000, 2, 0, 1020) < -20);
        verify(Math.abs(db(Eq.RVEQTypeNotch, 1000, 2, 0, 100)) < 0.05);
        verify(Math.abs(db(Eq.RVEQTypeNotch, 1000, 2, 0, 10000)) < 0.05);
    }

    function test_linearToDB_data() {
        return [{ tag: "zero", x: 0, db: -1000 }, { tag: "negative", x: -1, db: -1000 },
                { tag: "unity", x: 1, db: 0 }, { tag: "ten", x: 10, db: 20 }];
    }

    function test_linearToDB(data) {
        fuzzyCompare(Eq.rvEQLinearToDB(data.x), data.db, 1e-12);
    }

    // The limits of each formula; coefficients as [b0, b1, b2, a1, a2].
    function test_coefficientEdges_data() {
        var unity = [1, 0, 0, 0, 0], zero = [0, 0, 0, 0, 0], a2 = [Math.pow(10, 0.6), 0, 0, 0, 0];
        return [
            { tag: "bell at 0", type: 1, fn: 0, q: 1, g: 6, c: unity },
            { tag: "bell at nyquist", type: 1, fn: 1, q: 1, g: 6, c: unity },
            { tag: "bell q 0", type: 1, fn: 0.1, q: 0, g: 6, c: a2 },
            { tag: "high pass at nyquist", type: 2, fn: 1, q: 1, g: 0, c: zero },
            { tag: "high pass at 0", type: 2, fn: 0, q: 1, g: 0, c: unity },
            { tag: "low pass at nyquist", type: 3, fn: 1, q: 1, g: 0, c: unity },
            { tag: "band pass at 0", type: 7, fn: 0, q: 1, g: 0, c: zero },
            { tag: "band pass q 0", type: 7, fn: 0.1, q: 0, g: 0, c: unity },
            { tag: "low shelf at nyquist", type: 5, fn: 1, q: 1, g: 6, c: a2 },
            { tag: "low shelf at 0", type: 5, fn: 0, q: 1, g: 6, c: unity },
            { tag: "high shelf at nyquist", type: 4, fn: 1, q: 1, g: 6, c: unity },
            { tag: "high shelf at 0", type: 4, fn: 0, q: 1, g: 6, c: a2 },
            { tag: "notch at 0", type: 6, fn: 0, q: 1, g: 0, c: unity },
            { tag: "notch q 0", type: 6, fn: 0.1, q: 0, g: 0, c: zero },
            { tag: "thru", type: 0, fn: 0.1, q: 1, g: 6, c: unity },
            { tag: "unknown type", type: 9, fn: 0.1, q: 1, g: 6, c: unity },
        ];
    }

    function test_coefficientEdges(data) {
        var c = Eq.rvEQBiquadCoefsMakeWithType(data.type, data.fn, data.q, data.g);
        var got = [c.b0, c.b1, c.b2, c.a1, c.a2];
        for (var i = 0; i < 5; ++i)
            fuzzyCompare(got[i], data.c[i], 1e-9);
    }

    // Every band type against its analog prototype, magnitude and phase.
    function test_independent_data() {
        return Expected.rows.map(function(r) {
            return { tag: r.slice(0, 5).join(" "), row: r };
        });
    }

    function test_independent(data) {
        var r = data.row;
        var c = Eq.rvEQBiquadCoefsMakeWithType(r[0], r[1] / nyquist, r[2], r[3]);
        var response = Eq.rvEQBiquadResponse(c, r[4] / nyquist);
        fuzzyCompare(Eq.rvEQLinearToDB(response[0]), r[5], 1e-6);
        fuzzyCompare(wrapped(response[1] - r[6]), 0, 1e-6);
        verify(response[1] > -Math.PI && response[1] < Math.PI, "phase " + response[1]);
    }

    // Numerator angle near +pi, denominator slightly negative: the raw difference exceeds pi.
    function test_phaseWrap() {
        var c = { b0: -1, b1: -0.1, b2: 0, a1: 0.5, a2: 0 };
        var raw = Math.atan2(0.1, -1) - Math.atan2(-0.5, 1);
        verify(raw > Math.PI);
        fuzzyCompare(Eq.rvEQBiquadResponse(c, 0.5)[1], raw - 2 * Math.PI, 1e-12);
        var mirrored = { b0: -1, b1: 0.1, b2: 0, a1: -0.5, a2: 0 };
        fuzzyCompare(Eq.rvEQBiquadResponse(mirrored, 0.5)[1], 2 * Math.PI - raw, 1e-12);
    }

    function test_addResponses() {
        var c = Eq.rvEQBiquadCoefsMakeWithType(Eq.RVEQTypeBell, 0.02, 1, 6);
        var freqs = [0.01, 0.02, 0.04], mags = [2, 2, 2], phases = [1, 1, 1];
        Eq.rvEQAddBiquadResponses(c, mags, -1, freqs, 2);
        compare(phases, [1, 1, 1]);
        fuzzyCompare(mags[1], 2 * Math.pow(10, 6 / 20), 1e-9);
        compare(mags[2], 2);
        Eq.rvEQAddBiquadResponses(c, -1, phases, freqs, 3);
        fuzzyCompare(phases[0], 1 + Eq.rvEQBiquadResponse(c, 0.01)[1], 1e-12);
    }

    function test_grid() {
        var width = 1000, count = 200;
        var grid = Eq.rvEQNumberOfPointsPerOctaveWithInsets(20, 20000, count, 50, 50, width);
        var n = grid[0], fLeft = grid[1];
        fuzzyCompare(n, (count - 1 - 10 - 10) / Math.log2(1000), 1e-9);
        fuzzyCompare(Eq.rvEQLogarithmicFreqX(20, fLeft, n, count, width), 50, 1e-9);
        // The grid ends one point step past the right inset's edge.
        var fRight = Eq.rvEQLogarithmicFreq(fLeft, count - 1, n);
        fuzzyCompare(Eq.rvEQLogarithmicFreqX(fRight, fLeft, n, count, width), (count - 1) * width / count, 1e-9);
        fuzzyCompare(Eq.rvEQLogarithmicFreqX(20000, fLeft, n, count, width), width - 50 - width / count, 1e-9);
        var fns = Eq.rvEQNormalizedFrequenciesLog(fLeft, n, count, 96000);
        compare(fns.length, count);
        fuzzyCompare(fns[0], fLeft * Eq.rvEQLogarithmicDeltaFreq(n) / 48000, 1e-12);
        fuzzyCompare(fns[count - 1], Eq.rvEQLogarithmicFreq(fLeft, count, n) / 48000, 1e-12);
        fuzzyCompare(Eq.rvEQNumberOfPointsPerOctave(20, 20000, count), 199 / Math.log2(1000), 1e-12);
        compare(Eq.rvEQNormalizedFrequencies([4800, 9600, 19200], 2, 96000), [0.1, 0.2]);
        compare(Eq.rvEQNormalizedFrequencies([4800], 5, 96000), [0.1]);
    }

    function band(type, frequency, gain, q, extra) {
        var b = { isUsed: true, isEnabled: true, bandType: type, frequency: frequency, gain: gain, qualityFactor: q };
        for (var k in extra)
            b[k] = extra[k];
        return b;
    }

    function curveDb(curve, i) {
        var g = curve.geometry;
        return (curve.ys[i] - g.gainScaleB) / g.gainScaleA;
    }

    function test_curveGeometry() {
        var flat = Eq.rvEQCurve([], lists, 800, 400);
        compare(flat.xs.length, 200);
        compare(flat.xs[199], 199 * 4);
        fuzzyCompare(flat.zeroY, 200, 1e-9);
        fuzzyCompare(Eq.rvEQGainToY(-18, flat.geometry), 20, 1e-9);
        fuzzyCompare(Eq.rvEQGainToY(18, flat.geometry), 380, 1e-9);
        fuzzyCompare(flat.fillStartX, 0, 1e-9);
        fuzzyCompare(flat.fillEndX, 199 * 4, 1e-9);
        for (var i = 0; i < 200; ++i)
            fuzzyCompare(flat.ys[i], flat.zeroY, 1e-9);
    }

    // Device values: frequency 68 is 1 kHz, gain 48 is +6 dB, Q 20 is 1.0.
    function test_curveBands_data() {
        var bell = band(1, 68, 48, 20);
        return [
            { tag: "thru", bands: [band(0, 68, 48, 20)], peak: 0 },
            { tag: "unused", bands: [band(1, 68, 48, 20, { isUsed: false })], peak: 0 },
            { tag: "disabled", bands: [band(1, 68, 48, 20, { isEnabled: false })], peak: 0 },
            { tag: "bell", bands: [bell], peak: 6 },
            { tag: "bell and thru", bands: [band(0, 10, 0, 0), bell], peak: 6 },
            { tag: "frequency not a number", bands: [band(1, NaN, 48, 20), bell], peak: 6 },
            { tag: "gain missing", bands: [band(1, 68, undefined, 20), bell], peak: 6 },
            { tag: "q infinite", bands: [bell, band(1, 68, 48, Infinity)], peak: 6 },
            { tag: "missing band", bands: [null, bell], peak: 6 },
            { tag: "two bells", bands: [bell, bell], peak: 12 },
        ];
    }

    function test_curveBands(data) {
        var curve = Eq.rvEQCurve(data.bands, lists, 800, 400);
        var peak = -Infinity;
        for (var i = 0; i < 200; ++i) {
            verify(isFinite(curve.xs[i]) && isFinite(curve.ys[i]), "point " + i);
            peak = Math.max(peak, curveDb(curve, i));
        }
        verify(Math.abs(peak - data.peak) < 0.05, "peak " + peak);
        verify(Math.abs(curveDb(curve, 0)) < 0.05 && Math.abs(curveDb(curve, 199)) < 0.05);
    }

    // Lists whose rows do not sit at their device values: the bell still lands on 1 kHz.
    function test_curveListOrder_data() {
        return [{ tag: "reversed" }, { tag: "shifted" }];
    }

    function test_curveListOrder(data) {
        var rows = [];
        for (var i = 0; i < frequencyList.count; ++i)
            rows.push({ deviceValue: frequencyList.get(i).deviceValue, displayValue: frequencyList.get(i).displayValue });
        if (data.tag === "reversed")
            rows.reverse();
        else
            rows = rows.map(function(r) { return { deviceValue: r.deviceValue + 1, displayValue: r.displayValue }; });
        var shifted = data.tag === "shifted" ? 1 : 0;
        var frequency = { count: rows.length, get: function(i) { return rows[i]; } };
        var curve = Eq.rvEQCurve([band(1, 68 + shifted, 48, 20)], { frequency: frequency, gain: gainList, q: qList }, 800, 400);
        var peak = 0;
        for (i = 1; i < 200; ++i)
            if (curve.ys[i] > curve.ys[peak])
                peak = i;
        var f = Eq.rvEQLogarithmicFreq(curve.geometry.fLeft, peak + 1, curve.geometry.pointsPerOctave);
        verify(Math.abs(Math.log2(f / 1000)) < 0.05, "peak at " + f + " Hz");
    }

    // An RVEq-shaped source (bandAt/maxBandCount), and a redraw into the previous result.
    function test_curveReuse() {
        var eq = { maxBandCount: 2, bandAt: function(i) { return [band(1, 68, 48, 20), band(6, 80, 36, 30)][i]; } };
        var first = Eq.rvEQCurve(eq, lists, 800, 400);
        var xs = first.xs;
        var again = Eq.rvEQCurve(eq, lists, 800, 400, first);
        verify(again === first && again.xs === xs);
        var low = Infinity;
        for (var i = 0; i < 200; ++i)
            low = Math.min(low, curveDb(again, i));
        verify(low < -18, "the notch at 2 kHz reaches below the plot: " + low);
    }

    // [frequency, gain] corners of one speaker range; the plot spans 20 Hz to 20 kHz, -18 dB.
    function test_crossover_data() {
        var s = Math.pow(2, 1.5);
        return [
            { tag: "inside", min: 100, max: 1000, pts: [[100 / s, -18], [100, 0], [1000, 0], [1000 * s, -18]] },
            { tag: "cut left", min: 25, max: 1000, pts: [[20, 12 * Math.log2(20 / 25)], [25, 0], [1000, 0], [1000 * s, -18]] },
            { tag: "cut right", min: 100, max: 15000, pts: [[100 / s, -18], [100, 0], [15000, 0], [20000, 12 * Math.log2(15000 / 20000)]] },
            { tag: "full range", min: 0, max: 20000, pts: [[20, 0], [20000, 0]] },
            { tag: "sub", min: 42, max: 80, pts: [[20, 12 * Math.log2(20 / 42)], [42, 0], [80, 0], [80 * s, -18]] },
            { tag: "unknown", min: -1, max: -1, pts: [] },
            { tag: "reversed", min: 1000, max: 100, pts: [] },
            { tag: "not a number", min: NaN, max: 1000, pts: [] },
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
        fuzzyCompare(pts[0][1], Eq.rvEQGainToY(12 * Math.log2(20 / 25), g), 1e-9);
        fuzzyCompare(pts[1][1], 200, 1e-9);
        compare(Eq.rvEQCrossoverLineColors.length, 3);
    }

    function test_gestures() {
        var g = Eq.rvEQPlotGeometry(800, 400);
        fuzzyCompare(Eq.rvEQFrequencyFromX(Eq.rvEQFrequencyToX(1000, g), g), 1000, 1e-9);
        fuzzyCompare(Eq.rvEQFrequencyFromX(40, g), 20, 1e-9);
        fuzzyCompare(Eq.rvEQGainFromY(Eq.rvEQGainToY(-7.5, g), g), -7.5, 1e-9);
        compare([1, 2, 3, 4, 5, 6].map(Eq.rvEQTypeHasGain), [true, false, false, true, true, false]);
        compare(Eq.rvEQDeviceValue(qList, 1.04), 20);
        compare(Eq.rvEQDeviceValue(gainList, 6.2), 48);
        compare(Eq.rvEQDeviceValue(frequencyList, Eq.rvEQFrequencyFromX(Eq.rvEQFrequencyToX(1000, g) + 1, g)), 68);
        compare(Eq.rvEQDeviceValue(gainList, NaN), -1);
    }

    function test_qLimits_data() {
        return [
            { tag: "bell pinch out", type: 1, start: 4, scale: 0.25, q: 10 },
            { tag: "notch pinch in", type: 6, start: 0.5, scale: 10, q: 0.1 },
            { tag: "high pass pinch out", type: 2, start: 1, scale: 0.5, q: 1.4 },
            { tag: "low shelf within", type: 5, start: 1.2, scale: 1.2, q: 1 },
            { tag: "bell within", type: 1, start: 1, scale: 0.5, q: 2 },
        ];
    }

    function test_qLimits(data) {
        fuzzyCompare(Eq.rvEQPinchQ(data.start, data.scale, data.type), data.q, 1e-12);
    }

    function test_wheel_data() {
        return [
            { tag: "up one", type: 1, q: 1, delta: -120, result: 1.1 },
            { tag: "down one", type: 1, q: 1, delta: 120, result: 0.9 },
            { tag: "up two", type: 1, q: 1, delta: -240, result: 1.25 },
            { tag: "touchpad", type: 1, q: 1, delta: -15, result: 1.1 },
            { tag: "top", type: 1, q: 10, delta: -120, result: 10 },
            { tag: "bottom", type: 6, q: 0.1, delta: 120, result: 0.1 },
            { tag: "shelf limit", type: 4, q: 1.4, delta: -120, result: 1.4 },
            { tag: "no step", type: 1, q: 2.2, delta: 0, result: 2.2 },
            { tag: "not a number", type: 1, q: 2.2, delta: NaN, result: 2.2 },
        ];
    }

    function test_wheel(data) {
        fuzzyCompare(Eq.rvEQWheelQ(qList, data.q, data.delta, data.type), data.result, 1e-9);
    }

    function test_compressor() {
        compare(Compressor.getXThreshold(-30, 0, -60, 200), 100);
        compare(Compressor.getXThreshold(-60, 0, -60, 200), 0);
        compare(Compressor.getYCompression(0.5, 100, 200), 150);
        compare(Compressor.getYCompression(1, 40, 200), 200);
    }

    // Screen rows are height - y, and a point that is not a number never reaches the canvas.
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
        compare(calls[calls.length - 4], ["lineTo", 10, 100]);
        compare(calls[calls.length - 3], ["lineTo", 5, 100]);
        compare(ctx.fillStyle, "#3FFFFFFF");
    }
}
