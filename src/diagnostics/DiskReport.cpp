// F5: the disk drives and every mounted volume, with label, file system,
// drive type and sizes.
#include <windows.h>

#include <string>
#include <vector>

#include "base/ByteSize.h"
#include "base/DeviceSetup.h"
#include "base/Format.h"
#include "base/WinHandles.h"
#include "diagnostics/DeviceText.h"
#include "diagnostics/Reports.h"

namespace tv {
namespace {

// The report as it is built, a formatted line at a time.
void Add(std::wstring& out, const wchar_t* format, std::initializer_list<FormatArg> args) {
  out += Format(format, args);
}

// {4D36E967-E325-11CE-BFC1-08002BE10318}
const GUID kDiskDriveClass = {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

void ListDiskDrives(std::wstring& view) {
  wchar_t description[260] = {};
  bool described = SetupDiGetClassDescriptionW(&kDiskDriveClass, description, 260, nullptr) != FALSE;
  description[259] = L'\0';
  ForEachDevice(kDiskDriveClass, [&](const std::optional<std::wstring>& name) {
    if (!name) return;
    if (described) Add(view, L"%s:", {description});
    Add(view, L"%s\n", {*name});
  });
}

void ReportDriveType(std::wstring& view, const std::wstring& path) {
  // A volume without a mount path has no drive to ask about.
  UINT type = path.empty() ? DRIVE_NO_ROOT_DIR : GetDriveTypeW(path.c_str());
  if (type == DRIVE_CDROM) {
    std::wstring device = L"\\\\.\\" + path.substr(0, 2);
    HANDLE h = CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      Add(view, L"CreateFileW File,Error Code=%d\n", {static_cast<int>(GetLastError())});
      return;
    }
    CloseHandle(h);
  }
  Add(view, L"※※磁盘类型:%s\n", {DriveTypeText(type)});
}

// The first of a volume's mount paths, empty when it has none. A volume
// mounted in many folders needs more room than a path; when the list does
// not fit, the call fails and leaves nothing usable in the buffer.
std::wstring FirstMountPath(const wchar_t* volume) {
  std::vector<wchar_t> paths(MAX_PATH + 1, L'\0');
  // Mount points can be added between two calls: a few attempts only.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD needed = 0;
    if (GetVolumePathNamesForVolumeNameW(volume, paths.data(), static_cast<DWORD>(paths.size()), &needed)) {
      paths.back() = L'\0';
      return paths.data();
    }
    if (GetLastError() != ERROR_MORE_DATA) break;
    std::size_t bigger = static_cast<std::size_t>(needed) > paths.size() ? needed : paths.size() * 2;
    paths.assign(bigger + 1, L'\0');
  }
  return std::wstring();
}

void ReportVolume(std::wstring& view, const wchar_t* volume) {
  std::wstring firstPath = FirstMountPath(volume);

  std::wstring label = L"无";
  std::wstring fileSystem = L"NA";
  wchar_t labelBuffer[261] = {};
  wchar_t fsBuffer[261] = {};
  if (GetVolumeInformationW(volume, labelBuffer, 261, nullptr, nullptr, nullptr, fsBuffer, 261)) {
    labelBuffer[260] = fsBuffer[260] = L'\0';
    label = labelBuffer;
    fileSystem = fsBuffer;
  }
  Add(view, L"◇◆%s  [卷标:%s]\n", {firstPath, label});

  ULARGE_INTEGER total{}, free{};
  if (!GetDiskFreeSpaceExW(volume, nullptr, &total, &free)) total.QuadPart = free.QuadPart = 0;
  unsigned long long used = UsedBytes(total.QuadPart, free.QuadPart);
  Add(view, L"※※文件系统:%s\n", {fileSystem});
  ReportDriveType(view, firstPath);
  Add(view, L"**拢共:%s\n**用掉:%s\n**剩余:%s\n",
               {FormatByteSize(total.QuadPart), FormatByteSize(used), FormatByteSize(free.QuadPart)});
}

}  // namespace

std::wstring DiskReport() {
  std::wstring view;
  Add(view, L"...................硬盘列表................\n", {});
  ListDiskDrives(view);

  wchar_t volume[260] = {};
  VolumeSearch search(volume, 260);
  if (!search.valid()) return view;
  Add(view, L"...................分区列表................\n", {});
  for (;;) {
    ReportVolume(view, volume);
    if (!search.next(volume, 260)) break;
    view += L"\n";
  }
  view += L"...........................................\n";
  return view;
}

}  // namespace tv
