.pragma library
.import "ParameterXmlModelHelper.js" as Lists

// Magnitude response of the device's equaliser as the plots draw it, and the plot geometry
// the gestures invert. The device does the filtering; these formulas mirror its biquads.

var RVEQTypeThru = 0;
var RVEQTypeBell = 1;
var RVEQTypeHighPass = 2;
var RVEQTypeLowPass = 3;
var RVEQTypeHighShelf = 4;
var RVEQTypeLowShelf = 5;
var RVEQTypeNotch = 6;
var RVEQTypeBandPassParallel = 7;

var rvEQSampleRate = 96000;
var rvEQMinFrequency = 20;
var rvEQMaxFrequency = 20000;
var rvEQPointCount = 200;
var rvEQMinGain = -18;
var rvEQMaxGain = 18;
var rvEQInsetRatio = 0.05;

var rvEQCrossoverLineColors = ["#FFFFFF", "#7F7F7F", "#3F3F3F"];
var rvEQCrossoverFillColors = ["#3FFFFFFF", "#3F7F7F7F", "#3F3F3F3F"];

// ---- frequency grid ---------------------------------------------------------------------

function rvEQNormalizedFrequency(f, sampleRate) {
    return f / (sampleRate / 2);
}

function rvEQNormalizedFrequenciesLog(freqMin, pointsPerOctave, count, sampleRate) {
    var d = rvEQLogarithmicDeltaFreq(pointsPerOctave);
    var out = new Array(count);
    var f = freqMin;
    for (var i = 0; i < count; ++i) {
        f *= d;
        out[i] = rvEQNormalizedFrequency(f, sampleRate);
    }
    return out;
}

function rvEQNormalizedFrequencies(frequenciesHz, count, sampleRate) {
    var n = Math.min(count, frequenciesHz.length);
    var out = new Array(n);
    for (var i = 0; i < n; ++i)
        out[i] = rvEQNormalizedFrequency(frequenciesHz[i], sampleRate);
    return out;
}

function rvEQNumberOfPointsPerOctave(fMin, fMax, count) {
    return (count - 1) / Math.log2(fMax / fMin);
}

function rvEQNumberOfPointsPerOctaveWithInsets(fMin, fMax, count, insetLeft, insetRight, width) {
    var nLeft = insetLeft / width * count;
    var nRight = insetRight / width * count;
    var n = (count - 1 - nLeft - nRight) / Math.log2(fMax / fMin);
    return [n, fMin * Math.pow(2, -nLeft / n)];
}

function rvEQLogarithmicDeltaFreq(n) {
    return Math.pow(2, 1 / n);
}

function rvEQLogarithmicFreq(f0, n, pointsPerOctave) {
    return f0 * Math.pow(2, n / pointsPerOctave);
}

function rvEQLogarithmicFreqIndex(f, fLeft, pointsPerOctave) {
    return pointsPerOctave * Math.log2(f / fLeft);
}

function rvEQLogarithmicFreqX(f, fLeft, pointsPerOctave, count, width) {
    return width / count * rvEQLogarithmicFreqIndex(f, fLeft, pointsPerOctave);
}

function rvEQLinearToDB(x) {
    return x > 0 ? 20 * Math.log(x) / Math.LN10 : -1000;
}

// ---- biquads ----------------------------------------------------------------------------

function setCoefs(c, b0, b1, b2, a1, a2) {
    c.b0 = b0; c.b1 = b1; c.b2 = b2; c.a1 = a1; c.a2 = a2;
    return c;
}

