import QtQuick 2.15

// The right column: RF level, markers, demodulation and the log, as their panels arrive.
PanelColumn {
}
