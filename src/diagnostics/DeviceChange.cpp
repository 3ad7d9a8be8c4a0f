// Serial ports and removable volumes that come and go, read from the
// device-change records.
#include <windows.h>
#include <dbt.h>

#include <cstddef>
#include <string>

#include "base/ByteSize.h"
#include "base/Format.h"
#include "base/PortRecord.h"
#include "diagnostics/DeviceText.h"
#include "diagnostics/Reports.h"

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

DeviceEvent ReadDeviceChange(WPARAM event, LPARAM record) {
  DeviceEvent out;
  if (event == DBT_DEVNODES_CHANGED) {
    out.kind = DeviceEvent::Kind::NodesChanged;
    return out;
  }
  if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return out;
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(record);
  // A record too short for its own header says nothing about its type.
  if (header == nullptr || header->dbch_size < sizeof(DEV_BROADCAST_HDR)) return out;
  bool arrived = event == DBT_DEVICEARRIVAL;

  if (header->dbch_devicetype == DBT_DEVTYP_VOLUME) {
    if (header->dbch_size < sizeof(DEV_BROADCAST_VOLUME)) return out;
    const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(header);
    // Media changes and network drives are not plugged devices.
    if (volume->dbcv_flags != 0) return out;
    wchar_t letter = DriveLetterFromMask(volume->dbcv_unitmask);
    if (arrived) {
      wchar_t root[3] = {letter, L':', L'\0'};
      ULARGE_INTEGER total{}, free{};
      if (!GetDiskFreeSpaceExW(root, nullptr, &total, &free)) total.QuadPart = free.QuadPart = 0;
      g_lastVolumeLabel = VolumeLabel(letter);
      out.volumeText = Format(L">>>发现U盘 %c:[%s]<<<\n拢共:%s\n用掉:%s\n剩余:%s\n",
                              {letter, g_lastVolumeLabel, FormatByteSize(total.QuadPart),
                               FormatByteSize(UsedBytes(total.QuadPart, free.QuadPart)), FormatByteSize(free.QuadPart)});
    } else {
      out.volumeText = Format(L">>>移除U盘%c:[%s]<<< \n", {letter, g_lastVolumeLabel});
    }
    out.kind = DeviceEvent::Kind::Volume;
    out.arrived = arrived;
    return out;
  }

  if (header->dbch_devicetype != DBT_DEVTYP_PORT) return out;
  out.kind = DeviceEvent::Kind::Port;
  out.arrived = arrived;
  out.portName = PortNameFromRecord(header, header->dbch_size);
  return out;
}

}  // namespace tv
