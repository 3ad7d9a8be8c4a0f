#include "bridge/Broadcast.h"

#include <windows.h>
#include <dbt.h>

#include <cstddef>
#include <vector>

#include "base/PortRecord.h"

namespace tv {
namespace {

static_assert(offsetof(DEV_BROADCAST_PORT_W, dbcp_name) == kPortRecordNameOffset, "port record layout");
static_assert(DBT_DEVTYP_PORT == kPortRecordType, "port record type");

// As long as the system gives one window before it moves on.
constexpr UINT kPerWindowMs = 5000;

BOOL CALLBACK Collect(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

void SendToAll(const std::vector<HWND>& windows, WPARAM event, LPARAM record) {
  for (HWND window : windows) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_DEVICECHANGE, event, record, SMTO_ABORTIFHUNG | SMTO_NORMAL, kPerWindowMs,
                        &ignored);
  }
}

}  // namespace

void BroadcastPortChange(bool arrived, const std::wstring& port) {
  // The list is taken first: windows that come and go meanwhile are not
  // waited for, and the record is the same for all.
  std::vector<HWND> windows;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
  std::vector<unsigned char> record = PortRecord(port);
  SendToAll(windows, arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(record.data()));
  SendToAll(windows, DBT_DEVNODES_CHANGED, 0);
}

}  // namespace tv
