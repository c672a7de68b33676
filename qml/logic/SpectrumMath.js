.pragma library
.import NorvaleRTSA 1.0 as Rtsa

// Number formatting and the geometry of the spectrum area: pure functions, so the rulers,
// the marker overlay and the status bars share one rule each and tests can call them.

function unitForHz(hz) {
    const a = Math.abs(hz)
    if (a >= 1e9)
        return "GHz"
    if (a >= 1e6)
        return "MHz"
    if (a >= 1e3)
        return "kHz"
    return "Hz"
}

function formatHzValue(hz, unit) {
    switch (unit) {
    case "GHz": return (hz / 1e9).toFixed(3)
    case "MHz": return (hz / 1e6).toFixed(3)
    case "kHz": return (hz / 1e3).toFixed(3)
    default: return hz.toFixed(1)
    }
}

function formatHz(hz) {
    const unit = unitForHz(hz)
    return formatHzValue(hz, unit) + " " + unit
}

function formatMarkerMHz(hz) {
    return (hz / 1e6).toFixed(6) + " MHz"
}

function clamp(v, lo, hi) {
    return Math.min(hi, Math.max(lo, v))
}

// Horizontal position of a frequency in an area `width` pixels wide showing minHz..maxHz.
function xForFreq(hz, minHz, maxHz, width) {
    const t = (hz - minHz) / Math.max(1, maxHz - minHz)
    return clamp(t * (width - 1), 0, width - 1)
}

// The frequency under x; the centre when there is no span to map onto.
function freqForX(x, minHz, maxHz, centerHz, width) {
    const span = maxHz - minHz
    if (!(span > 0))
        return centerHz
    const t = clamp(x / Math.max(1, width - 1), 0, 1)
    return clamp(minHz + t * span, minHz, maxHz)
}

// Vertical position of a level in an area `height` pixels high showing minDb (bottom) to maxDb.
function yForLevel(db, minDb, maxDb, height) {
    const t = clamp((db - minDb) / Math.max(1, maxDb - minDb), 0, 1)
    return (1 - t) * (height - 1)
}

// The labels of the level ruler, one per division line, top (maxDb) first.
function levelLabels(minDb, maxDb, height) {
    const divisions = Rtsa.Settings.display.levelDivisions
    const labels = []
    for (let k = 0; k <= divisions; ++k) {
        const t = k / divisions
        labels.push({ y: t * (height - 1), text: (maxDb - (maxDb - minDb) * t).toFixed(0) })
    }
    return labels
}

// The smallest of 1, 2, 5, 10, 20, 50, ... that is at least `raw`.
function niceStep(raw) {
    if (!(raw > 0))
        return 1
    const decade = Math.pow(10, Math.floor(Math.log10(raw)))
    for (const m of [1, 2, 5, 10]) {
        if (m * decade >= raw * (1 - 1e-9))
            return m * decade
    }
    return 10 * decade
}

function unitScale(unit) {
    switch (unit) {
    case "GHz": return 1e9
    case "MHz": return 1e6
    case "kHz": return 1e3
    default: return 1
    }
}

// Decimals that show a frequency in `unit` to within `stepHz`, and not ten times finer; to
// the hertz without a step.
function frequencyDecimals(stepHz, unit) {
    if (!(stepHz > 0))
        stepHz = 1
    return Math.max(0, Math.ceil(Math.log10(unitScale(unit) / stepHz) - 1e-9))
}

// A frequency in its own unit with the digits a resolution of stepHz supports ("995.600 MHz").
function formatFrequency(hz, stepHz) {
    const unit = unitForHz(hz)
    return (hz / unitScale(unit)).toFixed(frequencyDecimals(stepHz, unit)) + " " + unit
}

// A frequency difference, signed, in the unit of its size.
function formatFrequencyDelta(hz, stepHz) {
    return (hz < 0 ? "-" : "+") + formatFrequency(Math.abs(hz), stepHz)
}

function formatLevelDelta(db) {
    return (db < 0 ? "-" : "+") + Math.abs(db).toFixed(1) + " dB"
}

// Labels of the frequency ruler stand at least this far apart.
var kMinTickSpacingPx = 80

// The ticks of the frequency ruler: on round multiples of a 1-2-5 step chosen so that the
// labels do not crowd, with the digits that step needs, in the unit of the centre frequency,
// which the tick nearest the middle also names. Without a span (no frame yet) eleven ticks
// read "--".
function frequencyTicks(minHz, maxHz, centerHz, width) {
    const span = maxHz - minHz
    const ticks = []
    if (!(span > 0) || !(width > 1)) {
        for (let k = 0; k <= 10; ++k)
            ticks.push({ x: k / 10 * (width - 1), text: "--",
                         align: k === 0 ? "left" : (k === 10 ? "right" : "center") })
        return ticks
    }
    const unit = unitForHz(centerHz)
    const step = niceStep(span * kMinTickSpacingPx / (width - 1))
    const decimals = frequencyDecimals(step, unit)
    const middle = (minHz + maxHz) / 2
    let named = 0
    for (let n = Math.ceil(minHz / step - 1e-9); n * step <= maxHz * (1 + 1e-12); ++n) {
        const hz = n * step
        const x = (hz - minHz) / span * (width - 1)
        const edge = kMinTickSpacingPx / 3
        ticks.push({ x: x, hz: hz, text: (hz / unitScale(unit)).toFixed(decimals),
                     align: x < edge ? "left" : (x > width - 1 - edge ? "right" : "center") })
        if (Math.abs(hz - middle) < Math.abs(ticks[named].hz - middle))
            named = ticks.length - 1
    }
    if (ticks.length > 0)
        ticks[named].text += " " + unit
    return ticks
}

