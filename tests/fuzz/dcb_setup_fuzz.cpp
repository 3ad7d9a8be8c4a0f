// Any configuration a driver may hand back, with any line values.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "serial/DcbSetup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace tv;
  FuzzedDataProvider in(data, size);
  DcbFields d;
  uint8_t* flags[] = {&d.fBinary, &d.fParity, &d.fOutxCtsFlow, &d.fOutxDsrFlow, &d.fDsrSensitivity,
                      &d.fOutX,   &d.fInX,    &d.fErrorChar,   &d.fNull,        &d.fAbortOnError};
  for (uint8_t* f : flags) *f = in.ConsumeBool() ? 1 : 0;
  d.fDtrControl = in.ConsumeIntegralInRange<uint8_t>(0, 3);
  d.fRtsControl = in.ConsumeIntegralInRange<uint8_t>(0, 3);
  d.xonLim = in.ConsumeIntegral<uint16_t>();
  d.xoffLim = in.ConsumeIntegral<uint16_t>();
  d.xonChar = in.ConsumeIntegral<char>();
  d.xoffChar = in.ConsumeIntegral<char>();
  LineValues v{in.ConsumeIntegral<int32_t>(), in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegral<uint8_t>(),
               in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegralInRange<int32_t>(-1, 5)};
  const DcbFields before = d;
  PrepareDcb(d, v);

  FUZZ_CHECK(d.fBinary == 1 && d.fParity == (v.parity != 0 ? 1 : 0));
  FUZZ_CHECK(d.fNull == 0 && d.fDsrSensitivity == 0 && d.fAbortOnError == 0 && d.fErrorChar == 0);
  FUZZ_CHECK(d.xonChar != d.xoffChar && d.xonLim + d.xoffLim < kPortQueueBytes);
  FUZZ_CHECK(d.fDtrControl <= 3 && d.fRtsControl <= 3);
  // XON/XOFF is on exactly in its own mode, or as the driver had it when
  // the mode is unknown.
  bool known = v.flowMode >= 0 && v.flowMode <= 3;
  FUZZ_CHECK(d.fOutX == (known ? (v.flowMode == 3 ? 1 : 0) : before.fOutX));
  FUZZ_CHECK(d.fInX == (known ? (v.flowMode == 3 ? 1 : 0) : before.fInX));
  return 0;
}
