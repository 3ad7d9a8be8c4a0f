// How the port's configuration is prepared from what the driver reports
// and the chosen line settings. Window-free: the Win32 channel copies these
// fields out of the driver's DCB and back into it.
#pragma once

#include <cstdint>

#include "serial/LineSettings.h"

namespace tv {

// The size asked for both driver queues.
constexpr uint32_t kPortQueueBytes = 10000;

// The DCB fields the program decides; every other field keeps the value the
// driver reports. Flags are 0 or 1; the DTR and RTS controls are 0..3 as in
// the DCB's two-bit fields.
struct DcbFields {
  uint32_t baudRate = 0;
  uint8_t byteSize = 0;
  uint8_t parity = 0;
  uint8_t stopBits = 0;
  uint8_t fBinary = 0;
  uint8_t fParity = 0;
  uint8_t fOutxCtsFlow = 0;
  uint8_t fOutxDsrFlow = 0;
  uint8_t fDtrControl = 0;
  uint8_t fDsrSensitivity = 0;
  uint8_t fOutX = 0;
  uint8_t fInX = 0;
  uint8_t fErrorChar = 0;
  uint8_t fNull = 0;
  uint8_t fRtsControl = 0;
  uint8_t fAbortOnError = 0;
  uint16_t xonLim = 0;
  uint16_t xoffLim = 0;
  char xonChar = 0;
  char xoffChar = 0;
};

// The DCB's DTR and RTS control values.
constexpr uint8_t kControlDisable = 0;
constexpr uint8_t kControlEnable = 1;
constexpr uint8_t kControlHandshake = 2;

// Prepares the driver's last configuration for the line settings: the
// flow mode, then DTR and RTS held on or off where the user chose so and
// the flow mode does not drive the line (RTS in mode 1, DTR in mode 2).
void PrepareDcb(DcbFields& dcb, const LineValues& v);

// Drivers check the XON/XOFF limits against their input buffer whatever the
// flow mode, so one with a smaller buffer than PrepareDcb's limits assume
// (and which refused the queue sizes asked for) refuses the whole state.
// Gives dcb limits such a driver takes: a fifth of its input buffer each
// when it says how large that is (inQueueBytes, 0 when it does not),
// otherwise the limits it holds now (driver, as it reported them). False
// when they are the ones dcb has already.
bool FitFlowLimits(DcbFields& dcb, const DcbFields& driver, uint32_t inQueueBytes);

}  // namespace tv
