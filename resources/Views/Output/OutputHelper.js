.pragma library
.import "../../javascript/ParameterXmlModelHelper.js" as Values
.import "../../javascript/CompressorHelper.js" as Compressor

// The rules of the output screens: which outputs share a loudspeaker, which presets the
// carried firmware can load on an output, how values read, and the compressor's static curve.
// Catalogue arguments are the scene's `speakerDb` and `firmwareDb`.

var subOutput = 1;
var noSpeakerId = "   ";

// Output patch values: the source each output plays.
var patchLeft = 0;
var patchRight = 1;
var patchBoth = 2;

// Only these device types have a gain control on the front panel.
function hasFrontPanelGain(deviceType) {
    return deviceType === 0 || deviceType === 1;
}

function isSub(outputIndex) {
    return outputIndex === subOutput;
}

// The two main outputs run one preset and one variant.
function sharesSpeaker(outputIndex) {
    return !isSub(outputIndex);
}

function presetKind(outputIndex) {
    return isSub(outputIndex) ? "SUB" : "PASS";
}

function hasSpeaker(presetId) {
    return presetId !== undefined && presetId !== null && presetId !== "" && presetId !== noSpeakerId;
}

// A device value in its unit, as the list shows it: "+1.5 dB", "34.00 m"; "–" while the list
// is not loaded or the value is not in it.
function valueText(list, deviceValue, decimals, unit, showSign) {
    var row = Values.getIndexFromDeviceValue(list, deviceValue);
    if (row < 0)
        return "–";
    var v = Number(list.get(row).displayValue);
    var s = v.toFixed(decimals);
    if (showSign && v > 0)
        s = "+" + s;
    return unit ? s + " " + unit : s;
}

// "3.3:1", "100:1".
function ratioText(list, deviceValue) {
    var row = Values.getIndexFromDeviceValue(list, deviceValue);
    return row < 0 ? "–" : String(Number(list.get(row).displayValue)) + ":1";
}

function isPresetOffered(firmwareDb, outputIndex, presetId) {
    return isSub(outputIndex) ? firmwareDb.isSubAvailable(presetId) : firmwareDb.isMainSpeakerAvailable(presetId);
}

// Modes of a cabinet that the carried firmware can load on this output.
function modes(speakerDb, firmwareDb, outputIndex, cabinetId) {
    return speakerDb.getCabinetModeList(cabinetId).filter(function(id) {
        return isPresetOffered(firmwareDb, outputIndex, id);
    });
}

// Cabinets of a family with at least one such mode.
function cabinets(speakerDb, firmwareDb, outputIndex, familyId) {
    return speakerDb.getCabinetsList(familyId).filter(function(id) {
        return modes(speakerDb, firmwareDb, outputIndex, id).length > 0;
    });
}

// Families of the output's kind with at least one such cabinet.
function families(speakerDb, firmwareDb, outputIndex) {
    return speakerDb.getFamiliesList(presetKind(outputIndex)).filter(function(id) {
        return cabinets(speakerDb, firmwareDb, outputIndex, id).length > 0;
    });
}

// "80 – 20000 Hz" for a variant of a preset; "" when the catalogue does not know it.
function variantRangeText(speakerDb, presetId, variantId) {
    var low = speakerDb.getSpeakerCrossOverMinFrequency(presetId, variantId);
    var high = speakerDb.getSpeakerCrossOverMaxFrequency(presetId, variantId);
    return low < 0 || high < 0 ? "" : low + " – " + high + " Hz";
}

// Corner points of the static curve on a square plot of side `size`, input level to the right
// and output level up (y grows upwards): the unity line up to the threshold, then the slope of
// the inverse ratio.
function compressorCurve(thresholdDb, minThresholdDb, maxThresholdDb, inverseRatio, size) {
    var x = Compressor.getXThreshold(thresholdDb, maxThresholdDb, minThresholdDb, size);
    return [{ x: 0, y: 0 }, { x: x, y: x }, { x: size, y: Compressor.getYCompression(inverseRatio, x, size) }];
}
