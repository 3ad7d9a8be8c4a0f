// Dropping files on the send panes, through the real dialog created in
// this process (another process cannot hand the window a drop).
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <richedit.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "app/MainDialog.h"
#include "base/RichEdit.h"
#include "resources/resource.h"

namespace tv {
namespace {

std::wstring TempDir() {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  std::wstring dir = std::wstring(base) + L"tarnvik-drop-test";
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

void WriteFile(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

HGLOBAL MakeDrop(const std::vector<std::wstring>& paths) {
  std::wstring list;
  for (const std::wstring& p : paths) list += p + L'\0';
  list += L'\0';
  SIZE_T size = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
  HGLOBAL h = GlobalAlloc(GHND, size);
  auto* drop = static_cast<DROPFILES*>(GlobalLock(h));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  memcpy(reinterpret_cast<BYTE*>(drop) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
  GlobalUnlock(h);
  return h;
}

class DropTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    richEdit_ = LoadLibraryW(L"msftedit.dll");
    dialog_ = new MainDialog();
    dialog_->create(GetModuleHandleW(nullptr));
  }
  static void TearDownTestSuite() {
    DestroyWindow(dialog_->hwnd());
    delete dialog_;
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TarnVik");
  }

  // Drops the files on a pane as the control reports it, and returns what
  // the receive view gained.
  std::wstring Drop(const std::vector<std::wstring>& paths, int pane = IDC_TEXT_PANE) {
    HWND view = GetDlgItem(dialog_->hwnd(), IDC_RECEIVE_VIEW);
    ClearView(view);
    ENDROPFILES note{};
    note.nmhdr.hwndFrom = GetDlgItem(dialog_->hwnd(), pane);
    note.nmhdr.idFrom = static_cast<UINT_PTR>(pane);
    note.nmhdr.code = EN_DROPFILES;
    note.hDrop = MakeDrop(paths);
    SendMessageW(dialog_->hwnd(), WM_NOTIFY, static_cast<WPARAM>(pane), reinterpret_cast<LPARAM>(&note));
    return GetRichText(view);
  }

  static HMODULE richEdit_;
  static MainDialog* dialog_;
};

HMODULE DropTest::richEdit_ = nullptr;
MainDialog* DropTest::dialog_ = nullptr;

TEST_F(DropTest, LoadsOnlyTheFirstExistingFileAndReportsIt) {
  ASSERT_NE(dialog_->hwnd(), nullptr);
  std::wstring dir = TempDir();
  std::wstring a = dir + L"\\a.txt", b = dir + L"\\b.bin";
  WriteFile(a, std::string("\xEF\xBB\xBF", 3) + std::string(1533, 'x'));
  WriteFile(b, "12345");

  std::wstring report = Drop({a, b, dir});
  EXPECT_NE(report.find(L"已加载:" + a), std::wstring::npos) << std::string(report.begin(), report.end());
  EXPECT_NE(report.find(L"编码:UTF_8\t拢共: 1kB 512B"), std::wstring::npos);
  EXPECT_EQ(report.find(L"b.bin"), std::wstring::npos);

  EXPECT_NE(Drop({b}, IDC_HEX_PANE).find(L"拢共: 5B"), std::wstring::npos);
}

TEST_F(DropTest, DirectoriesMissingAndOverlongPathsLoadNothing) {
  std::wstring dir = TempDir();
  EXPECT_EQ(Drop({dir}), L"");
  EXPECT_EQ(Drop({dir + L"\\does-not-exist.txt"}), L"");
  std::wstring longPath = dir + L"\\" + std::wstring(700, L'n') + L".txt";
  EXPECT_EQ(Drop({longPath}), L"");
}

TEST_F(DropTest, AShortcutLoadsItsTarget) {
  std::wstring dir = TempDir();
  std::wstring target = dir + L"\\target.dat";
  std::wstring link = dir + L"\\shortcut.lnk";
  WriteFile(target, "abc");
  IShellLinkW* shell = nullptr;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                         reinterpret_cast<void**>(&shell))));
  shell->SetPath(target.c_str());
  IPersistFile* file = nullptr;
  ASSERT_TRUE(SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
  ASSERT_TRUE(SUCCEEDED(file->Save(link.c_str(), TRUE)));
  file->Release();
  shell->Release();

  std::wstring report = Drop({link});
  EXPECT_NE(report.find(L"已加载:" + target), std::wstring::npos) << std::string(report.begin(), report.end());
  EXPECT_NE(report.find(L"拢共: 3B"), std::wstring::npos);
}

}  // namespace
}  // namespace tv
