#include "settings/SettingsStore.h"

#include <shlwapi.h>

#include "settings/StoredValues.h"

namespace tv {
namespace {

// Reading and writing values is all the program does with its key. Asking
// for more (KEY_ALL_ACCESS) also fails where an administrator granted just
// these two rights.
constexpr REGSAM kValueRights = KEY_QUERY_VALUE | KEY_SET_VALUE;

void CopyValues(HKEY from, HKEY to) {
  DWORD count = 0, maxName = 0, maxData = 0;
  if (RegQueryInfoKeyW(from, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName, &maxData,
                       nullptr, nullptr) != ERROR_SUCCESS)
    return;
  std::vector<wchar_t> name(static_cast<std::size_t>(maxName) + 1);
  std::vector<BYTE> data(static_cast<std::size_t>(maxData) + 1);
  for (DWORD i = 0; i < count; ++i) {
    DWORD nameUnits = maxName + 1, type = 0, size = maxData;
    if (RegEnumValueW(from, i, name.data(), &nameUnits, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
      continue;
    RegSetValueExW(to, name.data(), 0, type, data.data(), size);
  }
}

class SystemOpener : public KeyOpener {};

}  // namespace

LONG KeyOpener::open(HKEY root, const wchar_t* path, REGSAM rights, HKEY* key) const {
  return RegOpenKeyExW(root, path, 0, rights, key);
}

LONG KeyOpener::create(HKEY root, const wchar_t* path, REGSAM rights, HKEY* key, DWORD* disposition) const {
  return RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, rights, nullptr, key, disposition);
}

const KeyOpener& SystemKeyOpener() {
  static const SystemOpener opener;
  return opener;
}

SettingsStore::SettingsStore(const wchar_t* path, const KeyOpener& opener) : path_(path), opener_(&opener) {
  // A key is taken over only from a call that succeeded: a failed one may
  // leave anything in its result.
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (opener.open(HKEY_LOCAL_MACHINE, path, kValueRights, &key) == ERROR_SUCCESS ||
      (key = nullptr, opener.create(HKEY_LOCAL_MACHINE, path, kValueRights, &key, &disposition)) == ERROR_SUCCESS) {
    key_.reset(key);
    return;
  }
  // Earlier runs may have kept their settings in the machine's key while
  // this user could still write there: start from those, once.
  root_ = HKEY_CURRENT_USER;
  key = nullptr;
  if (opener.create(root_, path, kValueRights, &key, &disposition) != ERROR_SUCCESS) return;
  key_.reset(key);
  HKEY machine = nullptr;
  if (disposition == REG_CREATED_NEW_KEY &&
      opener.open(HKEY_LOCAL_MACHINE, path, KEY_QUERY_VALUE, &machine) == ERROR_SUCCESS) {
    UniqueKey held(machine);
    CopyValues(held.get(), key_.get());
  }
}

bool SettingsStore::WriteDword(const wchar_t* name, DWORD value) {
  if (!key_) return false;
  return RegSetValueExW(key_.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
         ERROR_SUCCESS;
}

bool SettingsStore::WriteString(const wchar_t* name, const std::wstring& text) {
  if (!key_) return false;
  // The system counts a terminator it finds right after string data as
  // part of it; a non-zero unit there keeps the data to the characters.
  std::wstring data = text;
  data.push_back(L'\xFFFF');
  return RegSetValueExW(key_.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(text.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

const uint8_t* SettingsStore::Read(const wchar_t* name) {
  std::vector<uint8_t>().swap(buffer_);
  size_ = 0;
  type_ = REG_NONE;
  if (!key_) return nullptr;
  DWORD size = 0;
  if (RegQueryValueExW(key_.get(), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return nullptr;
  // The value may grow between the two calls; ask again with what it needs.
  for (int attempt = 0; attempt < 4; ++attempt) {
    buffer_.assign(static_cast<std::size_t>(size) + sizeof(wchar_t), 0);
    DWORD got = size;
    LONG r = RegQueryValueExW(key_.get(), name, nullptr, &type_, buffer_.data(), &got);
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

std::optional<uint32_t> SettingsStore::ReadNumber(const wchar_t* name) {
  const uint8_t* data = Read(name);
  if (data == nullptr || type_ != REG_DWORD || size_ != 4) return std::nullopt;
  return DwordFromData(data, size_);
}

std::optional<std::wstring> SettingsStore::ReadString(const wchar_t* name, std::size_t maxUnits) {
  const uint8_t* data = Read(name);
  if (data == nullptr) return std::nullopt;
  return StringFromData(data, size_, maxUnits);
}

bool SettingsStore::DeleteKey() {
  if (!key_) return false;
  // With its subkeys: a key that still has any cannot be deleted alone.
  if (SHDeleteKeyW(root_, path_.c_str()) != ERROR_SUCCESS) return false;
  if (root_ == HKEY_CURRENT_USER) {
    // Left empty rather than absent, or the next start would copy the
    // machine's values in again and the clear would seem undone.
    HKEY empty = nullptr;
    DWORD disposition = 0;
    if (opener_->create(root_, path_.c_str(), kValueRights, &empty, &disposition) == ERROR_SUCCESS) {
      UniqueKey made(empty);
    }
  }
  return true;
}

void SettingsStore::Close() {
  std::vector<uint8_t>().swap(buffer_);
  size_ = 0;
  key_.reset();
}

}  // namespace tv
