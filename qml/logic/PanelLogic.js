.pragma library
.import NorvaleRTSA 1.0 as Rtsa

// The small computations behind the control panels, as pure functions so that the panels
// share one rule each and tests can call them without a window or a controller.

// The powers of two the analyser accepts as a buffer size ({min, max} of its settings table).
function powerOfTwoSizes(accepted) {
    const sizes = []
    for (let size = 1; size <= accepted.max; size *= 2) {
        if (size >= accepted.min)
            sizes.push(size)
    }
    return sizes
}

// The buffer sizes to offer for a driver's limits ({minSize, maxSize, preferredSize,
// granularity}): steps of the granularity from the minimum, or the powers of two the analyser
// accepts (`accepted`, {min, max}) within the limits; a preferred size that is not among them
// joins in order. `selected` is the preferred size when offered, else the first. No minimum
// means nothing is known: no sizes.
function bufferSizeChoices(info, accepted) {
    const minSize = info ? Number(info.minSize) : 0
    if (!(minSize > 0))
        return { sizes: [], selected: -1 }
    const maxSize = Number(info.maxSize)
    const granularity = Number(info.granularity)
    const preferred = Number(info.preferredSize)
    let sizes = []
    if (granularity > 0) {
        for (let size = minSize; size <= maxSize; size += granularity)
            sizes.push(size)
    } else {
        sizes = powerOfTwoSizes(accepted).filter(size => size >= minSize && size <= maxSize)
    }
    if (preferred > 0 && sizes.indexOf(preferred) < 0) {
        sizes.push(preferred)
        sizes.sort((a, b) => a - b)
    }
    return { sizes: sizes, selected: sizes.indexOf(preferred) >= 0 ? preferred : (sizes.length > 0 ? sizes[0] : -1) }
}

// Whether a choice button stands for the current value: numbers within a millionth of the
// larger magnitude (the controller may hand back a value rounded through single precision),
// anything else by equality.
function sameChoice(choice, current) {
    if (typeof choice === "number" && typeof current === "number")
        return Math.abs(choice - current) <= 1e-6 * Math.max(1, Math.abs(choice), Math.abs(current))
    return choice === current
}

function decimalsOf(step) {
    const text = String(step)
    const point = text.indexOf(".")
    return point < 0 ? 0 : text.length - point - 1
}

// A slider value: clamped to from..to and snapped to the nearest step counted from `from`,
// without the binary fractions a sum of steps leaves behind (0.1 + 19 x 0.05 is 1.05).
function snapToStep(value, from, to, step) {
    const clamped = Math.min(to, Math.max(from, value))
    if (!(step > 0))
        return clamped
    const snapped = from + Math.round((clamped - from) / step) * step
    const decimals = Math.max(decimalsOf(step), decimalsOf(from))
    return Math.min(to, Math.max(from, Number(snapped.toFixed(decimals))))
}

// The value under x on a slider track `width` pixels wide.
function sliderValueAt(x, width, from, to, step) {
    const t = width > 0 ? Math.min(1, Math.max(0, x / width)) : 0
    return snapToStep(from + t * (to - from), from, to, step)
}

// Where a value sits on a slider, 0..1.
function sliderFraction(value, from, to) {
    return to > from ? Math.min(1, Math.max(0, (value - from) / (to - from))) : 0
}

// The demodulator's binding: -2 follows the centre frequency, -1 nothing, an id that marker.
var kBindCenter = -2

// The frequency of marker `id` in the marker model, which has no lookup by id; NaN when it is
// not there.
function markerFreqHz(model, id) {
    if (!model)
        return NaN
    const rows = model.rowCount()
    for (let row = 0; row < rows; ++row) {
        const marker = model.get(row)
        if (marker.id === id)
            return Number(marker.freqHz)
    }
    return NaN
}

// The frequency the demodulator should follow, NaN when there is none.
function boundDemodFreqHz(markerId, centerFreqHz, model) {
    if (markerId === kBindCenter)
        return Number(centerFreqHz)
    if (markerId >= 0)
        return markerFreqHz(model, markerId)
    return NaN
}

// Only a real frequency is worth sending to the demodulator.
function isUsableFreq(hz) {
    return isFinite(hz) && hz > 0
}

// The binding as the drop-down shows it.
function bindingLabel(markerId) {
    if (markerId === kBindCenter)
        return "CENT"
    return markerId >= 0 ? "M" + markerId : "--"
}

// The binding line under the demodulator's frequency.
function boundLine(markerId, freqHz) {
    if (markerId < 0)
        return "Bound: --"
    return "Bound: M" + markerId + " @ " + (isUsableFreq(freqHz) ? (freqHz / 1e6).toFixed(6) + " MHz" : "--")
}

// The binding drop-down's entries: the centre first, then every marker of the model in row
// order, each with the binding it selects.
function bindingChoices(model) {
    const choices = [{ label: "CENT (Center Freq)", markerId: kBindCenter }]
    const rows = model ? model.rowCount() : 0
    for (let row = 0; row < rows; ++row) {
        const marker = model.get(row)
        const hz = Number(marker.freqHz)
        choices.push({ label: "M" + marker.id + " @ " + (hz / 1e6).toFixed(3) + " MHz", markerId: marker.id })
    }
    return choices
}

