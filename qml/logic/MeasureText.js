.pragma library
.import "SpectrumMath.js" as SpectrumMath

// The measurement readouts as text: pure functions, so the panel and the tests share them.

// A level with its unit, "--" when there is none.
function level(db, unit) {
    return isFinite(db) ? db.toFixed(2) + " " + unit : "-- " + unit
}

function bandwidth(valid, hz) {
    return valid && isFinite(hz) ? SpectrumMath.formatHz(hz) : "--"
}

function channelLine(r) {
    if (!r.channelValid)
        return "Channel  --"
    return "Channel  " + level(r.channelPower, r.unit) + "  " + level(r.channelDensity, r.unit + "/Hz")
}

function obwLine(r, percent) {
    return "OBW " + Number(percent) + " %  " + bandwidth(r.obwValid, r.obwHz)
}

function xDbLine(r, xDb) {
    return "-" + Number(xDb) + " dB BW  " + bandwidth(r.xDbValid, r.xDbHz)
}

// The adjacent channels each side, nearest first, in dBc.
function acpLine(r) {
    let text = "ACP  main " + level(r.acpMain, r.unit)
    const lower = r.acpLower || []
    const upper = r.acpUpper || []
    for (let i = 0; i < lower.length; ++i)
        text += "  L" + (i + 1) + " " + dbc(lower[i]) + "  U" + (i + 1) + " " + dbc(upper[i])
    return text
}

function dbc(value) {
    return isFinite(value) ? value.toFixed(1) + " dBc" : "-- dBc"
}

function noiseLine(r) {
    if (!r.noiseValid)
        return "Noise  --"
    return "Noise @ " + (r.noiseFreqHz / 1e6).toFixed(3) + " MHz  " + level(r.noiseDensity, r.unit + "/Hz")
}

function peakLine(peak, unit) {
    return (peak.freqHz / 1e6).toFixed(4) + " MHz  " + level(peak.level, unit)
}
