// F5: the disk drives and every mounted volume, with label, file system,
// drive type and sizes.
#include <windows.h>

#include <string>

#include "app/DeviceSetup.h"
#include "app/MainDialog.h"
#include "diagnostics/DeviceText.h"
#include "send/ByteSize.h"
#include "serial/RichEditText.h"

namespace tv {
namespace {

// {4D36E967-E325-11CE-BFC1-08002BE10318}
const GUID kDiskDriveClass = {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

void ListDiskDrives(HWND view) {
  wchar_t description[260] = {};
  bool described = SetupDiGetClassDescriptionW(&kDiskDriveClass, description, 260, nullptr) != FALSE;
  description[259] = L'\0';
  ForEachDevice(kDiskDriveClass, [&](const std::optional<std::wstring>& name) {
    if (!name) return;
    if (described) AppendFormat(view, L"%s:", {description});
    AppendFormat(view, L"%s\n", {*name});
  });
}

void ReportDriveType(HWND view, const std::wstring& path) {
  // A volume without a mount path has no drive to ask about.
  UINT type = path.empty() ? DRIVE_NO_ROOT_DIR : GetDriveTypeW(path.c_str());
  if (type == DRIVE_CDROM) {
    std::wstring device = L"\\\\.\\" + path.substr(0, 2);
    HANDLE h = CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      AppendFormat(view, L"CreateFileW File,Error Code=%d\n", {static_cast<int>(GetLastError())});
      return;
    }
    CloseHandle(h);
  }
  AppendFormat(view, L"※※磁盘类型:%s\n", {DriveTypeText(type)});
}

void ReportVolume(HWND view, const wchar_t* volume) {
  wchar_t paths[260] = {};
  DWORD length = 0;
  GetVolumePathNamesForVolumeNameW(volume, paths, 260, &length);
  paths[259] = L'\0';
  std::wstring firstPath = paths;

  std::wstring label = L"无";
  std::wstring fileSystem = L"NA";
  wchar_t labelBuffer[261] = {};
  wchar_t fsBuffer[261] = {};
  if (GetVolumeInformationW(volume, labelBuffer, 261, nullptr, nullptr, nullptr, fsBuffer, 261)) {
    labelBuffer[260] = fsBuffer[260] = L'\0';
    label = labelBuffer;
    fileSystem = fsBuffer;
  }
  AppendFormat(view, L"◇◆%s  [卷标:%s]\n", {firstPath, label});

  ULARGE_INTEGER total{}, free{};
  if (!GetDiskFreeSpaceExW(volume, nullptr, &total, &free)) total.QuadPart = free.QuadPart = 0;
  unsigned long long used = total.QuadPart >= free.QuadPart ? total.QuadPart - free.QuadPart : 0;
  AppendFormat(view, L"※※文件系统:%s\n", {fileSystem});
  ReportDriveType(view, firstPath);
  AppendFormat(view, L"**拢共:%s\n**用掉:%s\n**剩余:%s\n",
               {FormatByteSize(total.QuadPart), FormatByteSize(used), FormatByteSize(free.QuadPart)});
}

}  // namespace

void MainDialog::reportDisks() {
  HWND view = receiveView_;
  AppendFormat(view, L"...................硬盘列表................\n", {});
  ListDiskDrives(view);

  wchar_t volume[260] = {};
  HANDLE find = FindFirstVolumeW(volume, 260);
  if (find == INVALID_HANDLE_VALUE) return;
  AppendFormat(view, L"...................分区列表................\n", {});
  for (;;) {
    ReportVolume(view, volume);
    if (!FindNextVolumeW(find, volume, 260)) break;
    PutText(view, L"\n", kAppend);
  }
  PutText(view, L"...........................................\n", kAppend);
  FindVolumeClose(find);
}

}  // namespace tv
