#include "settings/SettingsStore.h"

#include <shlwapi.h>

#include "settings/StoredValues.h"

namespace tv {

SettingsStore::SettingsStore(const wchar_t* path) : path_(path) {
  if (RegOpenKeyExW(root_, path, 0, KEY_ALL_ACCESS, &key_) != ERROR_SUCCESS) {
    key_ = nullptr;
    if (RegCreateKeyW(root_, path, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
}

bool SettingsStore::WriteDword(const wchar_t* name, DWORD value) {
  if (key_ == nullptr) return false;
  return RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
         ERROR_SUCCESS;
}

bool SettingsStore::WriteString(const wchar_t* name, const std::wstring& text) {
  if (key_ == nullptr) return false;
  // The system counts a terminator it finds right after string data as
  // part of it; a non-zero unit there keeps the data to the characters.
  std::wstring data = text;
  data.push_back(L'\xFFFF');
  return RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(text.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

const uint8_t* SettingsStore::Read(const wchar_t* name) {
  std::vector<uint8_t>().swap(buffer_);
  size_ = 0;
  if (key_ == nullptr) return nullptr;
  DWORD size = 0;
  if (RegQueryValueExW(key_, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return nullptr;
  // The value may grow between the two calls; ask again with what it needs.
  for (int attempt = 0; attempt < 4; ++attempt) {
    buffer_.assign(static_cast<std::size_t>(size) + sizeof(wchar_t), 0);
    DWORD got = size;
    LONG r = RegQueryValueExW(key_, name, nullptr, nullptr, buffer_.data(), &got);
    if (r == ERROR_SUCCESS) {
      size_ = got;
      // The data is followed by a zero character whatever was stored.
      buffer_.resize(static_cast<std::size_t>(got) + sizeof(wchar_t) + 1, 0);
      return buffer_.data();
    }
    if (r != ERROR_MORE_DATA) break;
    size = got;
  }
  std::vector<uint8_t>().swap(buffer_);
  return nullptr;
}

std::optional<uint32_t> SettingsStore::ReadDword(const wchar_t* name) {
  const uint8_t* data = Read(name);
  return data ? DwordFromData(data, size_) : std::nullopt;
}

std::optional<std::wstring> SettingsStore::ReadString(const wchar_t* name, std::size_t maxUnits) {
  const uint8_t* data = Read(name);
  if (data == nullptr) return std::nullopt;
  return StringFromData(data, size_, maxUnits);
}

bool SettingsStore::DeleteKey() {
  if (key_ == nullptr) return false;
  // With its subkeys: a key that still has any cannot be deleted alone.
  return SHDeleteKeyW(root_, path_.c_str()) == ERROR_SUCCESS;
}

void SettingsStore::Close() {
  std::vector<uint8_t>().swap(buffer_);
  size_ = 0;
  if (key_ != nullptr) {
    RegCloseKey(key_);
    key_ = nullptr;
  }
}

}  // namespace tv
