#pragma once

class QObject;
class RtsaController;
class SettingsStore;

// What is kept between runs: the controller's receiver, spectrum, display, demodulator, audio and
// measurement settings (with each receiver's reference offset), its markers, the recording folder
// and the recording last played; the window's own
// state (front end, centre, waterfall scale, the log's switches); the spectrum view's switches;
// which panels are open. Restored once the window has set its start-up values, saved when it
// closes.
void restoreKeptSettings(const SettingsStore& store, RtsaController& controller, QObject& window);
void saveKeptSettings(SettingsStore& store, RtsaController& controller, const QObject& window);
