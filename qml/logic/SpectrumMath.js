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

// The seven labels of the level ruler, top (maxDb) first.
function levelLabels(minDb, maxDb, height) {
    const labels = []
    for (let k = 0; k <= 6; ++k) {
        const t = k / 6
        labels.push({ y: t * (height - 1), text: (maxDb - (maxDb - minDb) * t).toFixed(0) })
    }
    return labels
}

// The eleven ticks of the frequency ruler, in the unit of the centre frequency, which the
// middle label also names. Without a span (no frame yet) the labels read "--".
function frequencyTicks(minHz, maxHz, centerHz, width) {
    const unit = unitForHz(centerHz)
    const known = maxHz - minHz > 0
    const ticks = []
    for (let k = 0; k <= 10; ++k) {
        const t = k / 10
        let text = known ? formatHzValue(minHz + (maxHz - minHz) * t, unit) : "--"
        if (k === 5 && known)
            text += " " + unit
        ticks.push({ x: t * (width - 1), text: text, align: k === 0 ? "left" : (k === 10 ? "right" : "center") })
    }
    return ticks
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