// `out` (optional) is filled and returned instead of a new object, so a redraw allocates
// nothing per band.
function rvEQBiquadCoefsMakeWithType(type, fn, q, gainDb, out) {
    var c = out || {};
    var K = Math.tan(Math.PI * fn / 2);
    var K2 = K * K;
    var V = Math.pow(10, Math.abs(gainDb) / 20);
    var boost = gainDb >= 0;
    var n, sv;
    switch (type) {
    case RVEQTypeBell:
        if (fn <= 0 || fn >= 1)
            return setCoefs(c, 1, 0, 0, 0, 0);
        if (q <= 0)
            return setCoefs(c, V * V, 0, 0, 0, 0);
        if (boost) {
            n = 1 / (1 + K / q + K2);
            return setCoefs(c, (1 + V * K / q + K2) * n, 2 * (K2 - 1) * n, (1 - V * K / q + K2) * n,
                            2 * (K2 - 1) * n, (1 - K / q + K2) * n);
        }
        n = 1 / (1 + V * K / q + K2);
        return setCoefs(c, (1 + K / q + K2) * n, 2 * (K2 - 1) * n, (1 - K / q + K2) * n,
                        2 * (K2 - 1) * n, (1 - V * K / q + K2) * n);
    case RVEQTypeHighPass:
        if (fn === 1)
            return setCoefs(c, 0, 0, 0, 0, 0);
        if (fn === 0)
            return setCoefs(c, 1, 0, 0, 0, 0);
        n = 1 / (1 + K / q + K2);
        return setCoefs(c, n, -2 * n, n, 2 * (K2 - 1) * n, (1 - K / q + K2) * n);
    case RVEQTypeLowPass:
        if (fn === 1)
            return setCoefs(c, 1, 0, 0, 0, 0);
        n = 1 / (1 + K / q + K2);
        return setCoefs(c, K2 * n, 2 * K2 * n, K2 * n, 2 * (K2 - 1) * n, (1 - K / q + K2) * n);
    case RVEQTypeBandPassParallel:
        if (!(fn > 0 && fn < 1))
            return setCoefs(c, 0, 0, 0, 0, 0);
        if (q <= 0)
            return setCoefs(c, 1, 0, 0, 0, 0);
        n = 1 / (1 + K / q + K2);
        return setCoefs(c, K / q * n, 0, -K / q * n, 2 * (K2 - 1) * n, (1 - K / q + K2) * n);
    case RVEQTypeLowShelf:
        if (fn === 1)
            return setCoefs(c, Math.pow(10, gainDb / 10), 0, 0, 0, 0);
        if (fn === 0)
            return setCoefs(c, 1, 0, 0, 0, 0);
        sv = Math.sqrt(V);
        if (boost) {
            n = 1 / (1 + K / q + K2);
            return setCoefs(c, (1 + sv * K / q + V * K2) * n, 2 * (V * K2 - 1) * n, (1 - sv * K / q + V * K2) * n,
                            2 * (K2 - 1) * n, (1 - K / q + K2) * n);
        }
        n = 1 / (1 + sv * K / q + V * K2);
        return setCoefs(c, (1 + K / q + K2) * n, 2 * (K2 - 1) * n, (1 - K / q + K2) * n,
                        2 * (V * K2 - 1) * n, (1 - sv * K / q + V * K2) * n);
    case RVEQTypeHighShelf:
        if (fn === 1)
            return setCoefs(c, 1, 0, 0, 0, 0);
        if (fn === 0)
            return setCoefs(c, Math.pow(10, gainDb / 10), 0, 0, 0, 0);
        sv = Math.sqrt(V);
        if (boost) {
            n = 1 / (1 + K / q + K2);
            return setCoefs(c, (V + sv * K / q + K2) * n, 2 * (K2 - V) * n, (V - sv * K / q + K2) * n,
                            2 * (K2 - 1) * n, (1 - K / q + K2) * n);
        }
        n = 1 / (V + sv * K / q + K2);
        return setCoefs(c, (1 + K / q + K2) * n, 2 * (K2 - 1) * n, (1 - K / q + K2) * n,
                        2 * (K2 - V) * n, (V - sv * K / q + K2) * n);
    case RVEQTypeNotch:
        if (!(fn > 0 && fn < 1))
            return setCoefs(c, 1, 0, 0, 0, 0);
        if (q <= 0)
            return setCoefs(c, 0, 0, 0, 0, 0);
        n = 1 / (1 + K / q + K2);
        return setCoefs(c, (1 + K2) * n, 2 * (K2 - 1) * n, (1 + K2) * n, 2 * (K2 - 1) * n, (1 - K / q + K2) * n);
    default:
        return setCoefs(c, 1, 0, 0, 0, 0);
    }
}

