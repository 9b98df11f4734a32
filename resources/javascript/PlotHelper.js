.pragma library

// Canvas drawing of curves given in plot coordinates (y upwards from the bottom edge).

function screenY(y, height) {
    return height - y;
}

// A point that is not a finite number would abort the canvas path; it is left out.
function finitePoint(x, y) {
    return isFinite(x) && isFinite(y);
}

function drawLine(ctx, x0, y0, x1, y1, height) {
    if (!finitePoint(x0, y0) || !finitePoint(x1, y1))
        return;
    ctx.beginPath();
    ctx.moveTo(x0, screenY(y0, height));
    ctx.lineTo(x1, screenY(y1, height));
    ctx.stroke();
}

// Polyline through xs/ys (count points), stroked.
function strokeCurve(ctx, xs, ys, count, height) {
    ctx.beginPath();
    var started = false;
    for (var i = 0; i < count; ++i) {
        if (!finitePoint(xs[i], ys[i]))
            continue;
        if (started) {
            ctx.lineTo(xs[i], screenY(ys[i], height));
        } else {
            ctx.moveTo(xs[i], screenY(ys[i], height));
            started = true;
        }
    }
    ctx.stroke();
}

// Area between the curve and the line y = baseY, from startX to endX.
function fillCurve(ctx, xs, ys, count, height, startX, endX, baseY) {
    ctx.beginPath();
    ctx.moveTo(startX, screenY(baseY, height));
    for (var i = 0; i < count; ++i) {
        if (finitePoint(xs[i], ys[i]))
            ctx.lineTo(xs[i], screenY(ys[i], height));
    }
    ctx.lineTo(endX, screenY(baseY, height));
    ctx.closePath();
    ctx.fill();
}

// Outline given as [x, y] pairs, stroked, and filled down to the bottom edge.
function drawOutline(ctx, points, height, lineColor, fillColor) {
    if (points.length < 2)
        return;
    ctx.beginPath();
    ctx.moveTo(points[0][0], screenY(points[0][1], height));
    for (var i = 1; i < points.length; ++i)
        ctx.lineTo(points[i][0], screenY(points[i][1], height));
    ctx.strokeStyle = lineColor;
    ctx.stroke();
    ctx.lineTo(points[points.length - 1][0], height);
    ctx.lineTo(points[0][0], height);
    ctx.closePath();
    ctx.fillStyle = fillColor;
    ctx.fill();
}
