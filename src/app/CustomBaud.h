// The box that asks for a baud rate of the user's own.
#pragma once

#include <windows.h>

#include <cstdint>

namespace tv {

// Modal over owner; rate holds the rate to show first and, when the user
// took one (true), the rate taken. Esc or the close box keep the old one.
bool AskCustomBaud(HWND owner, uint32_t& rate);

}  // namespace tv
