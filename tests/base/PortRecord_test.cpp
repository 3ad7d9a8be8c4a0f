#include "base/PortRecord.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

// A port record as the system lays it out: size, type, reserved, then the
// name's UTF-16 units, starting at byte `shift` of the buffer. Units after
// the claimed size are still there, as the memory behind a short record is.
std::vector<unsigned char> PortRecord(const std::u16string& units, uint32_t claimedSize, std::size_t shift = 0) {
  std::vector<unsigned char> buffer(shift + tv::kPortRecordNameOffset + units.size() * 2 + 8, 0xEE);
  unsigned char* record = buffer.data() + shift;
  const uint32_t header[3] = {claimedSize, 3, 0};
  std::memcpy(record, header, sizeof(header));
  std::memcpy(record + tv::kPortRecordNameOffset, units.data(), units.size() * 2);
  return buffer;
}

std::wstring NameOf(const std::vector<unsigned char>& buffer, uint32_t size, std::size_t shift = 0) {
  return tv::PortNameFromRecord(buffer.data() + shift, size);
}

TEST(PortRecord, PortNamesStayInsideTheirRecord) {
  const std::u16string terminated = u"COM7\0XY"s;
  ASSERT_EQ(terminated.size(), 7u);
  const auto full = static_cast<uint32_t>(12 + terminated.size() * 2);
  EXPECT_EQ(NameOf(PortRecord(terminated, full), full), L"COM7");
  // Unaligned, as a record copied into a byte stream may be.
  EXPECT_EQ(NameOf(PortRecord(terminated, full, 1), full, 1), L"COM7");
  const std::u16string wide = u"\x4E32\x53E3" u"COM12";
  EXPECT_EQ(NameOf(PortRecord(wide + u'\0', 12 + 16), 12 + 16), L"\x4E32\x53E3" L"COM12");

  // No terminator within the record: the name ends where the record does.
  const std::u16string open = u"COM123456";
  EXPECT_EQ(NameOf(PortRecord(open, 12 + 8), 12 + 8), L"COM1");
  EXPECT_EQ(NameOf(PortRecord(open, 12 + 9), 12 + 9), L"COM1");  // half a unit is not read
  EXPECT_EQ(NameOf(PortRecord(open, 12 + 1), 12 + 1), L"");

  // Too short to hold any name, or no record at all.
  for (uint32_t size : {0u, 4u, 11u, 12u}) EXPECT_EQ(NameOf(PortRecord(open, size), size), L"") << size;
  EXPECT_EQ(tv::PortNameFromRecord(nullptr, 64), L"");
}

TEST(PortRecord, PortRecordsReadBackAsTheirName) {
  for (const std::wstring name : {L"COM3", L"COM256", L"", L"\x4E32\x53E3"}) {
    std::vector<unsigned char> record = tv::PortRecord(name);
    ASSERT_EQ(record.size(), 12 + (name.size() + 1) * 2);
    uint32_t header[3];
    std::memcpy(header, record.data(), sizeof(header));
    EXPECT_EQ(header[0], record.size());
    EXPECT_EQ(header[1], tv::kPortRecordType);
    EXPECT_EQ(header[2], 0u);
    EXPECT_EQ(record[record.size() - 2] | record.back(), 0);
    EXPECT_EQ(tv::PortNameFromRecord(record.data(), record.size()), name);
  }
}

}  // namespace