function escapeHtml(text) {
    return String(text).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;")
}

var kErrorColor = "#FF6B5E"
var kWarningColor = "#E4B55E"

// Errors and warnings in their own colours; anything else in `normal`.
function levelColor(level, normal) {
    const settings = Rtsa.Settings
    if (level >= settings.Error)
        return kErrorColor
    return level === settings.Warning ? kWarningColor : normal
}

// Where a figure reported every second is shown, by its first word: "dsp", "rx", "audio",
// "demod", or "" for none.
function statusPlace(msg) {
    const text = String(msg).trim()
    if (text.startsWith("DSP"))
        return "dsp"
    if (text.startsWith("RX") || text.startsWith("FFT ring"))
        return "rx"
    if (text.startsWith("Audio:"))
        return "audio"
    return text.startsWith("[Demod]") ? "demod" : ""
}

// Log lines are coloured by their level when it is a warning or an error, else by what they are
// about, as their first word tells.
function logColor(msg, level) {
    const text = String(msg)
    if (level !== undefined && level >= Rtsa.Settings.Warning)
        return levelColor(level, "")
    if (text.startsWith("Audio:") || text.startsWith("ASIO:"))
        return "#79D07B"
    if (text.startsWith("DSP") || text.startsWith("RX"))
        return "#4FC3F7"
    if (text.startsWith("[Demod]"))
        return "#B388FF"
    if (text.startsWith("Device"))
        return "#E4B55E"
    return "#C8D0D8"
}

// The log as rich text: one line per entry from `minLevel` up (all without one), its time
// dimmed and its message in its colour.
function logHtml(history, minLevel) {
    const shown = minLevel === undefined ? history : history.filter(entry => !(entry.level < minLevel))
    return shown.map(entry => "<font color=\"#6D7A86\">" + escapeHtml(entry.time) + "</font> <font color=\""
                     + logColor(entry.msg, entry.level) + "\">" + escapeHtml(entry.msg) + "</font>").join("<br>")
}

// The discriminator's full scale is twice the peak deviation of the signal it is meant for:
// the choice of 150 kHz is for broadcast FM sent with 75 kHz. Its label says what a radio user
// knows, the deviation and whether that is wide or narrow FM.
function deviationLabel(fullScaleHz) {
    const deviationKHz = fullScaleHz / 2 / 1000
    return (deviationKHz >= 50 ? "WFM " : "NFM ") + deviationKHz + " kHz"
}

// Full-scale values as choices labelled with their deviations.
function deviationChoices(fullScalesHz) {
    return fullScalesHz.map(hz => ({ label: deviationLabel(hz), value: hz }))
}

// An output channel list ([{index, name}]) as drop-down entries.
function channelChoices(channels) {
    return (channels || []).map(channel => ({ label: channel.name, index: channel.index }))
}

// The name of output channel `index`, "--" when none is set, its number when the driver
// did not list it.
function channelLabel(channels, index) {
    if (index < 0)
        return "--"
    const found = (channels || []).find(channel => channel.index === index)
    return found ? String(found.name) : String(index)
}

// The RF level bar from -120 to 0 dB as fractions of its length: the level (non-finite reads
// as -120), a green fill up to it, an amber segment from -30 dB and a red one from -20 dB
// while the level reaches into them (each null otherwise).
function rfLevelBar(db) {
    const level = isFinite(db) ? db : -120
    const at = dB => Math.min(1, Math.max(0, (dB + 120) / 120))
    return {
        level: level,
        fill: at(level),
        amber: level > -30 ? { from: at(-30), to: at(Math.min(level, -20)) } : null,
        red: level > -20 ? { from: at(-20), to: at(level) } : null
    }
}

// The view a typed centre and span ask for, inside the captured band bandMinHz..bandMaxHz: the
// span at most the band's, the centre moved so that the view stays inside. {centerHz, spanHz},
// both NaN for the whole band, or {error}.
function viewWithin(centerHz, spanHz, bandMinHz, bandMaxHz) {
    const band = bandMaxHz - bandMinHz
    if (!(band > 0))
        return { error: "No spectrum to show yet" }
    if (!(spanHz > 0))
        return { error: "The stop frequency must lie above the start" }
    const span = Math.min(spanHz, band)
    if (span >= band)
        return { centerHz: NaN, spanHz: NaN }
    const half = span / 2
    return { centerHz: Math.min(bandMaxHz - half, Math.max(bandMinHz + half, centerHz)), spanHz: span }
}

// The view shown now, {centerHz, spanHz}: the spectrum's zoom, or the whole band while it has none.
function shownView(viewMinHz, viewMaxHz, bandMinHz, bandMaxHz) {
    if (viewMaxHz > viewMinHz)
        return { centerHz: (viewMinHz + viewMaxHz) / 2, spanHz: viewMaxHz - viewMinHz }
    return { centerHz: (bandMinHz + bandMaxHz) / 2, spanHz: bandMaxHz - bandMinHz }
}
