#include "app/CustomBaud.h"

namespace tv {

bool AskCustomBaud(HWND, uint32_t&) { return false; }

}  // namespace tv
