.pragma library

// Frequencies as they are typed into a field: a number (a comma may stand for the decimal
// point) and an optional unit, Hz, k/kHz, M/MHz or G/GHz in any case, so that "433.92m" is read
// as MHz the way a radio user means it. Without a unit the number is in the field's own unit
// (`defaultScale`, Hz per unit: 1e6 for a field in MHz).

var kScales = { "hz": 1, "k": 1e3, "khz": 1e3, "m": 1e6, "mhz": 1e6, "g": 1e9, "ghz": 1e9 }

var kExamples = "e.g. 99.4M, 433.92 MHz, 2.4G"

// {hz} for a positive frequency, else {error}: the message the field shows while it keeps its
// old value.
function parse(text, defaultScale) {
    const typed = String(text).trim()
    const match = /^(\d+(?:[.,]\d*)?|[.,]\d+)\s*([A-Za-z]*)$/.exec(typed)
    if (!match)
        return { error: "\"" + typed + "\" is not a frequency (" + kExamples + ")" }
    const unit = match[2].toLowerCase()
    const scale = unit === "" ? defaultScale : kScales[unit]
    if (scale === undefined)
        return { error: "Unknown unit \"" + match[2] + "\" (" + kExamples + ")" }
    const hz = Number(match[1].replace(",", ".")) * scale
    if (!(hz > 0) || !isFinite(hz))
        return { error: "A frequency must be above 0 Hz" }
    return { hz: hz }
}

// A frequency in MHz as the fields show it: up to six decimals, without trailing zeros.
function formatMHz(hz) {
    return String(Number((hz / 1e6).toFixed(6)))
}
