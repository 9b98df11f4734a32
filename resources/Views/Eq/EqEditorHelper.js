.pragma library

// Texts and small choices of the EQ editor and the input patch screen.

var typeNames = ["Thru", "Bell", "High pass", "Low pass", "High shelf", "Low shelf", "Notch"];

// Device values of a band the user adds: a bell at 0 dB (so adding changes no sound) with Q 1.
var newBandGain = 36;
var newBandQ = 20;
// 1 kHz, where the first band goes.
var firstBandFrequency = 68;
// One octave in the R40 frequency list.
var octaveSteps = 12;

function typeName(type) {
    return type >= 0 && type < typeNames.length ? typeNames[type] : "Type " + type;
}

function frequencyText(hz) {
    if (!isFinite(hz))
        return "–";
    if (hz >= 10000)
        return (hz / 1000).toFixed(1) + " kHz";
    if (hz >= 1000)
        return (hz / 1000).toFixed(2) + " kHz";
    if (hz >= 100)
        return hz.toFixed(0) + " Hz";
    return hz.toFixed(1) + " Hz";
}

function gainText(db) {
    if (!isFinite(db))
        return "–";
    return (db > 0 ? "+" : "") + db.toFixed(1) + " dB";
}

function qText(q) {
    return isFinite(q) ? "Q " + q.toFixed(2) : "Q –";
}

// Frequency device value for a new band: 1 kHz on an empty EQ, otherwise an octave above the
// highest band (or below it near the top), moved to the nearest row no band holds yet so
// the new handle does not hide under an old one. `taken(f)` tells whether a band sits at f.
function newBandFrequency(lastUsedFrequency, maxFrequency, taken) {
    var start = lastUsedFrequency < 0 ? firstBandFrequency
              : lastUsedFrequency + octaveSteps <= maxFrequency ? lastUsedFrequency + octaveSteps
              : Math.max(0, lastUsedFrequency - octaveSteps);
    for (var d = 0; d <= maxFrequency; ++d) {
        if (start + d <= maxFrequency && !taken(start + d))
            return start + d;
        if (start - d >= 0 && !taken(start - d))
            return start - d;
    }
    return start;
}

// The handle a press at (x, y) takes: the nearest centre whose square touch area of side
// `reach` holds the point; ties go to the earlier handle. `handles` are {id, x, y}; -1 when
// none is in reach.
function handleAt(handles, x, y, reach) {
    var best = -1, bestDistance = Infinity, half = reach / 2;
    for (var i = 0; i < handles.length; ++i) {
        var h = handles[i];
        var dx = x - h.x, dy = y - h.y;
        if (Math.abs(dx) > half || Math.abs(dy) > half)
            continue;
        var distance = dx * dx + dy * dy;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = h.id;
        }
    }
    return best;
}

// Labelled vertical grid lines of the plot (Hz) and the unlabelled ones between them.
var gridFrequencies = [20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000];
var labelledFrequencies = [20, 100, 1000, 10000];
var gridGains = [-12, -6, 0, 6, 12];

function gridFrequencyLabel(hz) {
    return hz >= 1000 ? (hz / 1000) + " kHz" : hz + " Hz";
}
