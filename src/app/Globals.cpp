// The objects with static lifetime, in the order they must be built: the
// state record, the settings store, then the port (whose list is scanned
// before the main window exists).
#include "app/AppState.h"
#include "serial/SerialChannel.h"

namespace tv {
namespace {

AppState g_app;
SerialPort g_serial;

}  // namespace

AppState& App() { return g_app; }
SerialPort& Serial() { return g_serial; }

}  // namespace tv
