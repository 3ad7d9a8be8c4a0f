// The objects with static lifetime (defined in app/Globals.cpp, in the
// order they must be built).
#pragma once

namespace tv {

struct AppState;
class SerialPort;
class SettingsStore;

AppState& App();
SerialPort& Serial();
// The main store serves every write, read and the clear; the label store
// only reads a slot's label while the same slot's text, read through the
// main store, is still held.
SettingsStore& MainStore();
SettingsStore& LabelStore();

}  // namespace tv
