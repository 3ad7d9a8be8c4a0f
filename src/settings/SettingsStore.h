// One registry key under HKEY_LOCAL_MACHINE holding every setting and the
// quick slots. UI thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tv {

class SettingsStore {
 public:
  // Opens the key, or creates it when it cannot be opened; a failure leaves
  // no handle and every later call fails quietly.
  explicit SettingsStore(const wchar_t* path);
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
  std::optional<std::wstring> ReadString(const wchar_t* name, std::size_t maxUnits);

  // Removes the whole key; the open handle stays, so later writes in this
  // run fail and the next start finds no key.
  bool DeleteKey();
  void Close();

 private:
  HKEY root_ = HKEY_LOCAL_MACHINE;
  HKEY key_ = nullptr;
  std::wstring path_;
  std::vector<uint8_t> buffer_;
  std::size_t size_ = 0;
};

// The main store serves every write, read and the clear; the label store
// only reads a slot's label while the same slot's text, read through the
// main store, is still held.
SettingsStore& MainStore();
SettingsStore& LabelStore();

}  // namespace tv