function rvEQBiquadMagnitude(c, fn) {
    var w = Math.PI * fn;
    var cw = Math.cos(w), sw = Math.sin(w);
    var c2w = Math.cos(2 * w), s2w = Math.sin(2 * w);
    var nr = c.b0 + c.b1 * cw + c.b2 * c2w, ni = c.b1 * sw + c.b2 * s2w;
    var dr = 1 + c.a1 * cw + c.a2 * c2w, di = c.a1 * sw + c.a2 * s2w;
    return Math.sqrt((nr * nr + ni * ni) / (dr * dr + di * di));
}

function rvEQBiquadPhase(c, fn) {
    var w = Math.PI * fn;
    var p = Math.atan2(-(c.b1 * Math.sin(w) + c.b2 * Math.sin(2 * w)), c.b0 + c.b1 * Math.cos(w) + c.b2 * Math.cos(2 * w))
          - Math.atan2(-(c.a1 * Math.sin(w) + c.a2 * Math.sin(2 * w)), 1 + c.a1 * Math.cos(w) + c.a2 * Math.cos(2 * w));
    if (p >= Math.PI)
        p -= 2 * Math.PI;
    else if (p <= -Math.PI)
        p += 2 * Math.PI;
    return p;
}

function rvEQBiquadResponse(coefs, fn) {
    return [rvEQBiquadMagnitude(coefs, fn), rvEQBiquadPhase(coefs, fn)];
}

// Either array may be -1 to skip it.
function rvEQAddBiquadResponses(coefs, magnitudes, phases, frequencies, count) {
    for (var i = 0; i < count; ++i) {
        if (magnitudes !== -1)
            magnitudes[i] *= rvEQBiquadMagnitude(coefs, frequencies[i]);
        if (phases !== -1)
            phases[i] += rvEQBiquadPhase(coefs, frequencies[i]);
    }
}

function coefsFinite(c) {
    return isFinite(c.b0) && isFinite(c.b1) && isFinite(c.b2) && isFinite(c.a1) && isFinite(c.a2);
}

// ---- plot geometry ----------------------------------------------------------------------

// Everything a plot of `width` x `height` needs to place frequencies and gains; y is measured
// upwards from the bottom edge.
function rvEQPlotGeometry(width, height, out) {
    var g = out || {};
    var count = rvEQPointCount;
    var grid = rvEQNumberOfPointsPerOctaveWithInsets(rvEQMinFrequency, rvEQMaxFrequency, count,
                                                     width * rvEQInsetRatio, width * rvEQInsetRatio, width);
    var insetTop = height * rvEQInsetRatio, insetBottom = height * rvEQInsetRatio;
    g.width = width;
    g.height = height;
    g.count = count;
    g.pointsPerOctave = grid[0];
    g.fLeft = grid[1];
    g.fRight = grid[1] * Math.pow(2, (count - 1) / grid[0]);
    g.gainScaleA = (height - insetTop - insetBottom) / (rvEQMaxGain - rvEQMinGain);
    g.gainScaleB = insetTop + rvEQMaxGain * g.gainScaleA;
    return g;
}

function rvEQFrequencyToX(f, g) {
    return rvEQLogarithmicFreqX(f, g.fLeft, g.pointsPerOctave, g.count, g.width);
}

function rvEQGainToY(gainDb, g) {
    return g.gainScaleA * gainDb + g.gainScaleB;
}

