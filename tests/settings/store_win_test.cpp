// The registry store against the real registry, on a key of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include "settings/SettingsStore.h"

namespace tv {
namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\TarnVikUnitTest";

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey); }
  void TearDown() override { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey); }

  static void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, kKey, &key), ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
  }
};

TEST_F(StoreTest, CreatesTheKeyAndRoundTripsValues) {
  SettingsStore store(kKey);
  EXPECT_TRUE(store.WriteDword(L"n", 0xFFFFFFFFu));
  EXPECT_TRUE(store.WriteString(L"s", L"COM7"));
  EXPECT_TRUE(store.WriteString(L"empty", L""));
  EXPECT_EQ(store.ReadDword(L"n"), 0xFFFFFFFFu);
  EXPECT_EQ(store.ReadString(L"s", 100), std::wstring(L"COM7"));
  EXPECT_EQ(store.ReadString(L"empty", 100), std::wstring());
  EXPECT_FALSE(store.ReadDword(L"absent").has_value());
  EXPECT_FALSE(store.ReadString(L"absent", 10).has_value());
}

TEST_F(StoreTest, BadStoredDataNeverOverrunsOrPassesForANumber) {
  const BYTE two[2] = {1, 2};
  SetRaw(L"short", REG_DWORD, two, 2);
  SetRaw(L"nothing", REG_BINARY, nullptr, 0);
  std::wstring longText(5000, L'x');
  SetRaw(L"long", REG_SZ, longText.c_str(), static_cast<DWORD>(longText.size() * 2));
  const BYTE odd[3] = {'A', 0, 'B'};
  SetRaw(L"odd", REG_SZ, odd, 3);

  SettingsStore store(kKey);
  EXPECT_FALSE(store.ReadDword(L"short").has_value());
  EXPECT_FALSE(store.ReadDword(L"nothing").has_value());
  EXPECT_EQ(store.ReadString(L"long", 615)->size(), 615u);
  EXPECT_EQ(store.ReadString(L"odd", 10), std::wstring(L"A"));
  // Read always ends the data with a zero character.
  const uint8_t* raw = store.Read(L"odd");
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(raw[3], 0);
  EXPECT_EQ(raw[4], 0);
}

TEST_F(StoreTest, AfterDeletingTheKeyWritesFailAndTheNextStartFindsNoKey) {
  {
    SettingsStore store(kKey);
    ASSERT_TRUE(store.WriteDword(L"a", 1));
    EXPECT_TRUE(store.DeleteKey());
    EXPECT_FALSE(store.WriteDword(L"b", 2));
  }
  HKEY key;
  EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
}

}  // namespace
}  // namespace tv
