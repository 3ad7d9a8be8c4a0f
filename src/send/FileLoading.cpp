#include "send/FileLoading.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "base/ByteSize.h"
#include "base/Format.h"
#include "base/WinHandles.h"
#include "send/FileReport.h"
#include "send/FileSource.h"

namespace tv {
namespace {

constexpr int kFullNameUnits = LoadedFile::kFullNameUnits;
constexpr int kTitleNameUnits = LoadedFile::kTitleNameUnits;

bool IsExistingFile(const std::wstring& path) {
  return PathFileExistsW(path.c_str()) && !PathIsDirectoryW(path.c_str());
}

// A shortcut is replaced by its target; anything else is used unchanged.
std::wstring ResolveShortcut(const std::wstring& path) {
  ComApartment com;
  if (!com.ok()) return path;
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put())))
    return path;
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.put()))) return path;
  if (FAILED(file->Load(path.c_str(), STGM_READ))) return path;
  wchar_t target[MAX_PATH] = {};
  if (link->GetPath(target, MAX_PATH, nullptr, 0) != S_OK) return path;
  return target;
}

}  // namespace

bool LoadDroppedFile(HDROP drop, bool allowed, LoadedFile& file) {
  bool loaded = false;
  if (allowed && DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
    UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    // Longer paths cannot be kept; refusing them loads nothing.
    if (length > 0 && length < kFullNameUnits) {
      std::vector<wchar_t> buffer(length + 1, L'\0');
      DragQueryFileW(drop, 0, buffer.data(), length + 1);
      std::wstring path(buffer.data());
      if (IsExistingFile(path)) {
        std::wstring target = ResolveShortcut(path);
        if (target.size() < static_cast<std::size_t>(kFullNameUnits) && IsExistingFile(target)) {
          wchar_t title[kTitleNameUnits] = {};
          if (GetFileTitleW(target.c_str(), title, kTitleNameUnits) != 0) {
            lstrcpynW(title, PathFindFileNameW(target.c_str()), kTitleNameUnits);
          }
          lstrcpynW(file.fullName, target.c_str(), kFullNameUnits);
          lstrcpynW(file.titleName, title, kTitleNameUnits);
          file.loaded = loaded = true;
        }
      }
    }
  }
  DragFinish(drop);
  return loaded;
}

bool ChooseFile(HWND owner, LoadedFile& file) {
  wchar_t full[kFullNameUnits];
  wchar_t title[kTitleNameUnits] = {};
  lstrcpynW(full, file.fullName, kFullNameUnits);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = L"ANSI文本文件 (*.txt)\0*.txt\0所有文件 (*.*)\0*.*\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = full;
  ofn.nMaxFile = kFullNameUnits;
  ofn.lpstrFileTitle = title;
  ofn.nMaxFileTitle = kTitleNameUnits;
  ofn.Flags = OFN_READONLY | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER |
              OFN_FORCESHOWHIDDEN;
  if (!GetOpenFileNameW(&ofn)) return false;
  lstrcpynW(file.fullName, full, kFullNameUnits);
  lstrcpynW(file.titleName, title, kTitleNameUnits);
  file.loaded = true;
  return true;
}

std::wstring LoadedFileReport(const LoadedFile& file) {
  std::wstring full = file.fullName;
  std::wstring report = L"\n已加载:" + full + L"\n";
  UniqueHandle handle(OpenForReading(full.c_str()));
  if (IsTxtPath(full)) {
    report += L"编码:";
    if (handle) {
      uint8_t head[3] = {0, 0, 0};
      DWORD got = 0;
      SetFilePointer(handle.get(), 0, nullptr, FILE_BEGIN);
      ReadFile(handle.get(), head, sizeof(head), &got, nullptr);
      report += EncodingText(DetectEncoding(head, got));
    }
  }
  if (handle) {
    LARGE_INTEGER size{};
    if (GetFileSizeEx(handle.get(), &size))
      report += Format(L"拢共:%s\n", {FormatByteSize(static_cast<uint64_t>(size.QuadPart))});
  }
  return report;
}

}  // namespace tv