function bandAt(bands, i) {
    return typeof bands.bandAt === "function" ? bands.bandAt(i) : bands[i];
}

function bandCount(bands) {
    return typeof bands.bandAt === "function" ? Number(bands.maxBandCount) : bands.length;
}

// `row` when it is the one row holding deviceValue, else -1. In a monotonic list the walk
// finds that same row, so probing it first gives the walk's answer.
function soleRow(model, count, deviceValue, row) {
    if (row < 0 || row >= count || Number(model.get(row).deviceValue) !== deviceValue)
        return -1;
    if (row > 0 && Number(model.get(row - 1).deviceValue) === deviceValue)
        return -1;
    if (row < count - 1 && Number(model.get(row + 1).deviceValue) === deviceValue)
        return -1;
    return row;
}

// The curve is redrawn on every drag step and XmlListModel.get is costly: the shipped lists
// hold device value v at row v or, the Q list, at row count - 1 - v, so those rows are tried
// before the walk.
function listValue(model, deviceValue) {
    var row = -1;
    var count = model ? Number(model.count) : 0;
    if (count > 0 && deviceValue === Math.floor(deviceValue)) {
        row = soleRow(model, count, deviceValue, deviceValue);
        if (row < 0)
            row = soleRow(model, count, deviceValue, count - 1 - deviceValue);
    }
    if (row < 0)
        row = Lists.getIndexFromDeviceValue(model, deviceValue);
    return row < 0 ? NaN : Number(model.get(row).displayValue);
}

// The combined curve of one equaliser. `bands` is an RVEq (bandAt/maxBandCount) or an array
// of objects with the band roles (device values); `lists` holds the frequency, gain and q
// value lists. Pass the previous result back as `out` to redraw without allocating. A band
// whose values cannot be looked up, or whose filter is not finite, is left out so that the
// curve always stays drawable.
function rvEQCurve(bands, lists, width, height, out) {
    var r = out || {};
    var g = rvEQPlotGeometry(width, height, r.geometry);
    var count = g.count;
    if (!r.xs || r.xs.length !== count) {
        r.xs = new Array(count);
        r.ys = new Array(count);
        r.magnitudes = new Array(count);
    }
    r.geometry = g;
    r.coefs = r.coefs || {};
    var mags = r.magnitudes;
    var d = rvEQLogarithmicDeltaFreq(g.pointsPerOctave);
    var nyquist = rvEQSampleRate / 2;
    for (var i = 0; i < count; ++i)
        mags[i] = 1;

    var n = bands ? bandCount(bands) : 0;
    for (var b = 0; b < n; ++b) {
        var band = bandAt(bands, b);
        if (!band || !band.isUsed || !band.isEnabled)
            continue;
        // A value that is not a finite number is no device value: the walk would clamp it to
        // an end of the list and draw a band the device does not have.
        if (!isFinite(band.frequency) || !isFinite(band.gain) || !isFinite(band.qualityFactor))
            continue;
        var f = listValue(lists.frequency, Number(band.frequency));
        var gain = listValue(lists.gain, Number(band.gain));
        var q = listValue(lists.q, Number(band.qualityFactor));
        if (!isFinite(f) || !isFinite(gain) || !isFinite(q))
            continue;
        var c = rvEQBiquadCoefsMakeWithType(Number(band.bandType), f / nyquist, q, gain, r.coefs);
        if (!coefsFinite(c))
            continue;
        var fp = g.fLeft;
        for (i = 0; i < count; ++i) {
            fp *= d;
            var m = rvEQBiquadMagnitude(c, fp / nyquist);
            if (isFinite(m))
                mags[i] *= m;
        }
    }

    for (i = 0; i < count; ++i) {
        var db = Math.min(rvEQLinearToDB(mags[i]), 1000);
        r.xs[i] = i * width / count;
        r.ys[i] = rvEQGainToY(isNaN(db) ? -1000 : db, g);
    }
    r.fillStartX = rvEQFrequencyToX(g.fLeft, g);
    r.fillEndX = rvEQFrequencyToX(g.fRight, g);
    r.zeroY = rvEQGainToY(0, g);
    return r;
}

