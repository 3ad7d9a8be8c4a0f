#include "base/PortRecord.h"

#include <cstring>

namespace tv {

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

}  // namespace tv
