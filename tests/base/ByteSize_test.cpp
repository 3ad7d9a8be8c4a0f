#include "base/ByteSize.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tv {
namespace {

TEST(ByteSize, ExactFields) {
  const uint64_t kB = 1024, MB = kB << 10, GB = MB << 10, TB = GB << 10;
  struct Case {
    uint64_t bytes;
    const wchar_t* text;
  } cases[] = {
      {0, L" 0B"},          {1, L" 1B"},           {1023, L" 1023B"},
      {1024, L" 1kB"},      {1536, L" 1kB 512B"},  {MB - 1, L" 1023kB 1023B"},
      {MB + 1, L" 1MB 1B"}, {5 * GB + 3, L" 5GB 3B"}, {TB + MB, L" 1TB 1MB"},
      {TB, L" 1TB"},        {3 * TB + 2 * GB + kB, L" 3TB 2GB 1kB"}, {4096 * TB, L" 4096TB"},
      {UINT64_MAX, L" 16777215TB 1023GB 1023MB 1023kB 1023B"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatByteSize(c.bytes), c.text) << c.bytes;
  EXPECT_EQ(FormatByteSize(UINT64_MAX).size(), static_cast<std::size_t>(kByteSizeMaxUnits));
}

}  // namespace
}  // namespace tv
