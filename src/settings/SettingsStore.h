// One registry key holding every setting and the quick slots: under
// HKEY_LOCAL_MACHINE when this user may write there, otherwise under
// HKEY_CURRENT_USER. UI thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/WinHandles.h"

namespace tv {

// The two registry calls that open the key. Tests stand in for a user who
// may not write HKEY_LOCAL_MACHINE, which no one is refused under Wine.
class KeyOpener {
 public:
  virtual LONG open(HKEY root, const wchar_t* path, REGSAM rights, HKEY* key) const;
  virtual LONG create(HKEY root, const wchar_t* path, REGSAM rights, HKEY* key, DWORD* disposition) const;

 protected:
  ~KeyOpener() = default;
};
const KeyOpener& SystemKeyOpener();

class SettingsStore {
 public:
  // Opens the machine's key for reading and writing values, creating it
  // when it is missing. A user who may not write there (a standard user,
  // or an administrator without elevation, since Vista; a limited user on
  // XP) gets the same path under HKEY_CURRENT_USER instead; when that key
  // is new, the machine key's values are copied into it first. A failure
  // leaves no handle and every later call fails quietly.
  explicit SettingsStore(const wchar_t* path, const KeyOpener& opener = SystemKeyOpener());
  ~SettingsStore() { Close(); }
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  bool WriteDword(const wchar_t* name, DWORD value);
  // Written without a terminating zero: the data is exactly the characters.
  bool WriteString(const wchar_t* name, const std::wstring& text);

  // The value's data followed by a zero character, or null. Valid until the
  // next Read on this instance or Close; lastSize() gives the data's size.
  const uint8_t* Read(const wchar_t* name);
  std::size_t lastSize() const { return size_; }

  std::optional<uint32_t> ReadDword(const wchar_t* name);
  // A number stored as one (REG_DWORD, four bytes), or null: for values
  // whose wrong type restores their default.
  std::optional<uint32_t> ReadNumber(const wchar_t* name);
  std::optional<std::wstring> ReadString(const wchar_t* name, std::size_t maxUnits);

  // Removes the whole key in use; the open handle stays, so later writes in
  // this run fail and the next start runs with the defaults.
  bool DeleteKey();
  void Close();

  // HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER; null when nothing could be opened.
  HKEY root() const { return key_ ? root_ : nullptr; }

 private:
  HKEY root_ = HKEY_LOCAL_MACHINE;
  UniqueKey key_;
  std::wstring path_;
  const KeyOpener* opener_;
  std::vector<uint8_t> buffer_;
  std::size_t size_ = 0;
  DWORD type_ = REG_NONE;  // of the value last read
};

}  // namespace tv
