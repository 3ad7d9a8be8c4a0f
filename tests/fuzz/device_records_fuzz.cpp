// Device-change records as delivered, whatever their contents.
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "base/PortRecord.h"
#include "diagnostics/DeviceText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace tv;
  // A buffer of exactly the record's size, so reading past it is caught.
  std::vector<uint8_t> record(data, data + size);
  std::wstring name = PortNameFromRecord(record.data(), record.size());
  std::size_t room = size > kPortRecordNameOffset ? (size - kPortRecordNameOffset) / 2 : 0;
  FUZZ_CHECK(name.size() <= room);
  FUZZ_CHECK(name.find(L'\0') == std::wstring::npos);

  if (size >= 4) {
    uint32_t mask;
    std::memcpy(&mask, data, sizeof mask);
    wchar_t letter = DriveLetterFromMask(mask);
    FUZZ_CHECK(letter == L'-' || (letter >= L'A' && letter <= L'Z'));
    FUZZ_CHECK(DriveTypeText(mask) != nullptr);
  }
  if (size >= 16) {
    uint64_t total, free;
    std::memcpy(&total, data, sizeof total);
    std::memcpy(&free, data + 8, sizeof free);
    FUZZ_CHECK(UsedBytes(total, free) <= total);
  }
  return 0;
}