// ---- crossover overlay ------------------------------------------------------------------

// The outline of one speaker range as [frequency, gain] corners: flat at 0 dB inside the
// range, 12 dB per octave outside it down to gainBottom, cut at the plot's ends. Empty for a
// range that is unknown (-1) or not a range.
function rvEQCrossoverOutline(minF, maxF, gainBottom, fMin, fMax) {
    if (!(minF >= 0 && maxF > minF && isFinite(maxF) && gainBottom < 0))
        return [];
    var span = Math.pow(2, gainBottom / 12);
    var pts = [];
    if (minF <= fMin) {
        pts.push([fMin, 0]);
    } else {
        var lowBottom = minF * span;
        pts.push(lowBottom >= fMin ? [lowBottom, gainBottom] : [fMin, 12 * Math.log2(fMin / minF)]);
        pts.push([minF, 0]);
    }
    if (maxF >= fMax) {
        pts.push([fMax, 0]);
    } else {
        pts.push([maxF, 0]);
        var highBottom = maxF / span;
        pts.push(highBottom <= fMax ? [highBottom, gainBottom] : [fMax, 12 * Math.log2(maxF / fMax)]);
    }
    return pts;
}

// The same outline in plot coordinates, [x, y] pairs.
function rvEQCrossoverPoints(minF, maxF, g) {
    var pts = rvEQCrossoverOutline(minF, maxF, rvEQMinGain, rvEQMinFrequency, rvEQMaxFrequency);
    for (var i = 0; i < pts.length; ++i)
        pts[i] = [rvEQFrequencyToX(pts[i][0], g), rvEQGainToY(pts[i][1], g)];
    return pts;
}

// ---- gestures ---------------------------------------------------------------------------

function rvEQFrequencyFromX(x, g) {
    return g.fLeft * Math.pow(2, x * g.count / g.width / g.pointsPerOctave);
}

function rvEQGainFromY(y, g) {
    return (y - g.gainScaleB) / g.gainScaleA;
}

function rvEQTypeHasGain(type) {
    return type === RVEQTypeBell || type === RVEQTypeHighShelf || type === RVEQTypeLowShelf;
}

function rvEQMaxQ(type) {
    return type === RVEQTypeBell || type === RVEQTypeNotch ? 10 : 1.4;
}

function rvEQLimitQ(q, type) {
    return Math.max(0.1, Math.min(rvEQMaxQ(type), q));
}

function rvEQPinchQ(startQ, scale, type) {
    return rvEQLimitQ(startQ / scale, type);
}

// One Q-list row per wheel step (120 units); a negative delta moves to a higher Q. A partial
// step from a touchpad still moves one row.
function rvEQWheelQ(qModel, q, angleDelta, type) {
    var row = Lists.getIndexFromDisplayValue(qModel, q);
    if (row < 0 || !isFinite(angleDelta) || angleDelta === 0)
        return q;
    var steps = Math.max(1, Math.round(Math.abs(angleDelta) / 120));
    var up = angleDelta < 0;
    var count = Number(qModel.count);
    var higherQ = count > 1 && Number(qModel.get(1).displayValue) > Number(qModel.get(0).displayValue) ? 1 : -1;
    var next = row + (up ? steps : -steps) * higherQ;
    next = Math.max(0, Math.min(count - 1, next));
    return rvEQLimitQ(Number(qModel.get(next).displayValue), type);
}

// The device value a gesture's display value stands for, or -1 when it has none.
function rvEQDeviceValue(model, displayValue) {
    if (!isFinite(displayValue))
        return -1;
    return Lists.getDeviceValueFromDisplayValue(model, displayValue);
}
