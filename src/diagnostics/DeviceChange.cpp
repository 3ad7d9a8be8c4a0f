// Serial ports and removable volumes that come and go. A port event stops
// every transfer and re-reads the port list, so the program never keeps
// talking to a port that is gone.
#include <windows.h>
#include <dbt.h>

#include <cstddef>
#include <string>

#include "app/AppState.h"
#include "app/MainDialog.h"
#include "diagnostics/DeviceText.h"
#include "send/ByteSize.h"
#include "serial/RichEditText.h"
#include "serial/SerialChannel.h"

namespace tv {
namespace {

// The label of the most recently plugged volume: a pulled volume's own
// label can no longer be read. UI thread only.
std::wstring g_lastVolumeLabel = L"可移动闪存盘";

static_assert(offsetof(DEV_BROADCAST_PORT_W, dbcp_name) == kPortRecordNameOffset, "port record layout");

std::wstring VolumeLabel(wchar_t letter) {
  wchar_t root[4] = {letter, L':', L'\\', L'\0'};
  // Room for any label: a buffer shorter than the label makes the call
  // fail, and an NTFS label of 32 characters would read as none.
  wchar_t label[MAX_PATH + 1] = {};
  if (!GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0)) return std::wstring();
  label[MAX_PATH] = L'\0';
  return label;
}

}  // namespace

LRESULT MainDialog::onDeviceChange(WPARAM event, LPARAM record) {
  if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return 0;
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(record);
  // A record too short for its own header says nothing about its type.
  if (header == nullptr || header->dbch_size < sizeof(DEV_BROADCAST_HDR)) return 0;
  bool arrived = event == DBT_DEVICEARRIVAL;

  if (header->dbch_devicetype == DBT_DEVTYP_VOLUME) {
    if (header->dbch_size < sizeof(DEV_BROADCAST_VOLUME)) return 0;
    const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(header);
    // Media changes and network drives are not plugged devices.
    if (volume->dbcv_flags != 0) return 0;
    wchar_t letter = DriveLetterFromMask(volume->dbcv_unitmask);
    if (arrived) {
      wchar_t root[3] = {letter, L':', L'\0'};
      ULARGE_INTEGER total{}, free{};
      if (!GetDiskFreeSpaceExW(root, nullptr, &total, &free)) total.QuadPart = free.QuadPart = 0;
      g_lastVolumeLabel = VolumeLabel(letter);
      AppendFormat(receiveView_, L">>>发现U盘 %c:[%s]<<<\n拢共:%s\n用掉:%s\n剩余:%s\n",
                   {letter, g_lastVolumeLabel, FormatByteSize(total.QuadPart),
                    FormatByteSize(UsedBytes(total.QuadPart, free.QuadPart)), FormatByteSize(free.QuadPart)});
    } else {
      AppendFormat(receiveView_, L">>>移除U盘%c:[%s]<<< \n", {letter, g_lastVolumeLabel});
    }
    return 0;
  }

  if (header->dbch_devicetype != DBT_DEVTYP_PORT) return 0;
  PortList& ports = Serial().ports;
  stopAllJobs();
  std::wstring name = PortNameFromRecord(header, header->dbch_size);
  std::wstring full;
  if (arrived) {
    AppendFormat(receiveView_, L">>>发现[%s]<<<\n", {name});
    portCount_ = ports.rescanPorts();
    reopenPort();
    full = ports.friendlyNameOf(name);
  } else {
    AppendFormat(receiveView_, L">>>[%s]消失<<<\n", {name});
    // Looked up before the rescan, while the vanished port is still listed.
    full = ports.friendlyNameOf(name);
    portCount_ = ports.rescanPorts();
    reopenPort();
  }
  AppendFormat(receiveView_, L"%s\n", {full});
  refreshStatus();
  return 0;
}

}  // namespace tv
