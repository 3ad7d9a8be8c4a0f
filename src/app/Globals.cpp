// The objects with static lifetime, in the order they must be built: the
// state record, the settings store, then the port (whose list is scanned
// before the main window exists).
#include "app/Globals.h"

#include "app/AppState.h"
#include "app/SerialPort.h"
#include "settings/SettingsStore.h"

namespace tv {
namespace {

constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\TarnVik";

AppState g_app;
SettingsStore g_mainStore(kSettingsKey);
SettingsStore g_labelStore(kSettingsKey);
SerialPort g_serial;

}  // namespace

AppState& App() { return g_app; }
SerialPort& Serial() { return g_serial; }
SettingsStore& MainStore() { return g_mainStore; }
SettingsStore& LabelStore() { return g_labelStore; }

}  // namespace tv
