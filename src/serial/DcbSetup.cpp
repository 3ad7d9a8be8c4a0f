#include "serial/DcbSetup.h"

namespace tv {

void PrepareDcb(DcbFields& dcb, const LineValues& v) {
  dcb.baudRate = static_cast<uint32_t>(v.baudRate);
  dcb.byteSize = v.dataBits;
  dcb.stopBits = v.stopBits;
  dcb.parity = v.parity;
  // Drivers keep what the last program set. Windows only transfers in
  // binary mode; the parity check follows the parity chosen; the rest would
  // drop every 0x00 (fNull), drop all input while DSR is low
  // (fDsrSensitivity), fail every read and write after one framing error
  // (fAbortOnError) or overwrite bytes received with a parity error.
  dcb.fBinary = 1;
  dcb.fParity = v.parity != 0 ? 1 : 0;
  dcb.fNull = 0;
  dcb.fDsrSensitivity = 0;
  dcb.fAbortOnError = 0;
  dcb.fErrorChar = 0;
  // SetCommState refuses equal XON and XOFF characters and drivers refuse
  // limits beyond their queue whichever mode is chosen, so these are set
  // even where XON/XOFF is off. XOFF goes out when less than a fifth of the
  // queue is free and XON when under a fifth is queued; a driver whose
  // queue is smaller still is asked again with FitFlowLimits.
  dcb.xonChar = 0x11;
  dcb.xoffChar = 0x13;
  dcb.xonLim = kPortQueueBytes / 5;
  dcb.xoffLim = kPortQueueBytes / 5;
  // The driver hands back the settings of the last open, including the
  // handshakes another mode of this program switched on: without undoing
  // them, choosing RTS after XON/XOFF would leave both on, and XON/XOFF
  // would swallow 0x11 and 0x13 from the data. The CTS and DSR output
  // checks are the driver's own and stay as it has them.
  if (v.flowMode >= 1 && v.flowMode <= 3) {
    dcb.fOutX = 0;
    dcb.fInX = 0;
    if (dcb.fDtrControl == kControlHandshake) dcb.fDtrControl = kControlEnable;
    if (dcb.fRtsControl == kControlHandshake) dcb.fRtsControl = kControlEnable;
  }
  switch (v.flowMode) {
    case 0:
      dcb.fOutxCtsFlow = 0;
      dcb.fOutxDsrFlow = 0;
      dcb.fDtrControl = kControlDisable;
      dcb.fOutX = 0;
      dcb.fInX = 0;
      dcb.fRtsControl = kControlDisable;
      break;
    case 1:
      dcb.fRtsControl = kControlHandshake;
      break;
    case 2:
      dcb.fDtrControl = kControlHandshake;
      break;
    case 3:
      dcb.fOutX = 1;
      dcb.fInX = 1;
      break;
    default:
      break;
  }
  // A level the user holds goes into this configuration rather than into
  // a call after it, so the line takes it with the settings and the program
  // adds no pulse of its own. A line the flow mode drives stays the
  // driver's.
  if (v.flowMode != 2 && v.dtr != LineLevel::FollowFlow)
    dcb.fDtrControl = v.dtr == LineLevel::On ? kControlEnable : kControlDisable;
  if (v.flowMode != 1 && v.rts != LineLevel::FollowFlow)
    dcb.fRtsControl = v.rts == LineLevel::On ? kControlEnable : kControlDisable;
}

bool FitFlowLimits(DcbFields& dcb, const DcbFields& driver, uint32_t inQueueBytes) {
  uint16_t xon = driver.xonLim;
  uint16_t xoff = driver.xoffLim;
  if (inQueueBytes > 0) {
    uint32_t fifth = inQueueBytes / 5 < 0xFFFF ? inQueueBytes / 5 : 0xFFFF;
    xon = xoff = static_cast<uint16_t>(fifth);
  }
  if (xon == dcb.xonLim && xoff == dcb.xoffLim) return false;
  dcb.xonLim = xon;
  dcb.xoffLim = xoff;
  return true;
}

}  // namespace tv
