// Copies the fields the program decides between the driver's DCB and the
// window-free DcbFields.
#pragma once

#include <windows.h>

#include "serial/DcbSetup.h"

namespace tv {

inline DcbFields FieldsOfDcb(const DCB& d) {
  DcbFields f;
  f.baudRate = d.BaudRate;
  f.byteSize = d.ByteSize;
  f.parity = d.Parity;
  f.stopBits = d.StopBits;
  f.fBinary = static_cast<uint8_t>(d.fBinary);
  f.fParity = static_cast<uint8_t>(d.fParity);
  f.fOutxCtsFlow = static_cast<uint8_t>(d.fOutxCtsFlow);
  f.fOutxDsrFlow = static_cast<uint8_t>(d.fOutxDsrFlow);
  f.fDtrControl = static_cast<uint8_t>(d.fDtrControl);
  f.fDsrSensitivity = static_cast<uint8_t>(d.fDsrSensitivity);
  f.fOutX = static_cast<uint8_t>(d.fOutX);
  f.fInX = static_cast<uint8_t>(d.fInX);
  f.fErrorChar = static_cast<uint8_t>(d.fErrorChar);
  f.fNull = static_cast<uint8_t>(d.fNull);
  f.fRtsControl = static_cast<uint8_t>(d.fRtsControl);
  f.fAbortOnError = static_cast<uint8_t>(d.fAbortOnError);
  f.xonLim = d.XonLim;
  f.xoffLim = d.XoffLim;
  f.xonChar = d.XonChar;
  f.xoffChar = d.XoffChar;
  return f;
}

// Fields outside DcbFields keep what d holds.
inline void StoreFieldsInDcb(const DcbFields& f, DCB& d) {
  d.BaudRate = f.baudRate;
  d.ByteSize = f.byteSize;
  d.Parity = f.parity;
  d.StopBits = f.stopBits;
  d.fBinary = f.fBinary;
  d.fParity = f.fParity;
  d.fOutxCtsFlow = f.fOutxCtsFlow;
  d.fOutxDsrFlow = f.fOutxDsrFlow;
  d.fDtrControl = f.fDtrControl;
  d.fDsrSensitivity = f.fDsrSensitivity;
  d.fOutX = f.fOutX;
  d.fInX = f.fInX;
  d.fErrorChar = f.fErrorChar;
  d.fNull = f.fNull;
  d.fRtsControl = f.fRtsControl;
  d.fAbortOnError = f.fAbortOnError;
  d.XonLim = f.xonLim;
  d.XoffLim = f.xoffLim;
  d.XonChar = f.xonChar;
  d.XoffChar = f.xoffChar;
}

}  // namespace tv
