.pragma library

// Static compressor curve on a square plot: straight up to the threshold, then the slope of
// the inverse ratio.

function getXThreshold(threshold, maxThreshold, minThreshold, plotWidth) {
    return (threshold - minThreshold) * plotWidth / (maxThreshold - minThreshold);
}

function getYCompression(inverseRatio, xThreshold, plotWidth) {
    return inverseRatio * (plotWidth - xThreshold) + xThreshold;
}
