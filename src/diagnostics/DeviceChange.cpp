// Serial ports and removable volumes that come and go, read from the
// device-change records.
#include <windows.h>
#include <dbt.h>

#include <cstddef>
#include <string>

#include "base/PortRecord.h"
#include "diagnostics/DeviceText.h"
#include "diagnostics/Reports.h"

namespace tv {
namespace {

static_assert(offsetof(DEV_BROADCAST_PORT_W, dbcp_name) == kPortRecordNameOffset, "port record layout");

class SystemVolumeQueries final : public VolumeQueries {
 public:
  VolumeSpace space(wchar_t letter) override {
    wchar_t root[3] = {letter, L':', L'\0'};
    ULARGE_INTEGER total{}, free{};
    if (!GetDiskFreeSpaceExW(root, nullptr, &total, &free)) return VolumeSpace{};
    return VolumeSpace{total.QuadPart, free.QuadPart};
  }

  std::wstring label(wchar_t letter) override {
    wchar_t root[4] = {letter, L':', L'\\', L'\0'};
    // Room for any label: a buffer shorter than the label makes the call
    // fail, and an NTFS label of 32 characters would read as none.
    wchar_t name[MAX_PATH + 1] = {};
    if (!GetVolumeInformationW(root, name, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0))
      return std::wstring();
    name[MAX_PATH] = L'\0';
    return name;
  }
};

SystemVolumeQueries g_volumeQueries;
// Used by the one thread that makes the volume lines.
VolumeReports g_volumeReports(g_volumeQueries);

}  // namespace

std::wstring VolumeReport(wchar_t letter, bool arrived) {
  return arrived ? g_volumeReports.arrived(letter) : g_volumeReports.removed(letter);
}

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
    out.volumeLetter = DriveLetterFromMask(volume->dbcv_unitmask);
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
