.pragma library

// Lookups between device values and display values in the value lists. A model is anything
// with `count` and `get(i)` returning the row's roles (an XmlListModel, or an array wrapper).

function getIndexFromDeviceValue(model, deviceValue) {
    return nearestRow(model, "deviceValue", deviceValue);
}

function getIndexFromDisplayValue(model, displayValue) {
    return nearestRow(model, "displayValue", displayValue);
}

function getDeviceValueFromDisplayValue(model, displayValue) {
    return deviceValueAt(model, nearestRow(model, "displayValue", displayValue));
}

function getDeviceValueFromDecreasingDisplayValue(model, value) {
    return deviceValueAt(model, nearestRow(model, "decreasingDisplayValue", value));
}

function deviceValueAt(model, row) {
    if (row < 0)
        return -1;
    var value = Number(model.get(row).deviceValue);
    return isFinite(value) ? value : -1;
}

function keyAt(model, row, role) {
    return Number(model.get(row)[role]);
}

// Nearest row by the role `role`, for lists whose key rises or falls along the rows. Walks
// from the front because the lists are short and the walk's tie rule is the one users know:
// a value halfway between two rows takes the row the walk stops at. Returns -1 for a
// missing or empty model and for a value that is not a number.
function nearestRow(model, role, value) {
    if (!model)
        return -1;
    var count = Number(model.count);
    if (!(count > 0))
        return -1;
    var v = Number(value);
    if (isNaN(v))
        return -1;
    if (count === 1)
        return 0;

    var first = keyAt(model, 0, role);
    var second = keyAt(model, 1, role);
    var last = count === 2 ? second : keyAt(model, count - 1, role);
    if (isNaN(first) || isNaN(second) || isNaN(last))
        return -1;
    // Beyond `key` in the direction the rows run.
    var sign = first > second ? -1 : 1;

    if (sign * (v - first) < 0)
        return 0;
    if (sign * (v - last) > 0)
        return count - 1;
    if (count === 2) // the walk needs a middle row; a tie goes to the later row as it would there
        return Math.abs(v - first) < Math.abs(v - second) ? 0 : 1;

    var i = 1;
    while (i < count - 2 && sign * (v - keyAt(model, i + 1, role)) > 0)
        ++i;
    var here = keyAt(model, i, role);
    if (sign * (v - here) < 0) {
        var before = keyAt(model, i - 1, role);
        return Math.abs(v - before) < Math.abs(v - here) ? i - 1 : i;
    }
    var after = keyAt(model, i + 1, role);
    return Math.abs(v - after) < Math.abs(v - here) ? i + 1 : i;
}
