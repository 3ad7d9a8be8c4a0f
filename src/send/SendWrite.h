// How the send jobs hand bytes to the port.
#pragma once

#include <windows.h>

#include "app/AppState.h"
#include "serial/SerialChannel.h"

namespace tv {

// Writes all n bytes unless the job is cancelled or the port closes; true
// when all went out. A write the device did not take within the time-out is
// tried again rather than skipped: skipping lost the bytes while the
// progress counted them as sent.
inline bool WriteAll(SerialChannel& channel, const uint8_t* bytes, DWORD n, const Flag& busy) {
  DWORD done = 0;
  while (done < n) {
    DWORD written = channel.writeBytes(bytes + done, n - done);
    done += written < n - done ? written : n - done;
    if (done == n) break;
    if (!busy || !channel.isOpen()) return false;
    // A write that fails at once must not spin a core.
    if (written == 0) Sleep(10);
  }
  return true;
}

}  // namespace tv
