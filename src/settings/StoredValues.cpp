#include "settings/StoredValues.h"

#include "base/Format.h"

namespace tv {

std::optional<uint32_t> DwordFromData(const uint8_t* data, std::size_t size) {
  if (data == nullptr || size < 4) return std::nullopt;
  return static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
         (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
}

std::wstring StringFromData(const uint8_t* data, std::size_t size, std::size_t maxUnits) {
  std::wstring out;
  if (data == nullptr) return out;
  for (std::size_t i = 0; i + 1 < size && out.size() < maxUnits; i += 2) {
    wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (c == L'\0') break;
    out.push_back(c);
  }
  return out;
}

std::wstring SlotKey(int slot) { return Format(L"%02X", {slot}); }
std::wstring SlotContentName(int slot) { return L"存档" + SlotKey(slot); }
std::wstring SlotLabelName(int slot) { return L"saveIndex" + SlotKey(slot); }

}  // namespace tv
