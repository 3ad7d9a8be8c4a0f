// Loading a file for sending (open-file dialog or drop, shortcuts followed),
// the load report, and the file send job.
#include <windows.h>
#include <commdlg.h>
#include <objbase.h>
#include <richedit.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "app/AppState.h"
#include "app/MainDialog.h"
#include "resources/resource.h"
#include "send/ByteSize.h"
#include "send/FileReport.h"
#include "send/SendWrite.h"
#include "send/TimedSend.h"
#include "serial/RichEditText.h"
#include "serial/SerialChannel.h"

namespace tv {
namespace {

constexpr DWORD kFileChunkBytes = 65536;

HANDLE OpenForReading(const wchar_t* path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_READONLY, nullptr);
}

bool IsExistingFile(const std::wstring& path) {
  return PathFileExistsW(path.c_str()) && !PathIsDirectoryW(path.c_str());
}

// A shortcut is replaced by its target; anything else is used unchanged.
std::wstring ResolveShortcut(const std::wstring& path) {
  HRESULT init = CoInitialize(nullptr);
  if (init != S_OK && init != S_FALSE) return path;
  std::wstring result = path;
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
        wchar_t target[MAX_PATH] = {};
        if (link->GetPath(target, MAX_PATH, nullptr, 0) == S_OK) result = target;
      }
      file->Release();
    }
    link->Release();
  }
  CoUninitialize();
  return result;
}

LRESULT CALLBACK DropPaneProc(HWND pane, UINT msg, WPARAM wp, LPARAM lp) {
  auto* dialog = reinterpret_cast<MainDialog*>(GetPropW(pane, L"TarnVik.Dialog"));
  auto previous = reinterpret_cast<WNDPROC>(GetPropW(pane, L"TarnVik.Proc"));
  if (msg == WM_DROPFILES && dialog != nullptr) {
    dialog->loadDroppedFile(reinterpret_cast<HDROP>(wp));
    return 0;
  }
  return CallWindowProcW(previous, pane, msg, wp, lp);
}

}  // namespace

// Rich edit turns a drop into EN_DROPFILES; some versions of the control do
// not, so the panes hand a WM_DROPFILES they receive to the same handler.
void MainDialog::hookDropTargets() {
  for (HWND pane : {textPane_, hexPane_}) {
    SetPropW(pane, L"TarnVik.Dialog", reinterpret_cast<HANDLE>(this));
    SetPropW(pane, L"TarnVik.Proc",
             reinterpret_cast<HANDLE>(SetWindowLongPtrW(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DropPaneProc))));
  }
}

LRESULT MainDialog::onNotify(const NMHDR* header) {
  if (header == nullptr || header->code != EN_DROPFILES) return 0;
  if (header->idFrom != IDC_TEXT_PANE && header->idFrom != IDC_HEX_PANE) return 0;
  loadDroppedFile(static_cast<HDROP>(reinterpret_cast<const ENDROPFILES*>(header)->hDrop));
  // Zero tells the control to do nothing more with the drop, which has
  // been handled and released here.
  return 0;
}

void MainDialog::loadDroppedFile(HDROP drop) {
  // The loaded path must not change under a running file send.
  if (App().fileSendIdle && DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
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
          lstrcpynW(loadedFileFullName_, target.c_str(), kFullNameUnits);
          lstrcpynW(loadedFileTitleName_, title, kTitleNameUnits);
          fileLoaded_ = 1;
          reportLoadedFile();
          saveSetting(SettingId::LoadedFile);
        }
      }
    }
  }
  DragFinish(drop);
}

void MainDialog::loadFileByDialog() {
  if (!fileDialogFree_) return;
  fileDialogFree_ = false;
  // The dialog starts from the loaded file; the names change only when the
  // user confirms one.
  wchar_t full[kFullNameUnits];
  wchar_t title[kTitleNameUnits] = {};
  lstrcpynW(full, loadedFileFullName_, kFullNameUnits);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = hwnd_;
  ofn.lpstrFilter = L"ANSI文本文件 (*.txt)\0*.txt\0所有文件 (*.*)\0*.*\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = full;
  ofn.nMaxFile = kFullNameUnits;
  ofn.lpstrFileTitle = title;
  ofn.nMaxFileTitle = kTitleNameUnits;
  ofn.Flags = OFN_READONLY | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER |
              OFN_FORCESHOWHIDDEN;
  if (GetOpenFileNameW(&ofn)) {
    lstrcpynW(loadedFileFullName_, full, kFullNameUnits);
    lstrcpynW(loadedFileTitleName_, title, kTitleNameUnits);
    fileLoaded_ = 1;
    reportLoadedFile();
    saveSetting(SettingId::LoadedFile);
  }
  fileDialogFree_ = true;
}

