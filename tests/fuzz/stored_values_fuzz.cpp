// Registry data another program may have written, and the settings it
// turns into: numbers, texts, line settings down to the port configuration,
// the delay box's text.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "FuzzCheck.h"
#include "app/LineItems.h"
#include "send/TimedSend.h"
#include "serial/DcbSetup.h"
#include "settings/StoredValues.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace tv;
  FuzzedDataProvider in(data, size);
  std::size_t maxUnits = in.ConsumeIntegralInRange<std::size_t>(0, 700);
  std::vector<uint8_t> value = in.ConsumeRemainingBytes<uint8_t>();

  std::optional<uint32_t> number = DwordFromData(value.data(), value.size());
  FUZZ_CHECK(number.has_value() == (value.size() >= 4));

  std::wstring text = StringFromData(value.data(), value.size(), maxUnits);
  FUZZ_CHECK(text.size() <= maxUnits && text.size() <= value.size() / 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    FUZZ_CHECK(text[i] != L'\0');
    FUZZ_CHECK(text[i] == static_cast<wchar_t>(value[2 * i] | (value[2 * i + 1] << 8)));
  }
  ParseDelayText(text.c_str());

  if (number) {
    // The same number restored as each of the five line settings.
    auto id = static_cast<int32_t>(*number);
    LineSelection s;
    s.baudItem = s.parityItem = s.dataBitsItem = s.stopBitsItem = s.flowItem = id;
    LineValues v = LineValuesOf(s);
    FUZZ_CHECK(StopBitsName(v.stopBits) != nullptr && ParityName(v.parity) != nullptr);
    DcbFields dcb;
    PrepareDcb(dcb, v);
    FUZZ_CHECK(dcb.fBinary == 1 && dcb.xonChar != dcb.xoffChar);
    FUZZ_CHECK(DelayModeTag(DelayModeOf(id)) != nullptr);
  }
  return 0;
}
