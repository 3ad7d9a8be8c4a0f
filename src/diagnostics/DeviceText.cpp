#include "diagnostics/DeviceText.h"

#include <cstring>

namespace tv {

wchar_t DriveLetterFromMask(uint32_t unitMask) {
  for (int i = 0; i < 26; ++i)
    if (unitMask & (1u << i)) return static_cast<wchar_t>(L'A' + i);
  return L'-';
}

const wchar_t* DriveTypeText(unsigned driveType) {
  switch (driveType) {
    case 0: return L"§未知§";
    case 1: return L"路径未找到!";
    case 2: return L"■可移动硬盘■";
    case 3: return L"□本地硬盘□";
    case 4: return L"○网盘○";
    case 5: return L"△光驱△";
    case 6: return L"内存盘";
    default: return L"";
  }
}

std::wstring PortNameFromRecord(const void* record, std::size_t recordSize) {
  std::wstring name;
  if (record == nullptr || recordSize <= kPortRecordNameOffset) return name;
  const auto* bytes = static_cast<const unsigned char*>(record) + kPortRecordNameOffset;
  const std::size_t units = (recordSize - kPortRecordNameOffset) / sizeof(uint16_t);
  for (std::size_t i = 0; i < units; ++i) {
    uint16_t unit;
    std::memcpy(&unit, bytes + i * sizeof(uint16_t), sizeof(unit));
    if (unit == 0) break;
    name.push_back(static_cast<wchar_t>(unit));
  }
  return name;
}

std::vector<unsigned char> PortRecord(const std::wstring& name) {
  const std::size_t size = kPortRecordNameOffset + (name.size() + 1) * sizeof(uint16_t);
  std::vector<unsigned char> record(size, 0);
  const uint32_t header[3] = {static_cast<uint32_t>(size), kPortRecordType, 0};
  std::memcpy(record.data(), header, sizeof(header));
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto unit = static_cast<uint16_t>(name[i]);
    std::memcpy(record.data() + kPortRecordNameOffset + i * sizeof(unit), &unit, sizeof(unit));
  }
  return record;
}

uint64_t UsedBytes(uint64_t total, uint64_t free) { return total >= free ? total - free : 0; }

}  // namespace tv
