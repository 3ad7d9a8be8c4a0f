#include "diagnostics/DeviceText.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(DeviceText, DriveLettersTypesAndUsedSpace) {
  EXPECT_EQ(tv::DriveLetterFromMask(1u), L'A');
  EXPECT_EQ(tv::DriveLetterFromMask((1u << 4) | (1u << 5)), L'E');
  EXPECT_EQ(tv::DriveLetterFromMask((1u << 25) | (1u << 26)), L'Z');
  EXPECT_EQ(tv::DriveLetterFromMask(0u), L'-');
  EXPECT_EQ(tv::DriveLetterFromMask(0xFC000000u), L'-');

  EXPECT_STREQ(tv::DriveTypeText(0), L"§未知§");
  EXPECT_STREQ(tv::DriveTypeText(2), L"■可移动硬盘■");
  EXPECT_STREQ(tv::DriveTypeText(5), L"△光驱△");
  EXPECT_STREQ(tv::DriveTypeText(6), L"内存盘");
  EXPECT_STREQ(tv::DriveTypeText(7), L"");
  EXPECT_STREQ(tv::DriveTypeText(0xFFFFFFFFu), L"");

  EXPECT_EQ(tv::UsedBytes(1000, 400), 600u);
  EXPECT_EQ(tv::UsedBytes(400, 1000), 0u);
  EXPECT_EQ(tv::UsedBytes(UINT64_MAX, 0), UINT64_MAX);
}

}  // namespace