void MainDialog::reportLoadedFile() {
  std::wstring full = loadedFileFullName_;
  PutText(receiveView_, L"\n已加载:" + full + L"\n", kAppend);
  UniqueHandle file(OpenForReading(full.c_str()));
  if (IsTxtPath(full)) {
    std::wstring line = L"编码:";
    if (file) {
      uint8_t head[3] = {0, 0, 0};
      DWORD got = 0;
      SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
      ReadFile(file.get(), head, sizeof(head), &got, nullptr);
      line += EncodingText(DetectEncoding(head, got));
    }
    PutText(receiveView_, line, kAppend);
  }
  if (file) {
    LARGE_INTEGER size{};
    bool known = GetFileSizeEx(file.get(), &size) != FALSE;
    file.reset();
    if (known) AppendFormat(receiveView_, L"拢共:%s\n", {FormatByteSize(static_cast<uint64_t>(size.QuadPart))});
  }
}

void MainDialog::runFileSend() {
  AppState& app = App();
  SerialChannel& channel = Serial().channel;
  if (!fileLoaded_) {
    endJob(JobKind::File);
    return;
  }
  app.fileSendCancelled = 0;
  beginJob(app.fileSendBusy, app.fileSendIdle, true);

  const std::wstring full = loadedFileFullName_;
  const std::wstring title = loadedFileTitleName_;
  HWND view = receiveView_;
  std::wstring start = L"\n正在发送:" + full + L"\n";
  bridge_.call([&] { PutText(view, start, kAppend); });

  UniqueHandle file(OpenForReading(full.c_str()));
  LARGE_INTEGER size{};
  if (file && !GetFileSizeEx(file.get(), &size)) file.reset();
  // A file that is gone, locked or cut short was not sent: it must not be
  // reported as done.
  bool unreadable = !file;
  if (file) {
    const unsigned long long total = static_cast<unsigned long long>(size.QuadPart);
    std::vector<uint8_t> buffer(kFileChunkBytes);
    ProgressPacer pacer;
    unsigned long long sent = 0;
    auto show = [&] { setProgress(Format(L"%04I64d/%I64dB", {sent, total})); };
    do {
      LARGE_INTEGER zero{};
      SetFilePointerEx(file.get(), zero, nullptr, FILE_BEGIN);
      unsigned long long remaining = total;
      sent = 0;
      bool stopped = false;
      while (remaining > 0 && !stopped) {
        DWORD want = remaining < kFileChunkBytes ? static_cast<DWORD>(remaining) : kFileChunkBytes;
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.data(), want, &got, nullptr)) got = 0;
        if (got < want) unreadable = stopped = true;
        remaining -= want;
        for (DWORD i = 0; i < got; ++i) {
          if (!app.fileSendBusy) {
            app.fileSendCancelled = 1;
            stopped = true;
            break;
          }
          if (!WriteAll(channel, &buffer[i], 1, app.fileSendBusy)) {
            app.fileSendCancelled = 1;
            stopped = true;
            break;
          }
          ++sent;
          if (pacer.advanced(GetTickCount())) show();
          if (buffer[i] == 0x0A && PausesAfterLine(app.delayMode)) {
            if (pacer.catchUp()) show();
            pause(app.fileSendBusy);
          }
        }
      }
      if (pacer.catchUp()) show();
      if (PausesAfterPass(app.delayMode) && !unreadable) pause(app.fileSendBusy);
      if (total == 0) Sleep(1);
    } while (app.fileSendBusy && RepeatsPasses(app.delayMode) && !unreadable);
  }
  file.reset();
  if (unreadable) app.fileSendCancelled = 1;

  std::wstring end = (app.fileSendCancelled ? L"\n发送取消:" : L"\n发送完成:") + title + L"\n";
  bridge_.call([&] { PutText(view, end, kAppend); });
  endJob(JobKind::File);
}

}  // namespace tv
