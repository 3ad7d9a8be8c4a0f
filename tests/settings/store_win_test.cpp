// The registry store against the real registry, on a key of its own.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "settings/SettingsStore.h"

namespace tv {
namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\TarnVikUnitTest";

// A user granted only `machineRights` on HKEY_LOCAL_MACHINE, as a standard
// user or an administrator without elevation is on Windows.
class RestrictedOpener : public KeyOpener {
 public:
  explicit RestrictedOpener(REGSAM machineRights) : granted_(machineRights) {}
  LONG open(HKEY root, const wchar_t* path, REGSAM rights, HKEY* key) const override {
    if (root == HKEY_LOCAL_MACHINE && (rights & ~granted_) != 0) return ERROR_ACCESS_DENIED;
    return KeyOpener::open(root, path, rights, key);
  }
  LONG create(HKEY root, const wchar_t* path, REGSAM rights, HKEY* key, DWORD* disposition) const override {
    // Creating a key under HKEY_LOCAL_MACHINE\SOFTWARE needs more than any
    // such user has.
    if (root == HKEY_LOCAL_MACHINE) {
      if ((rights & ~granted_) != 0) return ERROR_ACCESS_DENIED;
      LONG r = KeyOpener::open(root, path, rights, key);
      if (r == ERROR_SUCCESS && disposition) *disposition = REG_OPENED_EXISTING_KEY;
      return r == ERROR_FILE_NOT_FOUND ? ERROR_ACCESS_DENIED : r;
    }
    return KeyOpener::create(root, path, rights, key, disposition);
  }

 private:
  REGSAM granted_;
};

using Values = std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>>;

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteBoth(); }
  void TearDown() override { DeleteBoth(); }
  static void DeleteBoth() {
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
    SHDeleteKeyW(HKEY_CURRENT_USER, kKey);
  }

  static void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size,
                     HKEY root = HKEY_LOCAL_MACHINE) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyW(root, kKey, &key), ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
  }
  static void SetString(HKEY root, const wchar_t* name, const std::wstring& text) {
    SetRaw(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), root);
  }
  static bool KeyExists(HKEY root) {
    HKEY key;
    if (RegOpenKeyExW(root, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  // Every value of the key, raw.
  static Values Dump(HKEY root) {
    Values values;
    HKEY key;
    if (RegOpenKeyExW(root, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
    for (DWORD i = 0;; ++i) {
      wchar_t name[256];
      BYTE data[4096];
      DWORD units = 256, size = sizeof(data), type = 0;
      if (RegEnumValueW(key, i, name, &units, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
      values[name] = {type, std::vector<BYTE>(data, data + size)};
    }
    RegCloseKey(key);
    return values;
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
  EXPECT_EQ(store.root(), HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER));
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

TEST_F(StoreTest, WithoutWriteAccessToTheMachineKeySettingsLiveInTheUsersOwnCopy) {
  SetString(HKEY_LOCAL_MACHINE, L"SelectedPortFileName", L"COM7");
  DWORD baud = 2007;
  SetRaw(L"Selected_BaudRate", REG_DWORD, &baud, sizeof(baud));
  SetString(HKEY_LOCAL_MACHINE, L"存档03", std::wstring(3000, L'x'));
  const BYTE odd[3] = {'A', 0, 'B'};
  SetRaw(L"odd", REG_BINARY, odd, 3);
  const Values machine = Dump(HKEY_LOCAL_MACHINE);
  RestrictedOpener readOnly(KEY_READ);

  {
    SettingsStore store(kKey, readOnly);
    ASSERT_EQ(store.root(), HKEY_CURRENT_USER);
    // What earlier runs stored for everyone is where this user starts.
    EXPECT_EQ(Dump(HKEY_CURRENT_USER), machine);
    EXPECT_EQ(store.ReadDword(L"Selected_BaudRate"), 2007u);
    EXPECT_TRUE(store.WriteDword(L"TopMost", 0));
    EXPECT_TRUE(store.WriteString(L"SelectedPortFileName", L"COM3"));
  }
  EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE), machine);

  // Copied once: later changes of the machine key do not overwrite the user's.
  SetString(HKEY_LOCAL_MACHINE, L"SelectedPortFileName", L"COM9");
  {
    SettingsStore store(kKey, readOnly);
    SettingsStore labels(kKey, readOnly);
    EXPECT_EQ(store.ReadString(L"SelectedPortFileName", 100), std::wstring(L"COM3"));
    EXPECT_EQ(labels.ReadDword(L"TopMost"), 0u);

    // F9 clears the user's key; the machine's values do not come back.
    EXPECT_TRUE(store.DeleteKey());
    EXPECT_FALSE(store.WriteDword(L"Selected_BaudRate", 2000));
  }
  EXPECT_TRUE(Dump(HKEY_CURRENT_USER).empty());
  EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE).size(), machine.size());
  SettingsStore next(kKey, readOnly);
  EXPECT_EQ(next.root(), HKEY_CURRENT_USER);
  EXPECT_FALSE(next.ReadString(L"SelectedPortFileName", 100).has_value());
  EXPECT_FALSE(next.ReadDword(L"Selected_BaudRate").has_value());
}

TEST_F(StoreTest, AUserWhoMayNotWriteAndFindsNoMachineKeyStartsAnEmptyKeyOfTheirOwn) {
  RestrictedOpener readOnly(KEY_READ);
  SettingsStore store(kKey, readOnly);
  EXPECT_EQ(store.root(), HKEY_CURRENT_USER);
  EXPECT_TRUE(store.WriteDword(L"TopMost", 1));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE));
  EXPECT_EQ(Dump(HKEY_CURRENT_USER).size(), 1u);
}

TEST_F(StoreTest, TheRightToReadAndWriteValuesIsEnoughToUseTheMachineKey) {
  SetString(HKEY_LOCAL_MACHINE, L"SelectedPortFileName", L"COM7");
  RestrictedOpener valuesOnly(KEY_QUERY_VALUE | KEY_SET_VALUE);
  SettingsStore store(kKey, valuesOnly);
  EXPECT_EQ(store.root(), HKEY_LOCAL_MACHINE);
  EXPECT_TRUE(store.WriteDword(L"TopMost", 0));
  EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE).size(), 2u);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER));
}

}  // namespace
}  // namespace tv