// The display zoom after a wheel turn over the view: the part of the band shown (fractions
// start...stop of it) scaled by `factor` around the place under the pointer (`pointer`, a
// fraction of the view's width), which stays under the pointer; kept inside the band and at
// least minWidth wide.
function zoomView(start, stop, pointer, factor, minWidth) {
    const width = Math.min(1, Math.max(minWidth, (stop - start) * factor))
    const anchor = start + clamp(pointer, 0, 1) * (stop - start)
    const first = clamp(anchor - clamp(pointer, 0, 1) * width, 0, 1 - width)
    return { start: first, stop: first + width }
}

// Each notch of the wheel (120 units) away from the user zooms in by this factor.
var kZoomPerNotch = 0.8

function wheelZoomFactor(angleDelta) {
    return Math.pow(kZoomPerNotch, angleDelta / 120)
}

// A frequency rounded to a whole number of steps.
function snapToStep(hz, stepHz) {
    return stepHz > 0 ? Math.round(hz / stepHz) * stepHz : hz
}

// The trace scale that puts the noise floor a fifth of the way up and the strongest signal
// below the top: the smallest of the offered dB/div that fits both, and the reference level on
// the whole division nearest that, raised by one if the strongest signal would stand above it.
function autoTraceScale(noiseFloorDb, strongestDb, divisions, dbPerDivChoices) {
    const headroomDb = 5
    const floorShare = 0.2
    const needed = strongestDb + headroomDb - noiseFloorDb
    let dbPerDiv = dbPerDivChoices[dbPerDivChoices.length - 1]
    for (const choice of dbPerDivChoices) {
        if ((1 - floorShare) * divisions * choice >= needed) {
            dbPerDiv = choice
            break
        }
    }
    const range = divisions * dbPerDiv
    let refLevelDb = Math.round((noiseFloorDb + (1 - floorShare) * range) / dbPerDiv) * dbPerDiv
    if (refLevelDb < strongestDb)
        refLevelDb += dbPerDiv
    return { refLevelDb: refLevelDb, dbPerDiv: dbPerDiv }
}

// The colour scale of the waterfall and the density display set from the trace: the noise
// floor just above the bottom colour, the strongest signal just below the top one, on whole
// steps; at least 20 dB wide.
var kColourRangeStepDb = 5

function autoColourRange(noiseFloorDb, strongestDb) {
    const stepDb = kColourRangeStepDb
    const minDb = Math.floor((noiseFloorDb - 3) / stepDb) * stepDb
    const maxDb = Math.max(minDb + 20, Math.ceil((strongestDb + 3) / stepDb) * stepDb)
    return { minDb: minDb, maxDb: maxDb }
}

// The automatic colour scale after the trace's levels moved: it stays where it is until either
// end would move by more than a step, so that a floor wavering across a step's edge does not
// flip it (which would restart the density display each time).
function followColourRange(current, noiseFloorDb, strongestDb) {
    const wanted = autoColourRange(noiseFloorDb, strongestDb)
    if (current && Math.abs(wanted.minDb - current.minDb) <= kColourRangeStepDb
            && Math.abs(wanted.maxDb - current.maxDb) <= kColourRangeStepDb)
        return current
    return wanted
}

// The reference marker of delta readouts: the one with id `referenceId`, or else the first;
// null without markers.
function referenceMarker(model, referenceId) {
    const rows = model ? model.rowCount() : 0
    for (let row = 0; row < rows; ++row) {
        const marker = model.get(row)
        if (marker.id === referenceId)
            return marker
    }
    return rows > 0 ? model.get(0) : null
}

// The frequencies of every marker in the model, in row order.
function markerFrequencies(model) {
    const hz = []
    const rows = model ? model.rowCount() : 0
    for (let row = 0; row < rows; ++row)
        hz.push(Number(model.get(row).freqHz))
    return hz
}

function detectorLabel(mode, window) {
    const settings = Rtsa.Settings
    switch (mode) {
    case settings.Sample: return "Sample"
    case settings.Max: return "Max"
    case settings.Min: return "Min"
    case settings.Avg: return "Avg(" + window + ")"
    case settings.Rms: return "RMS(" + window + ")"
    default: return "Unknown"
    }
}

// True when the RBW target is no longer the one the user chose, i.e. it was changed for them.
// Before the user has chosen one there is nothing to differ from.
function rbwChangedAutomatically(targetHz, lastUserHz) {
    return isFinite(lastUserHz) && Math.round(targetHz) !== Math.round(lastUserHz)
}
