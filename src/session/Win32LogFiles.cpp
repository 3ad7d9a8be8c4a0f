#include "session/Win32LogFiles.h"

#include <windows.h>
#include <shlobj.h>

#include <utility>

#include "base/Format.h"

namespace tv {

bool Win32LogFiles::folder(std::wstring& path, uint32_t& error) {
  wchar_t documents[MAX_PATH] = {};
  // CSIDL_FLAG_CREATE: a profile whose Documents folder was never made
  // gets it now.
  const HRESULT found = SHGetFolderPathW(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                         documents);
  if (FAILED(found)) {
    path = folderName_;
    error = HRESULT_FACILITY(found) == FACILITY_WIN32 ? HRESULT_CODE(found) : ERROR_PATH_NOT_FOUND;
    return false;
  }
  path = std::wstring(documents) + L"\\" + folderName_;
  if (CreateDirectoryW(path.c_str(), nullptr)) return true;
  error = GetLastError();
  // Taken already: by the folder itself, or by a file in its way, which
  // the create of the log then reports.
  return error == ERROR_ALREADY_EXISTS;
}

LogFiles::Handle Win32LogFiles::create(const std::wstring& path, uint32_t& error) {
  // A new file, never one that exists; the only writer, so every write
  // lands at its end. Others may read it while it grows.
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return nullptr;
  }
  return h;
}

bool Win32LogFiles::write(Handle file, const uint8_t* bytes, std::size_t n, uint32_t& error) {
  while (n > 0) {
    const DWORD want = n < 0x100000 ? static_cast<DWORD>(n) : 0x100000;
    DWORD done = 0;
    if (!WriteFile(static_cast<HANDLE>(file), bytes, want, &done, nullptr)) {
      error = GetLastError();
      return false;
    }
    // A write that took nothing and said nothing: a full disk on some
    // file systems.
    if (done == 0) {
      error = ERROR_DISK_FULL;
      return false;
    }
    bytes += done;
    n -= done;
  }
  return true;
}

bool Win32LogFiles::flush(Handle file, uint32_t& error) {
  if (FlushFileBuffers(static_cast<HANDLE>(file))) return true;
  error = GetLastError();
  return false;
}

void Win32LogFiles::close(Handle file) { CloseHandle(static_cast<HANDLE>(file)); }

std::wstring Win32LogFiles::describe(uint32_t error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring out = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
  if (text != nullptr) LocalFree(text);
  // One line: the message's own line ends go.
  for (wchar_t& c : out)
    if (c == L'\r' || c == L'\n') c = L' ';
  while (!out.empty() && out.back() == L' ') out.pop_back();
  if (out.empty()) out = Format(L"错误 %d", {static_cast<unsigned>(error)});
  return out;
}

LocalTime Win32LogFiles::now() { return SystemWallClock().now(); }

}  // namespace tv
